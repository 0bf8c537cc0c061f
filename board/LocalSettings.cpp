#include "LocalSettings.h"

#include "platform/CodePage.h"
#include "platform/Profile.h"

#include <algorithm>
#include <cstdio>

namespace qb::board {

using platform::Profile;

namespace {

constexpr Profile::Options kLocalFile{Profile::LineEnd::Lf, true};
// Shared with Windows stations.
constexpr Profile::Options kColorFile{Profile::LineEnd::CrLf, false};

// Cuts UTF-8 text after max characters without splitting one.
std::string truncateChars(std::string s, std::size_t max)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == max)
                return s.substr(0, i);
            ++chars;
        }
    }
    return s;
}

// Free text from the program (filter, names, paths) must not carry a line
// break into the file: it would end the value and start a bogus line.
std::string iniSafe(std::string s)
{
    for (char& c : s)
        if (c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    return s;
}

std::string unquote(const std::string& v)
{
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"')
        return v.substr(1, v.size() - 2);
    return v;
}

std::string dateTimeText(const platform::Clock& clock)
{
    platform::LocalTime t = platform::toLocal(clock.now());
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return buf;
}

int rgb(int r, int g, int b) { return r | (g << 8) | (b << 16); }

} // namespace

LocalSettings::LocalSettings(std::string workstationDir, std::string desktopDir, std::string userName,
                             platform::FileSystem& fs)
    : optionRights(parseOptions(kDefaultRights, kDefaultRights)),
      optionValues(parseOptions(kDefaultValues, kDefaultValues)),
      colours(defaultColours()),
      m_fs(&fs),
      m_workstationDir(std::move(workstationDir)),
      m_desktopDir(std::move(desktopDir)),
      m_userSection(userSectionFor(userName)),
      m_path(m_workstationDir + "/" + kFileName)
{
}

std::string LocalSettings::userSectionFor(std::string_view userName)
{
    std::string s = "State";
    // Blanks become "+" as on Windows stations; the characters a section
    // name cannot hold go the same way, or every save would be refused.
    for (char c : userName)
        s += (c == ' ' || c == ']' || c == '\r' || c == '\n' || c == '\0') ? '+' : c;
    return s;
}

std::array<int, LocalSettings::kColourCount> LocalSettings::defaultColours()
{
    return {rgb(0, 255, 0),     rgb(255, 0, 0),     rgb(255, 128, 64),  rgb(174, 244, 70),
            rgb(255, 255, 113), rgb(255, 255, 0),   rgb(116, 141, 245), rgb(174, 174, 174),
            rgb(255, 172, 89),  rgb(179, 145, 64),  rgb(192, 192, 192)};
}

std::array<bool, LocalSettings::kOptionCount> LocalSettings::parseOptions(std::string_view text,
                                                                          std::string_view fallback)
{
    if (text.size() < static_cast<std::size_t>(kOptionCount))
        text = fallback;
    std::array<bool, kOptionCount> out {};
    for (int i = 0; i < kOptionCount && i < static_cast<int>(text.size()); ++i)
        out[i] = text[i] == 't' || text[i] == 'T';
    return out;
}

std::string LocalSettings::optionText(const std::array<bool, kOptionCount>& options)
{
    std::string s;
    for (bool b : options)
        s += b ? 't' : 'f';
    return s;
}

std::string LocalSettings::scramble(std::string_view utf8)
{
    std::string bytes = platform::fromUtf8(utf8, platform::CodePage::Windows1252);
    for (std::size_t i = 1; i < bytes.size(); ++i) {
        auto c = static_cast<unsigned char>(bytes[i]);
        // Control bytes stay as they are so that no mask can make one of
        // them a line break; they never occur in a typed password anyway.
        if (c < 0x20)
            continue;
        // Index i is position i + 1: index 1 is position 2, an even one.
        unsigned char mask = (i % 2 == 1) ? kEvenMask : kOddMask;
        bytes[i] = static_cast<char>(c ^ mask);
    }
    return platform::toUtf8(bytes, platform::CodePage::Windows1252);
}

