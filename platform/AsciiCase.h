// Case folding of the ASCII letters only. Table, field, alias and file names,
// keywords and the people's names are compared this way: bytes above 127
// (OEM or UTF-8 text) are left as they are, whatever the process locale.
#pragma once

#include <string>
#include <string_view>

namespace qb::platform {

constexpr char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string asciiLower(std::string s)
{
    for (char& c : s)
        c = asciiLower(c);
    return s;
}

inline bool equalsIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

} // namespace qb::platform
