#include "MessageText.h"

#include <array>
#include <cstdio>
#include <mutex>

namespace qb::messages {

namespace {

using platform::CodePage;

struct ByteMap {
    std::array<std::uint8_t, 256> toOem{};
    std::array<std::uint8_t, 256> toAnsi{};
};

ByteMap buildMap(CodePage oem)
{
    ByteMap m;
    std::array<bool, 256> used{};
    std::array<bool, 256> mapped{};
    for (int b = 0; b < 256; ++b) {
        if (b < 128 || oem == CodePage::Windows1252) {
            m.toOem[b] = static_cast<std::uint8_t>(b);
            used[b] = mapped[b] = true;
            continue;
        }
        // The character of this byte, looked up in the OEM page; an answer
        // below 128 is the '?' of a character the page lacks.
        std::string u = platform::toUtf8(std::string(1, static_cast<char>(b)), CodePage::Windows1252);
        std::string o = platform::fromUtf8(u, oem);
        auto ob = o.size() == 1 ? static_cast<std::uint8_t>(o[0]) : 0;
        if (ob >= 128 && !used[ob]) {
            m.toOem[b] = ob;
            used[ob] = mapped[b] = true;
        }
    }
    int next = 128;
    for (int b = 128; b < 256; ++b) {
        if (mapped[b])
            continue;
        while (used[next])
            ++next;
        m.toOem[b] = static_cast<std::uint8_t>(next);
        used[next] = true;
    }
    for (int b = 0; b < 256; ++b)
        m.toAnsi[m.toOem[b]] = static_cast<std::uint8_t>(b);
    return m;
}

const ByteMap& mapFor(CodePage oem)
{
    static std::once_flag once[3];
    static ByteMap maps[3];
    const auto i = static_cast<std::size_t>(oem);
    std::call_once(once[i], [&] { maps[i] = buildMap(oem); });
    return maps[i];
}

std::string mapBytes(std::string_view s, const std::array<std::uint8_t, 256>& table)
{
    std::string out(s.size(), '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<char>(table[static_cast<std::uint8_t>(s[i])]);
    return out;
}

// Bytes a memo reader would take for the end of the memo or of a line.
bool breaksMemo(std::string_view stored)
{
    for (std::size_t i = 0; i < stored.size(); ++i) {
        auto c = static_cast<std::uint8_t>(stored[i]);
        if (c == 0x1A || c == 0x0D)
            return true;
        if (c == 0x8D && i + 1 < stored.size() && stored[i + 1] == '\n')
            return true;
    }
    return false;
}

const char* const kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

} // namespace

std::uint8_t ansiToOem(std::uint8_t ansi, CodePage oem) { return mapFor(oem).toOem[ansi]; }
std::uint8_t oemToAnsi(std::uint8_t stored, CodePage oem) { return mapFor(oem).toAnsi[stored]; }

std::string scrambleLine(std::string_view ansi)
{
    std::string out(ansi);
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<char>(static_cast<std::uint8_t>(out[i]) ^ kScrambleKey[i % 2]);
    return out;
}

std::vector<std::string> encodeText(const std::vector<std::string>& utf8Lines, bool scramble, CodePage oem,
                                    bool* scrambled)
{
    std::vector<std::string> lines = utf8Lines;
    if (lines.empty() || (lines.size() == 1 && lines[0].empty()))
        lines = {" "};
    if (scrambled)
        *scrambled = false;
    if (scramble) {
        const ByteMap& m = mapFor(oem);
        std::vector<std::string> stored;
        bool sound = true;
        for (std::size_t i = 0; i < lines.size() && sound; ++i) {
            std::string ansi = scrambleLine(platform::fromUtf8(lines[i], CodePage::Windows1252));
            if (i == 0)
                ansi.insert(ansi.begin(), kScrambleMarker);
            std::string s = mapBytes(ansi, m.toOem);
            // A split first line would restart the key one byte off.
            sound = !breaksMemo(s) && (i > 0 || s.size() <= kMemoLineWidth);
            stored.push_back(std::move(s));
        }
        if (sound) {
            if (scrambled)
                *scrambled = true;
            return stored;
        }
    }
    std::vector<std::string> stored;
    stored.reserve(lines.size());
    for (const auto& l : lines)
        stored.push_back(platform::fromUtf8(l, oem));
    return stored;
}

std::vector<std::string> decodeText(const std::vector<std::string>& stored, CodePage oem, bool* scrambled)
{
    const ByteMap& m = mapFor(oem);
    const bool isScrambled =
        !stored.empty() && !stored[0].empty() && m.toAnsi[static_cast<std::uint8_t>(stored[0][0])] == kScrambleMarker;
    if (scrambled)
        *scrambled = isScrambled;
    std::vector<std::string> out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (!isScrambled) {
            out.push_back(platform::toUtf8(stored[i], oem));
            continue;
        }
        std::string ansi = mapBytes(stored[i], m.toAnsi);
        if (i == 0)
            ansi.erase(0, 1);
        out.push_back(platform::toUtf8(scrambleLine(ansi), CodePage::Windows1252));
    }
    return out;
}

std::string flagChar(std::uint8_t flags, CodePage oem) { return std::string(1, static_cast<char>(ansiToOem(flags, oem))); }

std::uint8_t flagsOf(std::string_view storedState, CodePage oem)
{
    if (storedState.empty())
        return 0;
    return oemToAnsi(static_cast<std::uint8_t>(storedState[0]), oem);
}

std::string sendTimeText(const platform::LocalTime& t, bool international)
{
    char buf[40];
    if (international) {
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
    } else {
        int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
        std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %d:%02d%s", t.month, t.day, t.year, h12, t.minute,
                      t.hour < 12 ? "am" : "pm");
    }
    return buf;
}

std::string replyTimeText(const platform::LocalTime& t)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d %s %02d %02d:%02d", t.year, kMonths[(t.month + 11) % 12], t.day, t.hour,
                  t.minute);
    return buf;
}

} // namespace qb::messages
