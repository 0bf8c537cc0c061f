#include "JsonText.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace qb::tools {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
std::size_t utf8Length(std::string_view s, std::size_t i)
{
    auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : (b & 0xE0) == 0xC0 ? 2 : (b & 0xF0) == 0xE0 ? 3 : (b & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    char32_t c = n == 1 ? b : b & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        auto t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80)
            return 0;
        c = (c << 6) | (t & 0x3F);
    }
    // Reject overlong forms, surrogates and values past U+10FFFF.
    static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kMin[n] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
        return 0;
    return n;
}

} // namespace

std::string JsonText::quote(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < utf8.size();) {
        char ch = utf8[i];
        switch (ch) {
        case '"': out += "\\\""; ++i; continue;
        case '\\': out += "\\\\"; ++i; continue;
        case '\n': out += "\\n"; ++i; continue;
        case '\r': out += "\\r"; ++i; continue;
        case '\t': out += "\\t"; ++i; continue;
        case '\b': out += "\\b"; ++i; continue;
        case '\f': out += "\\f"; ++i; continue;
        default: break;
        }
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", b);
            out += buf;
            ++i;
            continue;
        }
        std::size_t n = utf8Length(utf8, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(utf8.substr(i, n));
        i += n;
    }
    out += '"';
    return out;
}

std::string JsonText::number(double value)
{
    if (!std::isfinite(value))
        return "0";
    if (value == 0)
        return "0"; // no "-0"
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

} // namespace qb::tools
