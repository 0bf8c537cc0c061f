// Locate/Continue and Search over a table built from the input, with the
// field, key and options chosen by the input too.
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "engine/Engine.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace qb::fuzz {

namespace {

// Enough repetitions to walk through several hits; each one is a full scan.
constexpr int kMaxRepeats = 8;

} // namespace

int fuzzOneLocate(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const std::uint8_t options = data[0];
    const std::uint8_t fieldChoice = data[1];
    const std::size_t keyLen = std::min<std::size_t>(data[2] % 64, size - 3);
    const std::string key(reinterpret_cast<const char*>(data + 3), keyLen);
    TableInput in = FuzzScratch::splitTable(data + 3 + keyLen, size - 3 - keyLen);
    platform::MemoryFileSystem share;
    const std::string path = FuzzScratch::putTable(share, in);

    engine::Engine e{share};
    e.autoFixRecCount = in.autoFix;
    e.hideDeleted = in.hideDeleted;
    if (!e.USE(path + " ALIAS T"))
        return 0;
    const int nf = e.FieldCount();
    if (nf < 1)
        return 0;

    // Field name, a field name the table lacks, or no name at all.
    std::string spec;
    switch (fieldChoice >> 6) {
    case 0: spec = ""; break;
    case 1: spec = key.substr(0, 10); break;
    default: spec = e.Field(fieldChoice % nf + 1); break;
    }
    if (options & 1)
        spec += " NOCASE";
    if (options & 2)
        spec += " EXACT";
    if (options & 4)
        spec += " CONTAINED";
    engine::FieldValue value;
    value.text = key;
    value.integer = static_cast<std::int64_t>(std::strtoll(key.c_str(), nullptr, 10));
    value.real = std::strtod(key.c_str(), nullptr);
    value.logical = (options & 8) != 0;

    if (options & 0x10)
        e.Continue(); // before any Locate: must fail cleanly
    bool found = e.Locate(spec, value);
    for (int i = 0; found && i < kMaxRepeats; ++i) {
        const std::int64_t at = e.RecNo();
        found = e.Continue();
        require(!found || e.RecNo() > at, "Continue went backwards or stood still");
    }

    int field = (options & 0x20) ? fieldChoice % (nf + 2) : 0;
    bool fromTop = (options & 0x40) != 0;
    for (int i = 0; i < kMaxRepeats; ++i) {
        const std::int64_t before = e.RecNo();
        int inOut = field;
        bool hit = e.Search(key, inOut, fromTop);
        if (!hit) {
            // An empty key, a bad field number or a read error leave early.
            const bool searched = key.find_first_not_of(' ') != std::string::npos && field <= nf && e.lastError() == 0;
            require(!searched || inOut == 0, "Search without a hit left a field number");
            require(!searched || e.RecNo() == before, "Search without a hit moved the table");
            break;
        }
        require(inOut >= 1 && inOut <= nf, "Search hit outside the fields");
        require(field == 0 || inOut == field, "Search hit in another field than asked");
        fromTop = false;
    }
    return 0;
}

} // namespace qb::fuzz
