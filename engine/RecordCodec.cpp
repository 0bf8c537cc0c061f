#include "RecordCodec.h"

#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

namespace qb::engine {

namespace {
std::string_view trim(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\0' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool isNumericType(char t) { return t == 'N' || t == 'F'; }

char separatorOf(DateOrder o)
{
    switch (o) {
    case DateOrder::MonthDayYear:
    case DateOrder::DayMonthYearSlash: return '/';
    case DateOrder::DayMonthYearDash: return '-';
    case DateOrder::YearMonthDay:
    case DateOrder::DayMonthYearDot: return '.';
    }
    return '/';
}

} // namespace

std::int64_t RecordCodec::parseInteger(std::string_view text)
{
    // The common case first, as stored by every writer: blanks, a sign, up
    // to 18 digits, blanks. Anything else takes the general way below.
    const char* q = text.data();
    const char* const end = q + text.size();
    while (q < end && *q == ' ')
        ++q;
    const bool negative = q < end && *q == '-';
    if (q < end && (*q == '-' || *q == '+'))
        ++q;
    const char* const digits = q;
    std::uint64_t u = 0;
    while (q < end && static_cast<unsigned char>(*q - '0') < 10)
        u = u * 10 + static_cast<unsigned>(*q++ - '0');
    const auto count = q - digits;
    while (q < end && *q == ' ')
        ++q;
    if (q == end && count > 0 && count <= 18)
        return negative ? -static_cast<std::int64_t>(u) : static_cast<std::int64_t>(u);

    std::string_view t = trim(text);
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    std::int64_t v = 0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || p != t.data() + t.size())
        return 0;
    return v;
}

double RecordCodec::parseReal(std::string_view text)
{
    // The common case first: blanks, a sign, at most 15 digits with one
    // decimal point, blanks. The digits as an integer and the power of ten
    // are both exact doubles, so their quotient is the correctly rounded
    // value, the same that the general way below gives.
    static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                       1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* q = text.data();
    const char* const end = q + text.size();
    while (q < end && *q == ' ')
        ++q;
    const bool negative = q < end && *q == '-';
    if (q < end && (*q == '-' || *q == '+'))
        ++q;
    std::uint64_t u = 0;
    int digits = 0;
    int decimals = -1; // digits after the point; -1: no point
    for (; q < end; ++q) {
        if (static_cast<unsigned char>(*q - '0') < 10) {
            u = u * 10 + static_cast<unsigned>(*q - '0');
            ++digits;
            if (decimals >= 0)
                ++decimals;
        } else if (*q == '.' && decimals < 0) {
            decimals = 0;
        } else {
            break;
        }
    }
    while (q < end && *q == ' ')
        ++q;
    if (q == end && digits > 0 && digits <= 15) {
        const double v = static_cast<double>(u) / kTens[decimals > 0 ? decimals : 0];
        return negative ? -v : v;
    }

    std::string_view t = trim(text);
    if (!t.empty() && t.front() == '+')
        t.remove_prefix(1);
    double v = 0.0;
    auto [p, ec] = std::from_chars(t.data(), t.data() + t.size(), v, std::chars_format::general);
    if (t.empty() || ec != std::errc() || p != t.data() + t.size())
        return 0.0;
    return v;
}

std::string RecordCodec::blankDate(const DateSettings& ds)
{
    char sep = separatorOf(ds.order);
    std::string yy = ds.century ? "    " : "  ";
    if (ds.order == DateOrder::YearMonthDay)
        return yy + sep + "  " + sep + "  ";
    return std::string("  ") + sep + "  " + sep + yy;
}

std::string RecordCodec::dateText(std::string_view stored, const DateSettings& ds)
{
    if (stored.size() < 8)
        return blankDate(ds);
    for (int i = 0; i < 8; ++i)
        if (stored[i] < '0' || stored[i] > '9')
            return blankDate(ds);
    std::string y(stored.substr(0, 4));
    std::string m(stored.substr(4, 2));
    std::string d(stored.substr(6, 2));
    if (!ds.century)
        y = y.substr(2);
    char sep = separatorOf(ds.order);
    switch (ds.order) {
    case DateOrder::MonthDayYear: return m + sep + d + sep + y;
    case DateOrder::YearMonthDay: return y + sep + m + sep + d;
    default: return d + sep + m + sep + y;
    }
}

std::string RecordCodec::storedDate(std::string_view text, std::int64_t hint, const DateSettings& ds)
{
    const std::string blank(8, ' ');
    // Digit groups in order of appearance; any other character separates.
    std::string groups[3];
    int g = 0;
    bool inGroup = false;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            if (!inGroup) {
                if (g == 3)
                    return blank;
                inGroup = true;
                ++g;
            }
            groups[g - 1].push_back(c);
        } else {
            inGroup = false;
        }
    }
    if (g != 3)
        return blank; // empty text and every blank template end here
    std::string ys, ms, ds_;
    switch (ds.order) {
    case DateOrder::MonthDayYear: ms = groups[0]; ds_ = groups[1]; ys = groups[2]; break;
    case DateOrder::YearMonthDay: ys = groups[0]; ms = groups[1]; ds_ = groups[2]; break;
    default: ds_ = groups[0]; ms = groups[1]; ys = groups[2]; break;
    }
    if (ms.size() > 2 || ds_.size() > 2 || ys.size() > 4 || ys.size() == 3)
        return blank;
    int month = std::stoi(ms), day = std::stoi(ds_), year = std::stoi(ys);
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return blank;
    if (ys.size() <= 2) {
        std::int64_t hy = hint / 10000, hm = (hint / 100) % 100, hd = hint % 100;
        if (hint > 0 && hy % 100 == year && hm == month && hd == day) {
            year = static_cast<int>(hy);
        } else {
            // Window of 80 years back and 20 ahead of the current year.
            int century = ds.currentYear - ds.currentYear % 100;
            year += century;
            if (year > ds.currentYear + 20)
                year -= 100;
            else if (year <= ds.currentYear - 80)
                year += 100;
        }
    }
    char b[16];
    std::snprintf(b, sizeof b, "%04d%02d%02d", year, month, day);
    return b;
}