bool LocalSettings::testWritable(long long windowHandle)
{
    m_path = m_workstationDir + "/" + kFileName;
    m_usingDesktop = false;
    Profile ws(m_path, kLocalFile, *m_fs);
    // Both keys in one rewrite: each rewrite of the file is synced to disk.
    int rc = ws.writeAll({{"SYS", "test", "123"}, {"SYS", "H", std::to_string(windowHandle)}});
    std::string read = rc == 0 ? ws.readString("SYS", "test", "0") : std::string();
    m_workstationFailed = rc != 0;
    m_writable = rc == 0;
    if (read != "123") {
        m_path = m_desktopDir + "/" + kFileName;
        m_usingDesktop = true;
        // The flag tells whether settings can be kept at all; test the file
        // that now takes them.
        Profile desk(m_path, kLocalFile, *m_fs);
        m_writable = desk.writeString("SYS", "test", "123") == 0 && desk.readString("SYS", "test", "0") == "123";
    }
    return m_writable;
}

void LocalSettings::load()
{
    loadFrom(Profile(m_path, kLocalFile, *m_fs).snapshot());
}

void LocalSettings::loadWithSite()
{
    const Profile::Snapshot file = Profile(m_path, kLocalFile, *m_fs).snapshot();
    loadFrom(file);
    loadSiteFrom(file);
}

void LocalSettings::loadFrom(const platform::Profile::Snapshot& p)
{
    filter = truncateChars(p.readString("State", "filter", ""), kMaxFilter);
    msgRate = p.readInt("SYS", "msgRate", 240);
    if (msgRate < 1)
        msgRate = 240; // a zero or negative interval would check on every tick
    sortWay = p.readBool("State", "SortWay", true);
    font = p.readInt("State", "font", 10);
    if (font < 1 || font > 200)
        font = 10;
    sortFld = p.readInt("State", "SortFld", 1);
    optionRights = parseOptions(p.readString("State", "oGrn", kDefaultRights), kDefaultRights);
    optionValues = parseOptions(p.readString("State", "oVal", kDefaultValues), kDefaultValues);

    password = truncateChars(scramble(unquote(p.readString(m_userSection, "PW", ""))), kMaxPassword);
    quickKey1 = p.readString(m_userSection, "K1", "");
    quickKey2 = p.readString(m_userSection, "K2", "");

    geometry.top = p.readInt("Form", "top", 20);
    geometry.left = p.readInt("Form", "left", 20);
    geometry.width = std::max(p.readInt("Form", "w", 610), 26);
    geometry.height = std::max(p.readInt("Form", "H", 150), 50);

    static constexpr std::array<int, kColumnCount> kWidths {140, 170, 77, 190, 74};
    for (int i = 0; i < kColumnCount; ++i) {
        int w = p.readInt("Header", "w" + std::to_string(i), kWidths[i]);
        if (w < 0)
            w = i == 0 ? 20 : 0;
        columnWidths[i] = w;
    }

    lastName = truncateChars(p.readString("State", "Name", ""), kMaxName);
    if (lastName.empty())
        lastName = truncateChars(p.readString(m_userSection, "Name", ""), kMaxName);

    const auto defaults = defaultColours();
    for (int n = 0; n < kColourCount; ++n)
        colours[n] = p.readInt("BKcolor", std::to_string(n), defaults[n]);

    appIconic = p.readBool("Position", "AppIconic", false);
}

void LocalSettings::loadSite()
{
    loadSiteFrom(Profile(m_path, kLocalFile, *m_fs).snapshot());
}

void LocalSettings::loadSiteFrom(const platform::Profile::Snapshot& p)
{
    for (int i = 0; i < kFlagCount; ++i)
        flagLabels[i] = p.readString("Site", "label" + std::to_string(i + 1), "");
    std::string mc = p.readString("Site", "MsgColor", "");
    msgColor = mc == "y" || mc == "Y";
    eiChgText = p.value("Site", "EIChg");
    eiChg = eiChgText && Profile::parseBool(*eiChgText).value_or(false);
}

