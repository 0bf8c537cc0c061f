#include "CodePage.h"

#include "platform/Utf8.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <iconv.h>
#include <mutex>
#include <utility>

namespace qb::platform {

namespace {

// Tables from byte to Unicode, built once per code page with iconv; the
// reverse direction looks the character up in a sorted copy of the upper
// half, which keeps conversions free of iconv state and lets unknown
// characters become '?' one by one.
struct Table {
    std::array<char32_t, 256> toUnicode {};
    // (character, byte) for bytes 128-255, by character and, among equal
    // characters, lowest byte first.
    std::array<std::pair<char32_t, unsigned char>, 128> fromUnicode {};
};

const Table& tableFor(CodePage cp)
{
    static std::once_flag once[3];
    static Table tables[3];
    int idx = static_cast<int>(cp);
    std::call_once(once[idx], [&] {
        Table& t = tables[idx];
        iconv_t cd = iconv_open("UTF-32LE", codePageName(cp));
        for (int b = 0; b < 256; ++b) {
            t.toUnicode[b] = static_cast<char32_t>(b < 128 ? b : 0xFFFD);
            if (cd == reinterpret_cast<iconv_t>(-1) || b < 128)
                continue;
            char in = static_cast<char>(b);
            char out[8];
            char* ip = &in;
            char* op = out;
            size_t il = 1, ol = sizeof out;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            if (iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1) && ol == 4) {
                auto* u = reinterpret_cast<unsigned char*>(out);
                t.toUnicode[b] = static_cast<char32_t>(u[0] | (u[1] << 8) | (u[2] << 16) | (u[3] << 24));
            } else if (cp == CodePage::Windows1252) {
                t.toUnicode[b] = static_cast<char32_t>(b); // the five undefined bytes map to C1 controls
            }
        }
        if (cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(cd);
        for (int b = 128; b < 256; ++b)
            t.fromUnicode[static_cast<std::size_t>(b - 128)] = {t.toUnicode[b], static_cast<unsigned char>(b)};
        std::sort(t.fromUnicode.begin(), t.fromUnicode.end());
    });
    return tables[idx];
}

char byteFor(const Table& t, char32_t c)
{
    if (c < 0x80)
        return static_cast<char>(c);
    // A search of the 128 entries one by one was most of the time of
    // converting text that is not plain ASCII.
    auto it = std::lower_bound(t.fromUnicode.begin(), t.fromUnicode.end(), std::make_pair(c, static_cast<unsigned char>(0)));
    return it != t.fromUnicode.end() && it->first == c ? static_cast<char>(it->second) : '?';
}

} // namespace

CodePage codePageFromName(std::string_view name)
{
    std::string n;
    for (char ch : name)
        if (std::isdigit(static_cast<unsigned char>(ch)))
            n += ch;
    if (n == "850")
        return CodePage::Cp850;
    if (n == "1252")
        return CodePage::Windows1252;
    return CodePage::Cp437;
}

const char* codePageName(CodePage cp)
{
    switch (cp) {
    case CodePage::Cp850: return "CP850";
    case CodePage::Windows1252: return "CP1252";
    case CodePage::Cp437: break;
    }
    return "CP437";
}

std::string toUtf8(std::string_view bytes, CodePage cp)
{
    // Plain ASCII is the same in UTF-8 and in every code page here; most
    // stored text is nothing else.
    if (std::all_of(bytes.begin(), bytes.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }))
        return std::string(bytes);
    const Table& t = tableFor(cp);
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes)
        appendUtf8(out, t.toUnicode[static_cast<unsigned char>(ch)]);
    return out;
}

std::string fromUtf8(std::string_view utf8, CodePage cp)
{
    if (std::all_of(utf8.begin(), utf8.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x80; }))
        return std::string(utf8);
    const Table& t = tableFor(cp);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Char c = decodeUtf8(utf8, i);
        out += byteFor(t, c.codePoint); // U+FFFD, which no code page here has, for a malformed sequence
        i += c.length;
    }
    return out;
}

std::string recode(std::string_view bytes, CodePage from, CodePage to)
{
    if (from == to)
        return std::string(bytes);
    const Table& f = tableFor(from);
    const Table& t = tableFor(to);
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes)
        out += byteFor(t, f.toUnicode[static_cast<unsigned char>(ch)]);
    return out;
}

} // namespace qb::platform
