#include "PromptLogic.h"

namespace qb::planner {

namespace {

enum class Marker { None, Am, Pm };

// A small cursor over the field text; every reader skips blanks first.
class Scanner {
public:
    explicit Scanner(QStringView text) : m_text(text) {}

    void skipBlanks()
    {
        while (m_pos < m_text.size() && m_text[m_pos].isSpace())
            ++m_pos;
    }
    bool atEnd()
    {
        skipBlanks();
        return m_pos >= m_text.size();
    }
    // 1..maxDigits ASCII digits.
    std::optional<int> number(int maxDigits)
    {
        skipBlanks();
        int value = 0;
        int digits = 0;
        while (m_pos < m_text.size() && digits < maxDigits) {
            char16_t c = m_text[m_pos].unicode();
            if (c < u'0' || c > u'9')
                break;
            value = value * 10 + (c - u'0');
            ++digits;
            ++m_pos;
        }
        if (digits == 0)
            return std::nullopt;
        // More digits than allowed is not a shorter number followed by junk.
        if (m_pos < m_text.size() && m_text[m_pos].isDigit())
            return std::nullopt;
        return value;
    }
    bool character(QChar c)
    {
        skipBlanks();
        if (m_pos < m_text.size() && m_text[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    Marker marker()
    {
        skipBlanks();
        if (m_pos >= m_text.size())
            return Marker::None;
        QChar c = m_text[m_pos].toLower();
        if (c != u'a' && c != u'p')
            return Marker::None;
        qsizetype end = m_pos + 1;
        if (end < m_text.size() && m_text[end].toLower() == u'm')
            ++end;
        // "am" must stand as a word: "apple" is no marker.
        if (end < m_text.size() && m_text[end].isLetterOrNumber())
            return Marker::None;
        m_pos = end;
        return c == u'a' ? Marker::Am : Marker::Pm;
    }

private:
    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace

std::optional<int> PromptLogic::parseTime(QStringView text)
{
    Scanner s(text);
    Marker marker = s.marker();
    auto hour = s.number(2);
    if (!hour)
        return std::nullopt;
    int minute = 0;
    int second = 0;
    bool hasMinutes = false;
    if (s.character(u':')) {
        auto m = s.number(2);
        if (!m)
            return std::nullopt;
        minute = *m;
        hasMinutes = true;
        if (s.character(u':')) {
            auto sec = s.number(2);
            if (!sec)
                return std::nullopt;
            second = *sec;
        }
    }
    if (marker == Marker::None)
        marker = s.marker();
    if (!s.atEnd())
        return std::nullopt;
    // A lone number is a time only with a marker ("10 pm"); "10" alone could
    // as well be minutes.
    if (!hasMinutes && marker == Marker::None)
        return std::nullopt;
    if (minute > 59 || second > 59)
        return std::nullopt;
    if (marker == Marker::None) {
        if (*hour > 23)
            return std::nullopt;
    } else {
        if (*hour > 12)
            return std::nullopt;
        if (*hour == 12)
            *hour = 0;
        if (marker == Marker::Pm)
            *hour += 12;
    }
    return ((*hour * 60 + minute) * 60 + second) * 1000;
}

QString PromptLogic::formatTime(long long msOfDay)
{
    long long ms = msOfDay % kMillisPerDay;
    if (ms < 0)
        ms += kMillisPerDay;
    int totalMinutes = static_cast<int>(ms / 60000);
    int hour = totalMinutes / 60;
    int minute = totalMinutes % 60;
    int hour12 = hour % 12 == 0 ? 12 : hour % 12;
    return QStringLiteral(" %1:%2 %3")
        .arg(hour12, 2, 10, QLatin1Char('0'))
        .arg(minute, 2, 10, QLatin1Char('0'))
        .arg(hour < 12 ? QStringLiteral("am") : QStringLiteral("pm"));
}

QString PromptLogic::formatPreparedTime(long long msOfDay)
{
    return formatTime(msOfDay) + QLatin1Char(' ');
}

std::optional<QString> PromptLogic::addMinutes(QStringView text, int minutes)
{
    auto ms = parseTime(text);
    if (!ms)
        return std::nullopt;
    // Whole milliseconds, not fractions of a day: 11:50 pm + 15 minutes must
    // show 12:05, never 12:04 from a rounding error.
    return formatTime(static_cast<long long>(*ms) + static_cast<long long>(minutes) * 60000LL);
}

QString PromptLogic::hourText(int hour)
{
    return formatTime(static_cast<long long>(hour) * 3600000LL);
}

const std::vector<QuickTimeButton>& PromptLogic::quickTimeButtons()
{
    using K = QuickTimeButton::Kind;
    static const std::vector<QuickTimeButton> kButtons = {
        { QStringLiteral("+ 0.05"), K::AddMinutes, 5 },
        { QStringLiteral("+ 0:10"), K::AddMinutes, 10 },
        { QStringLiteral("+ 0:15"), K::AddMinutes, 15 },
        { QStringLiteral("+ 0:20"), K::AddMinutes, 20 },
        { QStringLiteral("+ 0:30"), K::AddMinutes, 30 },
        { QStringLiteral("+ 0:45"), K::AddMinutes, 45 },
        { QStringLiteral("+ 1:00"), K::AddMinutes, 60 },
        { QStringLiteral("+ 2:00"), K::AddMinutes, 120 },
        { QStringLiteral("+ 3:00"), K::AddMinutes, 180 },
        { QStringLiteral("+ 4:00"), K::AddMinutes, 240 },
        { QStringLiteral("+ 6:00"), K::AddMinutes, 360 },
        { QStringLiteral("+ 8:00"), K::AddMinutes, 480 },
        { QStringLiteral("8:00 a"), K::SetHour, 8 },
        { QStringLiteral("10:00 a"), K::SetHour, 10 },
        { QStringLiteral("12:00 p"), K::SetHour, 12 },
        { QStringLiteral("2:00 p"), K::SetHour, 14 },
        { QStringLiteral("4:00 p"), K::SetHour, 16 },
        { QStringLiteral("&Now"), K::Now, 0 },
    };
    return kButtons;
}

std::optional<QString> PromptLogic::applyQuickButton(const QuickTimeButton& button, QStringView fieldText,
    long long nowMsOfDay)
{
    switch (button.kind) {
    case QuickTimeButton::Kind::AddMinutes:
        return addMinutes(fieldText, button.value);
    case QuickTimeButton::Kind::SetHour:
        return hourText(button.value);
    case QuickTimeButton::Kind::Now:
        return formatTime(nowMsOfDay);
    }
    return std::nullopt;
}

long long PromptLogic::msOfDay(const platform::Clock& clock)
{
    platform::LocalTime lt = platform::toLocal(clock.now());
    return ((lt.hour * 60LL + lt.minute) * 60LL + lt.second) * 1000LL + lt.millisecond;
}

TextFieldRules PromptLogic::textFieldRules(bool hidden)
{
    return hidden ? TextFieldRules { kHiddenMaxLength, true } : TextFieldRules { kPlainMaxLength, false };
}

QString PromptLogic::displayedText(const QString& text, bool hidden)
{
    return hidden ? QString(text.size(), kMaskChar) : text;
}

QString PromptLogic::invalidTimeMessage(const QString& text)
{
    return QStringLiteral("'%1' is not a valid time").arg(text);
}

} // namespace qb::planner
