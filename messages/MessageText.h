// The text of a message as stored: code-page conversion, the optional
// scrambling of the lines, the flag character and the send-time texts.
// Qt-free; the send window, the reader and qbtool share it.
#pragma once

#include "platform/Clock.h"
#include "platform/CodePage.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::messages {

// The scrambling key, the same on every station sharing a data directory.
// Both bytes have the high bit set, so plain ASCII text never scrambles
// into a control byte.
constexpr std::uint8_t kScrambleKey[2] = {0xA7, 0xD3};
// First character of the first stored line of a scrambled message.
constexpr char kScrambleMarker = 127;
// Memo lines longer than this come back split (the memo reader's width).
constexpr std::size_t kMemoLineWidth = 254;

// Lossless byte maps between the window code page (Windows-1252) and the
// stored OEM code page: a character both pages hold keeps its meaning, the
// bytes left over are paired in ascending order, so every byte reads back
// as written.
std::uint8_t ansiToOem(std::uint8_t ansi, platform::CodePage oem);
std::uint8_t oemToAnsi(std::uint8_t stored, platform::CodePage oem);

// XORs the bytes of one line with the key, position 0 with the first byte.
std::string scrambleLine(std::string_view ansi);

// Memo lines to store for a text typed as UTF-8 lines. An empty text is
// one line holding a space. With scramble on, each line is taken to
// Windows-1252, scrambled, the first one marked, and mapped losslessly to
// OEM; but when any stored line would then hold 0x1A (ends the memo), 0x0D
// (splits the line) or 0x8D before a line feed, or the marked first line
// would be longer than a memo line, the text is stored plainly, so that
// every reader shows it whole. *scrambled (when given) says which happened.
std::vector<std::string> encodeText(const std::vector<std::string>& utf8Lines, bool scramble,
                                    platform::CodePage oem, bool* scrambled = nullptr);
// The UTF-8 lines of stored memo lines: a first line starting with the
// marker (after conversion to Windows-1252) means the message is scrambled,
// whatever the reader's own setting.
std::vector<std::string> decodeText(const std::vector<std::string>& stored, platform::CodePage oem,
                                    bool* scrambled = nullptr);

// The stored `state` character of a flag byte, and back. Every byte value
// round-trips; an empty field reads as 0.
std::string flagChar(std::uint8_t flags, platform::CodePage oem);
std::uint8_t flagsOf(std::string_view storedState, platform::CodePage oem);
// The reader shows its flag panel unless `state` is empty (0) or a space (32).
inline bool showsFlagPanel(std::uint8_t flags) { return flags != 0 && flags != 32; }

// "mm/dd/yyyy h:nnampm", or "yyyy/mm/dd hh:nn" when international.
std::string sendTimeText(const platform::LocalTime& t, bool international);
// "YYYY MMM dd hh:nn" of a reply or forward, e.g. "2026 Dec 08 09:05".
std::string replyTimeText(const platform::LocalTime& t);

} // namespace qb::messages
