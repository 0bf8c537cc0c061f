// Entry points of the fuzz targets. Each takes one input as libFuzzer hands
// it over and returns 0; a broken invariant aborts with a message, so the
// libFuzzer build and the replay test (plain gtest, gcc) report it alike.
//
// Input layouts (all little-endian):
//   table   1 byte options, 2 bytes split word, then table bytes + memo bytes
//   locate  1 byte options, 1 byte field choice, 1 byte key length k, k key
//           bytes, then the table layout's split word and files
//   profile 1 byte key choice, then the ini text
//   check   2 bytes split word, then table bytes + memo bytes
//   message 1 byte code page (mod 3; bit 7 wraps the stored-text split at
//           20), then the text (its second byte doubles as a flag byte)
//   settings 1 byte options (bit 0 a colour file, bit 1 the writability test
//           first, bit 2 the own-group filter, bit 3 minimised), 1 byte user
//           name length n (mod 16), n name bytes, 2 bytes length of the
//           settings text (bits 0-12), that text, then the colour file
// Split word: bits 0-12 the length of the table bytes (clamped to what is
// there), bit 13 count repair at open, bit 14 hide deleted records, bit 15
// no memo file at all.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qb::fuzz {

int fuzzOneTable(const std::uint8_t* data, std::size_t size);
int fuzzOneLocate(const std::uint8_t* data, std::size_t size);
int fuzzOneProfile(const std::uint8_t* data, std::size_t size);
int fuzzOneCheck(const std::uint8_t* data, std::size_t size);
int fuzzOneMessage(const std::uint8_t* data, std::size_t size);
int fuzzOneSettings(const std::uint8_t* data, std::size_t size);

} // namespace qb::fuzz
