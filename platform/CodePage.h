// Code page conversion between the stored OEM text of the tables and UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace qb::platform {

enum class CodePage { Cp437, Cp850, Windows1252 };

// Parses "437", "850", "1252", "cp437" ... ; unknown text gives Cp437.
CodePage codePageFromName(std::string_view name);
const char* codePageName(CodePage cp);

// Stored bytes to UTF-8. Every byte of these code pages maps to a character.
std::string toUtf8(std::string_view bytes, CodePage cp);
// UTF-8 to stored bytes; characters the code page lacks become '?'. Invalid
// UTF-8 sequences become '?' as well.
std::string fromUtf8(std::string_view utf8, CodePage cp);
// Converts between two single-byte code pages (for example Windows-1252
// bytes of a password to OEM).
std::string recode(std::string_view bytes, CodePage from, CodePage to);

} // namespace qb::platform
