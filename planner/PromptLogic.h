// Rules of the prompt window that need no window: reading and writing the
// time field, the quick time buttons, and the limits of the text field.
#pragma once

#include "platform/Clock.h"

#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace qb::planner {

// One button of the time panel.
struct QuickTimeButton {
    enum class Kind { AddMinutes, SetHour, Now };
    QString caption;   // the button's text, exactly as shown
    Kind kind;
    int value = 0;     // minutes to add, or the hour (0..23) to set
};

// What the text field accepts.
struct TextFieldRules {
    int maxLength;
    bool masked; // each character shown as kMaskChar
};

class PromptLogic {
public:
    static constexpr int kMillisPerDay = 86400000;
    static constexpr int kHiddenMaxLength = 8;
    static constexpr int kPlainMaxLength = 120;
    static constexpr QChar kMaskChar = u'*';

    // Reads a time of day: "H:MM" or "H:MM:SS" on a 24-hour
    // clock, or with a trailing (or leading) "am"/"pm"/"a"/"p" marker in any
    // case on a 12-hour clock ("12:05 am" is five past midnight); "H am"
    // without minutes is also taken. Blanks around the parts are allowed.
    // Returns milliseconds since midnight, or nothing when the text is not a
    // time (empty, stray characters, hour 24 or more, 13 or more with a
    // marker, minutes or seconds 60 or more).
    static std::optional<int> parseTime(QStringView text);

    // " hh:nn am" / " hh:nn pm": a leading blank, 12-hour clock with two
    // digits, lower-case marker. Any millisecond count is taken modulo a day,
    // so sums past midnight wrap.
    static QString formatTime(long long msOfDay);
    // The form put into the field when the time mode is prepared: the same
    // with a blank after it as well.
    static QString formatPreparedTime(long long msOfDay);

    // Adds minutes to the time in text. Nothing when text is not a time, in
    // which case the caller leaves the field as it is and reports the error.
    static std::optional<QString> addMinutes(QStringView text, int minutes);
    // The field text for an hour of the day (0..23).
    static QString hourText(int hour);

    // The buttons of the time panel in their order.
    static const std::vector<QuickTimeButton>& quickTimeButtons();
    // The field text after pressing button on a field holding fieldText, with
    // nowMsOfDay as the present time. Nothing when an add button meets a
    // field that is not a time.
    static std::optional<QString> applyQuickButton(const QuickTimeButton& button, QStringView fieldText,
        long long nowMsOfDay);

    // Milliseconds since local midnight of the clock's present moment.
    static long long msOfDay(const platform::Clock& clock);

    static TextFieldRules textFieldRules(bool hidden);
    // What the field shows for text: the text itself, or one mask character
    // per character when hidden.
    static QString displayedText(const QString& text, bool hidden);

    // The program's general error text for a field that is not a time.
    static QString invalidTimeMessage(const QString& text);
};

} // namespace qb::planner
