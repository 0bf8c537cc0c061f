#include "JsonText.h"

#include "platform/Utf8.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace qb::tools {

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
        const platform::Utf8Char c = platform::decodeUtf8(utf8, i);
        if (!c.valid) {
            // U+FFFD for the first byte; what follows it is read again.
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        out.append(utf8.substr(i, c.length));
        i += c.length;
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
