// Reading and writing UTF-8 one character at a time, the one way the whole
// program does it: overlong forms, surrogates and values past U+10FFFF are
// malformed like any broken sequence, so no text ever decodes to a character
// it does not spell (an overlong line feed would split a stored line).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace qb::platform {

struct Utf8Char {
    char32_t codePoint = 0xFFFD; // U+FFFD when malformed
    // Bytes taken. A malformed sequence takes its lead byte and the
    // continuation bytes that follow it as far as the sequence reaches, at
    // least one byte: "\xE2\x82" before "b" is one bad character, then "b".
    std::size_t length = 1;
    bool valid = false;
};

// The character at text[i]. Requires i < text.size().
Utf8Char decodeUtf8(std::string_view text, std::size_t i);

// Appends c (at most U+10FFFF) in UTF-8.
void appendUtf8(std::string& out, char32_t c);

} // namespace qb::platform
