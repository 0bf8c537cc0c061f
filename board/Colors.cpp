#include "Colors.h"

namespace qb::board {

bool isColorLetter(int code)
{
    switch (code) {
    case 'a': case 'f': case 'l': case 'r': case 'w': case 'y': return true;
    default: return false;
    }
}

Rgb colorOfCode(int code)
{
    switch (code) {
    case 'a': return {0, 255, 255};
    case 'f': return {255, 0, 255};
    case 'l': return {0, 255, 0};
    case 'r': return {255, 0, 0};
    case 'w': return {255, 255, 255};
    case 'y': return {255, 255, 0};
    default: return unpackColor(static_cast<std::uint8_t>(code));
    }
}

std::uint8_t packColor(const Rgb& c)
{
    auto clamp = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    return static_cast<std::uint8_t>((clamp(c.b) / 64) * 64 + (clamp(c.r) / 32) * 8 + clamp(c.g) / 32);
}

Rgb unpackColor(std::uint8_t code)
{
    return {((code / 8) % 8) * 36, (code % 8) * 36, (code / 64) * 72};
}

} // namespace qb::board