void LocalSettings::applyColourLocks(const std::string& dataDir)
{
    const Profile::Snapshot c = Profile(dataDir + "/" + kColorFileName, kColorFile, *m_fs).snapshot();
    for (int n = 0; n < kColourCount; ++n) {
        std::string key = std::to_string(n);
        if (c.readBool("BKlock", key, false))
            colours[n] = c.readInt("BKcolor", key, colours[n]);
    }
}

int LocalSettings::save(const SaveContext& ctx, const platform::Clock& clock, platform::EventLog& log)
{
    bool reported = false;
    if (!m_writable) {
        log.error(kWriteFailure);
        reported = true;
    }

    std::vector<Profile::Entry> e;
    e.reserve(64);
    auto put = [&e](std::string section, std::string key, std::string value) {
        e.push_back({std::move(section), std::move(key), iniSafe(std::move(value))});
    };
    auto putInt = [&put](std::string section, std::string key, long long v) {
        put(std::move(section), std::move(key), std::to_string(v));
    };
    auto putBool = [&put](std::string section, std::string key, bool v) {
        put(std::move(section), std::move(key), v ? "1" : "0");
    };

    for (int i = 0; i < kColumnCount; ++i)
        putInt("Header", "W" + std::to_string(i), columnWidths[i]);

    putInt("SYS", "refresh", ctx.refreshTicks);
    putInt("SYS", "msgRate", msgRate);

    put("State", "filter", truncateChars(filter == kOwnGroupFilter ? ctx.ownGroup : filter, kMaxFilter));

    std::string built = ctx.buildDate.empty() ? std::string(__DATE__) : ctx.buildDate;
    put("State", "type", "Quellboard Pro for Linux, built " + built);
    putInt("State", "font", font);
    putInt("State", "names", ctx.recordCount);
    put("State", "TZBias", "0");

    putInt("Form", "top", geometry.top);
    putInt("Form", "left", geometry.left);
    putInt("Form", "w", geometry.width);
    putInt("Form", "H", geometry.height);

    putBool("State", "SortWay", sortWay);
    putInt("State", "SortFld", sortFld);
    putInt("State", "Ident", ctx.ownIdent);
    put("State", "path", ctx.programPath);
    put("State", "arg", ctx.commandLine);
    put("State", "msg", ctx.messageTablePath);
    put("State", "version", "Quellboard Pro version " + ctx.version);
    put("State", "ini", m_path);

    putBool("Position", "isIconic", ctx.isIconic);
    putBool("Position", "AppIconic", ctx.appIconic);

    put("State", "Name", "");
    put(m_userSection, "Name", truncateChars(ctx.ownName, kMaxName));
    // Option 12: automatic login on start-up.
    std::string pw;
    if (optionValues[11]) {
        std::string clear = truncateChars(password, kMaxPassword);
        bool hasControl = std::any_of(clear.begin(), clear.end(),
                                      [](char c) { return static_cast<unsigned char>(c) < 0x20; });
        // The quotes keep blanks at either end of the scrambled text.
        if (!clear.empty() && !hasControl)
            pw = "\"" + scramble(clear) + "\"";
    }
    e.push_back({m_userSection, "PW", pw});
    put(m_userSection, "K1", quickKey1);
    put(m_userSection, "K2", quickKey2);

    put("State", "oGrn", optionText(optionRights));
    put("State", "oVal", optionText(optionValues));
    put(m_userSection, "oVal", optionText(optionValues));

    put("State", "When", dateTimeText(clock));
    for (int n = 0; n < kColourCount; ++n)
        putInt("BKcolor", std::to_string(n), colours[n]);

    if (eiChgText)
        put("Site", "EIChg", *eiChgText);

    int rc = Profile(m_path, kLocalFile, *m_fs).writeAll(e);
    if (rc != 0 && !reported)
        log.error(kWriteFailure);
    m_writable = rc == 0;
    return rc;
}

WindowGeometry LocalSettings::geometryFor(int screenWidth, int screenHeight) const
{
    WindowGeometry g = geometry;
    if (g.top < 10 || g.top > screenHeight - 90)
        g.top = 20;
    if (g.left < 10 || g.left > screenWidth - 50)
        g.left = 20;
    g.width = std::max(g.width, 26);
    g.height = std::max(g.height, 50);
    return g;
}

} // namespace qb::board
