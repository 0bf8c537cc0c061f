#include "Colors.h"

#include <cmath>

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

namespace {

// Screen luminance as APCA 0.0.98G takes it, with its soft clamp near black.
double apcaY(const Rgb& c)
{
    auto lin = [](int v) { return std::pow(v / 255.0, 2.4); };
    double y = 0.2126729 * lin(c.r) + 0.7151522 * lin(c.g) + 0.0721750 * lin(c.b);
    if (y < 0.022)
        y += std::pow(0.022 - y, 1.414);
    return y;
}

// Lightness contrast of text on a background, as a magnitude (0 .. ~106).
double apcaContrast(const Rgb& text, const Rgb& background)
{
    const double yt = apcaY(text), yb = apcaY(background);
    if (yb > yt) {
        const double s = (std::pow(yb, 0.56) - std::pow(yt, 0.57)) * 1.14;
        return s < 0.1 ? 0.0 : (s - 0.027) * 100.0;
    }
    const double s = (std::pow(yb, 0.65) - std::pow(yt, 0.62)) * 1.14;
    return s > -0.1 ? 0.0 : (0.027 - s) * 100.0;
}

} // namespace

Rgb readableTextOn(const Rgb& background)
{
    constexpr Rgb kBlack {0, 0, 0};
    constexpr Rgb kWhite {255, 255, 255};
    return apcaContrast(kWhite, background) > apcaContrast(kBlack, background) ? kWhite : kBlack;
}

} // namespace qb::board
