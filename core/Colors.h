// Row colour codes of the names table: a colour letter or a packed BBRRRGGG byte.
#pragma once

#include <cstdint>

namespace qb::board {

struct Rgb {
    int r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

// True for the six letters a, f, l, r, w, y.
bool isColorLetter(int code);
// Colour of a code: a letter's colour, else the unpacked BBRRRGGG value.
Rgb colorOfCode(int code);
// Packs an RGB colour: (blue div 64) x 64 + (red div 32) x 8 + green div 32.
std::uint8_t packColor(const Rgb& c);
Rgb unpackColor(std::uint8_t code);

// Black or white, whichever reads better on a background. Judged by
// perceived lightness contrast (the APCA model) rather than by the WCAG
// ratio, which prefers black on pure red, where people find white easier.
Rgb readableTextOn(const Rgb& background);

} // namespace qb::board
