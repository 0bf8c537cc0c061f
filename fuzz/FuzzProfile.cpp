// The ini parser on arbitrary text: reads of the names the text itself
// mentions, then writes whose values must read back.
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "platform/Profile.h"

#include <string>
#include <string_view>
#include <vector>

namespace qb::fuzz {

namespace {

// Every read parses the file afresh, so a few names keep each input quick.
constexpr std::size_t kMaxNames = 3;

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Crude guesses at the section and key names in the text, so that reads hit
// real entries instead of always missing.
void namesIn(std::string_view text, std::vector<std::string>& sections, std::vector<std::string>& keys)
{
    std::size_t pos = 0;
    while (pos < text.size() && (sections.size() < kMaxNames || keys.size() < kMaxNames)) {
        std::size_t end = text.find('\n', pos);
        std::string_view line = text.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
        pos = end == std::string_view::npos ? text.size() : end + 1;
        line = trimmed(line);
        if (!line.empty() && line.front() == '[' && sections.size() < kMaxNames) {
            std::size_t close = line.find(']');
            sections.emplace_back(line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
        } else if (std::size_t eq = line.find('='); eq != std::string_view::npos && keys.size() < kMaxNames) {
            keys.emplace_back(line.substr(0, eq));
        }
    }
}

bool sameName(std::string_view a, std::string_view b)
{
    a = trimmed(a);
    b = trimmed(b);
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

} // namespace

int fuzzOneProfile(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::uint8_t choice = data[0];
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    // A fresh in-memory directory for every input: no system calls.
    platform::MemoryFileSystem files;
    const std::string path = "/ws/p.ini";
    files.setContents(path, std::string(text));

    std::vector<std::string> sections{"SYS"}, keys{"H"};
    namesIn(text, sections, keys);
    platform::Profile profile(path, {(choice & 1) ? platform::Profile::LineEnd::CrLf : platform::Profile::LineEnd::Lf,
                                     false},
                             files);
    int which = 0;
    for (const auto& s : sections)
        for (const auto& k : keys) {
            switch (which++ % 3) {
            case 0: profile.value(s, k); break;
            case 1: profile.readInt(s, k, -7); break;
            default: profile.readBool(s, k, true); break;
            }
        }
    platform::Profile::parseInt(text.substr(0, 24));
    platform::Profile::parseBool(text.substr(0, 8));

    // A write that was accepted must read back, whatever else the file holds.
    const std::string& section = sections[(choice >> 1) % sections.size()];
    const std::string& key = keys[(choice >> 4) % keys.size()];
    const std::string value = "v" + std::to_string(size) + ((choice & 0x80) ? " x=y ;[z]" : "");
    if (profile.writeString(section, key, value) == 0) {
        auto back = profile.value(section, key);
        require(back.has_value() && *back == value, "a written ini value does not read back");
    }
    std::vector<platform::Profile::Entry> entries;
    for (std::size_t i = 0; i < sections.size() && i < 3; ++i)
        entries.push_back({sections[i], keys[i % keys.size()], std::to_string(i)});
    if (profile.writeAll(entries) == 0) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            // A later entry of the same section and key wins.
            bool overwritten = false;
            for (std::size_t j = i + 1; j < entries.size(); ++j)
                overwritten = overwritten
                              || (sameName(entries[j].section, entries[i].section) && sameName(entries[j].key, entries[i].key));
            if (!overwritten)
                require(profile.value(entries[i].section, entries[i].key) == entries[i].value,
                        "an ini value written with others does not read back");
        }
    }
    return 0;
}

} // namespace qb::fuzz