void RecordCodec::decode(const FieldInfo& f, std::string_view s, FieldValue& v, const DateSettings& ds)
{
    // Member by member, so the text keeps its buffer from record to record.
    v.integer = 0;
    v.real = 0.0;
    v.logical = false;
    if (f.type == 'C') {
        // Same field, same length as the record before: copy over it.
        if (v.text.size() == s.size() && !s.empty())
            std::memcpy(v.text.data(), s.data(), s.size());
        else
            v.text.assign(s);
        return;
    }
    v.text.clear();
    switch (f.type) {
    case 'N':
    case 'F':
        if (f.decimals > 0)
            v.real = parseReal(s);
        else
            v.integer = parseInteger(s);
        break;
    case 'L': v.logical = !s.empty() && (s[0] == 'T' || s[0] == 't' || s[0] == 'Y' || s[0] == 'y'); break;
    case 'M': v.integer = parseInteger(s); break;
    case 'D':
        v.text = dateText(s, ds);
        if (v.text != blankDate(ds))
            v.integer = parseInteger(s.substr(0, 8));
        break;
    default: v.text.assign(s); break;
    }
}

std::string RecordCodec::encode(const FieldInfo& f, const FieldValue& v, const DateSettings& ds)
{
    const auto len = static_cast<std::size_t>(f.length);
    std::string out;
    switch (f.type) {
    case 'N':
    case 'F':
        out = f.decimals > 0 ? Engine::formatNumber(v.real, f.length, f.decimals)
                             : Engine::formatInteger(v.integer, f.length);
        break;
    case 'L': out.assign(1, v.logical ? 'T' : 'F'); break;
    case 'M': out = Engine::formatInteger(v.integer, f.length); break;
    case 'D': out = storedDate(v.text, v.integer, ds); break;
    default: out = v.text; break;
    }
    out.resize(len, ' ');
    return out;
}

void RecordCodec::clear(const FieldInfo& f, FieldValue& v, const DateSettings& ds)
{
    v = FieldValue{};
    if (f.type == 'D')
        v.text = blankDate(ds);
    else if (!isNumericType(f.type) && f.type != 'L' && f.type != 'M')
        v.text.assign(static_cast<std::size_t>(f.length), ' ');
}

} // namespace qb::engine
