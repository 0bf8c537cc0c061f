#include "FieldDecoder.h"

#include "JsonText.h"

#include <charconv>
#include <cstdlib>

namespace qb::tools {

namespace {

std::string_view trim(std::string_view s)
{
    auto b = s.find_first_not_of(' ');
    if (b == std::string_view::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The engine fills a number that does not fit with asterisks: a stored
// overflow, read back as 0, not damage.
bool isOverflow(std::string_view t) { return !t.empty() && t.find_first_not_of('*') == std::string_view::npos; }

} // namespace

bool FieldDecoder::parseInteger(std::string_view stored, std::string& json)
{
    std::string_view t = trim(stored);
    json = "0";
    if (t.empty() || isOverflow(t))
        return true; // blank is 0, not damage
    bool negative = false;
    if (t[0] == '+' || t[0] == '-') {
        negative = t[0] == '-';
        t.remove_prefix(1);
    }
    if (t.empty())
        return false;
    for (char c : t)
        if (!isDigit(c))
            return false;
    // Kept as digits, not a machine integer, so wide fields print exactly.
    auto nz = t.find_first_not_of('0');
    if (nz == std::string_view::npos)
        return true;
    json = (negative ? "-" : "") + std::string(t.substr(nz));
    return true;
}

bool FieldDecoder::parseNumber(std::string_view stored, double& value)
{
    std::string_view t = trim(stored);
    value = 0;
    if (t.empty() || isOverflow(t))
        return true;
    // Accept only plain decimal notation: strtod would also take "nan",
    // "inf" and hexadecimal, none of which a table stores.
    std::size_t i = 0;
    if (t[i] == '+' || t[i] == '-')
        ++i;
    std::size_t digits = 0;
    while (i < t.size() && isDigit(t[i]))
        ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && isDigit(t[i]))
            ++i, ++digits;
    }
    if (digits == 0)
        return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-'))
            ++i;
        std::size_t expDigits = 0;
        while (i < t.size() && isDigit(t[i]))
            ++i, ++expDigits;
        if (expDigits == 0)
            return false;
    }
    if (i != t.size())
        return false;
    std::string s(t[0] == '+' ? t.substr(1) : t);
    value = std::strtod(s.c_str(), nullptr);
    return true;
}

DecodedValue FieldDecoder::decode(const RawField& field, std::string_view stored) const
{
    DecodedValue v;
    switch (field.type) {
    case 'N':
    case 'F':
        if (field.decimals == 0) {
            v.kind = DecodedValue::Kind::Integer;
            if (!parseInteger(stored, v.text))
                v.problem = "unreadable number";
        } else {
            v.kind = DecodedValue::Kind::Number;
            double d = 0;
            if (!parseNumber(stored, d))
                v.problem = "unreadable number";
            v.text = JsonText::number(d);
        }
        return v;
    case 'L':
        v.kind = DecodedValue::Kind::Logical;
        v.logical = !stored.empty() && (stored[0] == 'T' || stored[0] == 't' || stored[0] == 'Y' || stored[0] == 'y');
        return v;
    case 'D': {
        bool allDigits = stored.size() == 8;
        for (char c : stored)
            allDigits = allDigits && isDigit(c);
        if (allDigits)
            v.text = std::string(stored);
        else if (!trim(stored).empty())
            v.problem = "unreadable date";
        return v;
    }
    case 'M': {
        std::int64_t block = 0;
        if (!MemoImage::parsePointer(stored, block)) {
            v.problem = "unreadable memo pointer";
            return v;
        }
        if (block == 0)
            return v;
        if (!m_memo) {
            v.problem = "memo file missing";
            return v;
        }
        MemoImage::Memo m = m_memo->read(block);
        if (m.status == MemoImage::Status::OutsideFile) {
            v.problem = "memo block " + std::to_string(block) + " lies outside the memo file";
            return v;
        }
        if (m.status == MemoImage::Status::NoEndByte)
            v.problem = "memo at block " + std::to_string(block) + " has no end byte";
        else if (m.status == MemoImage::Status::TooLong)
            v.problem = "memo at block " + std::to_string(block) + " has no end byte within "
                        + std::to_string(MemoImage::kMaxMemoBytes) + " bytes; shown cut there";
        else if (m.status == MemoImage::Status::ReadError)
            v.problem = "memo at block " + std::to_string(block) + " cannot be read";
        v.text = platform::toUtf8(MemoImage::joinLines(m.bytes), m_codePage);
        return v;
    }
    default: {
        // C, and any type letter we do not know: shown as text.
        auto e = stored.find_last_not_of(' ');
        v.text = platform::toUtf8(e == std::string_view::npos ? std::string_view{} : stored.substr(0, e + 1), m_codePage);
        return v;
    }
    }
}

} // namespace qb::tools
