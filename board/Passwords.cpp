#include "Passwords.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <random>

namespace qb::board {

using platform::CodePage;

namespace {

constexpr int kTailBase = 33; // "!"
constexpr int kTailSpan = 50; // "!" .. "R"

struct ByteMap {
    std::array<unsigned char, 256> toOem {};
    std::array<unsigned char, 256> toAnsi {};
};

// Windows converts the encoded bytes character by character and loses every
// byte whose character the OEM page lacks (it becomes a look-alike or "?"),
// which leaves such a password undecodable. The common characters convert
// exactly as there; the bytes left over on both sides are paired in
// ascending order, so the conversion is a bijection and nothing is lost.
const ByteMap& mapFor(CodePage oem)
{
    static std::once_flag once[3];
    static ByteMap maps[3];
    int idx = static_cast<int>(oem);
    std::call_once(once[idx], [&] {
        ByteMap& m = maps[idx];
        for (int b = 0; b < 256; ++b) {
            m.toOem[b] = static_cast<unsigned char>(b);
            m.toAnsi[b] = static_cast<unsigned char>(b);
        }
        if (oem == CodePage::Windows1252)
            return;
        std::array<bool, 256> oemUsed {};
        std::array<bool, 256> ansiMapped {};
        for (int b = 0x80; b < 0x100; ++b) {
            std::string one(1, static_cast<char>(b));
            std::string o = platform::fromUtf8(platform::toUtf8(one, CodePage::Windows1252), oem);
            auto ob = static_cast<unsigned char>(o[0]);
            if (o.size() == 1 && ob >= 0x80 && !oemUsed[ob]) {
                m.toOem[b] = ob;
                m.toAnsi[ob] = static_cast<unsigned char>(b);
                oemUsed[ob] = true;
                ansiMapped[b] = true;
            }
        }
        int nextOem = 0x80;
        for (int b = 0x80; b < 0x100; ++b) {
            if (ansiMapped[b])
                continue;
            while (oemUsed[nextOem])
                ++nextOem;
            m.toOem[b] = static_cast<unsigned char>(nextOem);
            m.toAnsi[nextOem] = static_cast<unsigned char>(b);
            oemUsed[nextOem] = true;
        }
    });
    return maps[idx];
}

// UTF-8 to Windows-1252 when every character exists there.
bool toAnsi(std::string_view utf8, std::string& ansi)
{
    ansi = platform::fromUtf8(utf8, CodePage::Windows1252);
    return platform::toUtf8(ansi, CodePage::Windows1252) == utf8;
}

unsigned char upperAnsi(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<unsigned char>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<unsigned char>(c - 0x20);
    switch (c) {
    case 0x9A: return 0x8A; // š
    case 0x9C: return 0x8C; // œ
    case 0x9E: return 0x8E; // ž
    case 0xFF: return 0x9F; // ÿ
    default: return c;
    }
}

std::string_view trimPadding(std::string_view s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

} // namespace

Passwords::Error Passwords::check(std::string_view utf8Password)
{
    std::string ansi;
    if (!toAnsi(utf8Password, ansi))
        return Error::InvalidCharacter;
    for (char ch : ansi) {
        auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F)
            return Error::InvalidCharacter;
    }
    if (ansi.size() > kMaxLength)
        return Error::TooLong;
    return Error::None;
}

std::string Passwords::errorText(Error e)
{
    switch (e) {
    case Error::TooLong: return "A password can have at most 8 characters.";
    case Error::InvalidCharacter: return "The password contains a character that cannot be stored.";
    case Error::None: break;
    }
    return {};
}

std::string Passwords::encodeBytes(std::string_view ansi)
{
    std::uint16_t key = kSeed;
    std::string out;
    out.reserve(ansi.size());
    for (char ch : ansi) {
        auto c = static_cast<unsigned char>(ch);
        auto o = static_cast<unsigned char>(c ^ (key >> 8));
        out += static_cast<char>(o);
        key = static_cast<std::uint16_t>((o + key) * kMultiplier + kIncrement);
    }
    return out;
}

std::string Passwords::decodeBytes(std::string_view encoded)
{
    std::uint16_t key = kSeed;
    std::string out;
    out.reserve(encoded.size());
    for (char ch : encoded) {
        auto e = static_cast<unsigned char>(ch);
        out += static_cast<char>(e ^ (key >> 8));
        key = static_cast<std::uint16_t>((e + key) * kMultiplier + kIncrement);
    }
    return out;
}

std::string Passwords::ansiToOem(std::string_view ansi, CodePage oem)
{
    const ByteMap& m = mapFor(oem);
    std::string out(ansi);
    for (char& ch : out)
        ch = static_cast<char>(m.toOem[static_cast<unsigned char>(ch)]);
    return out;
}

std::string Passwords::oemToAnsi(std::string_view oemBytes, CodePage oem)
{
    const ByteMap& m = mapFor(oem);
    std::string out(oemBytes);
    for (char& ch : out)
        ch = static_cast<char>(m.toAnsi[static_cast<unsigned char>(ch)]);
    return out;
}

Passwords::Error Passwords::encode(std::string_view utf8Password, CodePage oem, int tail, std::string& stored)
{
    if (Error e = check(utf8Password); e != Error::None)
        return e;
    std::string ansi;
    toAnsi(utf8Password, ansi);
    tail = std::clamp(tail, 0, kTailSpan - 1);
    stored = "=" + ansiToOem(encodeBytes(ansi), oem) + static_cast<char>(kTailBase + tail);
    return Error::None;
}

Passwords::Error Passwords::encode(std::string_view utf8Password, CodePage oem, std::string& stored)
{
    static std::mutex mutex;
    static std::mt19937 gen{std::random_device{}()};
    int tail;
    {
        std::lock_guard lock(mutex);
        tail = std::uniform_int_distribution<int>(0, kTailSpan - 1)(gen);
    }
    return encode(utf8Password, oem, tail, stored);
}

std::string Passwords::decode(std::string_view stored, CodePage oem)
{
    stored = trimPadding(stored);
    if (stored.empty())
        return {};
    if (stored.front() != '=')
        return platform::toUtf8(stored, oem);
    std::string_view inner = stored.size() >= 2 ? stored.substr(1, stored.size() - 2) : std::string_view();
    return platform::toUtf8(decodeBytes(oemToAnsi(inner, oem)), CodePage::Windows1252);
}

bool Passwords::equalIgnoringCase(std::string_view utf8A, std::string_view utf8B)
{
    std::string a, b;
    if (!toAnsi(utf8A, a) || !toAnsi(utf8B, b)) {
        // Outside Windows-1252 only ASCII letters fold; the rest must match.
        if (utf8A.size() != utf8B.size())
            return false;
        for (std::size_t i = 0; i < utf8A.size(); ++i) {
            auto x = static_cast<unsigned char>(utf8A[i]);
            auto y = static_cast<unsigned char>(utf8B[i]);
            if (x != y && !(x < 0x80 && y < 0x80 && upperAnsi(x) == upperAnsi(y)))
                return false;
        }
        return true;
    }
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upperAnsi(static_cast<unsigned char>(a[i])) != upperAnsi(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool Passwords::matches(std::string_view typedUtf8, std::string_view stored, CodePage oem)
{
    return equalIgnoringCase(typedUtf8, decode(stored, oem));
}

} // namespace qb::board
