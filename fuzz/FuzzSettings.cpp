// The workstation settings file from arbitrary text: loaded as the board
// loads it (with the site section, in one reading, and the office's colour
// locks), saved and loaded again. Whatever the file held, a save into a
// writable directory succeeds, every value the program holds reads back as it
// was saved, and lines the program does not write (the site labels) survive
// the rewrite.
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "board/LocalSettings.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace qb::fuzz {

namespace {

using board::LocalSettings;

class FixedClock final : public platform::Clock {
public:
    TimePoint now() const override { return TimePoint{}; }
};

// Text the file can hold as it is: a carriage return or NUL inside a value
// is turned into a blank on saving (it would end the line), and blanks at
// either end of a value are not kept by the file (a text cut to its
// length may end in one).
bool storable(std::string_view s)
{
    if (s.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos)
        return false;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return s.empty() || (!blank(s.front()) && !blank(s.back()));
}

bool hasControl(std::string_view s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) < 0x20)
            return true;
    return false;
}

// What must read back after a save of `was` (with ctx) from `back`.
void requireSame(const LocalSettings& was, const LocalSettings& back, const LocalSettings::SaveContext& ctx)
{
    const std::string filter = was.filter == LocalSettings::kOwnGroupFilter ? ctx.ownGroup : was.filter;
    require(!storable(filter) || back.filter == filter, "the view filter does not read back");
    require(back.msgRate == was.msgRate && back.font == was.font && back.sortFld == was.sortFld
                && back.sortWay == was.sortWay,
            "a number of the settings does not read back");
    require(back.optionRights == was.optionRights && back.optionValues == was.optionValues,
            "the cached options do not read back");
    require(back.geometry == was.geometry && back.columnWidths == was.columnWidths && back.colours == was.colours,
            "the window geometry, column widths or colours do not read back");
    require(back.appIconic == ctx.appIconic, "the minimised state does not read back");
    require(!storable(ctx.ownName) || back.lastName == ctx.ownName, "the login name does not read back");
    require(!storable(was.quickKey1) || back.quickKey1 == was.quickKey1, "quick key 1 does not read back");
    require(!storable(was.quickKey2) || back.quickKey2 == was.quickKey2, "quick key 2 does not read back");
    // A password is kept only for the automatic login, and never one with a
    // control character (no one types those).
    const bool kept = was.optionValues[11] && !was.password.empty() && !hasControl(was.password);
    require(back.password == (kept ? was.password : std::string()), "the saved password does not read back");
    require(back.flagLabels == was.flagLabels && back.msgColor == was.msgColor,
            "the site settings changed on saving");
    require(!was.eiChgText || !storable(*was.eiChgText) || back.eiChgText == was.eiChgText,
            "the site's information-change value changed on saving");
}

} // namespace

int fuzzOneSettings(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    const std::uint8_t options = data[0];
    const std::size_t nameLen = std::min<std::size_t>(data[1] % 16, size - 2);
    std::string user(reinterpret_cast<const char*>(data + 2), nameLen);
    if (user.empty())
        user = "tester"; // every account has a name
    const std::uint8_t* rest = data + 2 + nameLen;
    std::size_t restSize = size - 2 - nameLen;
    if (restSize < 2)
        return 0;
    const std::size_t split = std::min<std::size_t>((rest[0] | (rest[1] << 8)) & 0x1FFF, restSize - 2);
    const std::string local(reinterpret_cast<const char*>(rest + 2), split);
    const std::string colour(reinterpret_cast<const char*>(rest + 2 + split), restSize - 2 - split);

    platform::MemoryFileSystem files;
    files.setContents("/ws/" + std::string(LocalSettings::kFileName), local);
    if (options & 1)
        files.setContents("/data/" + std::string(LocalSettings::kColorFileName), colour);

    LocalSettings s("/ws", "/desk", user, files);
    if (options & 2)
        require(s.testWritable(0x1234) && !s.usingDesktop(), "a writable workstation directory failed the test");
    s.loadWithSite();
    s.applyColourLocks("/data");
    s.geometryFor(1024, 768);
    if (options & 4)
        s.filter = LocalSettings::kOwnGroupFilter;

    LocalSettings::SaveContext ctx;
    ctx.ownName = s.lastName;
    ctx.ownGroup = "Sales";
    ctx.buildDate = "Jan  1 2026";
    ctx.appIconic = (options & 8) != 0;
    FixedClock clock;
    platform::MemoryEventLog log;
    require(s.save(ctx, clock, log) == 0, "saving the settings into a writable directory failed");

    LocalSettings back("/ws", "/desk", user, files);
    back.loadWithSite();
    requireSame(s, back, ctx);

    // What was read back is all storable: a second round trip keeps every value.
    require(back.save(ctx, clock, log) == 0, "a second save failed");
    LocalSettings again("/ws", "/desk", user, files);
    again.loadWithSite();
    requireSame(back, again, ctx);
    return 0;
}

} // namespace qb::fuzz
