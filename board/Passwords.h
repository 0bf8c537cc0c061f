// The password format of the names table's `password` field (C 10):
//   empty                         no password
//   "=" + encoded bytes + tail    encoded; tail is one character "!".."R"
//   anything else                 a plain password, as older data holds it
// The encoding runs on Windows-1252 bytes and the result is stored in the
// table's OEM code page, so Linux and Windows stations read each other's
// passwords.
#pragma once

#include "platform/CodePage.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qb::board {

class Passwords {
public:
    // "=" + password + tail must fit the 10 characters of the field.
    static constexpr std::size_t kMaxLength = 8;

    enum class Error {
        None,
        TooLong,         // more than kMaxLength characters
        InvalidCharacter // a control character, or one Windows-1252 lacks
    };

    // Whether a new password can be stored. Length counts characters, not
    // UTF-8 bytes. Use before accepting a password anywhere it is set.
    static Error check(std::string_view utf8Password);
    // A short user-facing explanation of an error ("" for None).
    static std::string errorText(Error e);

    // Encodes a UTF-8 password into the stored bytes (OEM code page oem).
    // tail (0..49, clamped) picks the trailing character; the overload
    // without it picks one at random. Returns the error of check() and leaves
    // stored untouched when the password cannot be stored.
    static Error encode(std::string_view utf8Password, platform::CodePage oem, int tail, std::string& stored);
    static Error encode(std::string_view utf8Password, platform::CodePage oem, std::string& stored);

    // Decodes a stored field value (blank or NUL padding at the end is
    // ignored) into the UTF-8 password. Never fails: damaged values decode
    // to whatever their bytes give.
    static std::string decode(std::string_view stored, platform::CodePage oem);

    // Whether a typed password (UTF-8) matches a stored field value. Case is
    // ignored for the letters of Windows-1252, as on Windows stations.
    static bool matches(std::string_view typedUtf8, std::string_view stored, platform::CodePage oem);
    static bool equalIgnoringCase(std::string_view utf8A, std::string_view utf8B);

    // The key sequence itself on Windows-1252 bytes, exposed for tests and
    // tools: encodeBytes gives the bytes between "=" and the tail.
    static std::string encodeBytes(std::string_view ansi);
    static std::string decodeBytes(std::string_view encoded);

    // Byte conversion used for the encoded part of the stored form: the
    // Windows conversion wherever a character exists in both code pages, and
    // a fixed pairing of the remaining bytes, so every encoded byte survives
    // the trip to the table and back.
    static std::string ansiToOem(std::string_view ansi, platform::CodePage oem);
    static std::string oemToAnsi(std::string_view oemBytes, platform::CodePage oem);

private:
    static constexpr std::uint16_t kSeed = 0x2D17;
    static constexpr std::uint16_t kMultiplier = 0x7ABD;
    static constexpr std::uint16_t kIncrement = 0x1B0F;
};

} // namespace qb::board
