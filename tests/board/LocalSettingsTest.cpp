#include "board/LocalSettings.h"
#include "platform/CodePage.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <vector>

using qb::board::LocalSettings;
using qb::board::WindowGeometry;
using qb::test::FakeClock;
using qb::platform::MemoryEventLog;
using qb::platform::Profile;
using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;

namespace {

// A workstation directory and a desktop folder in one scratch directory.
struct Workstation {
    TempDir dir;
    std::string sys = dir.file("sys");
    std::string desk = dir.file("desk");
    FakeClock clock;
    MemoryEventLog log;
    Workstation()
    {
        ::mkdir(sys.c_str(), 0700);
        ::mkdir(desk.c_str(), 0700);
    }
    LocalSettings settingsFor(const std::string& user)
    {
        LocalSettings s(sys, desk, user);
        s.testWritable(4711);
        return s;
    }
    std::string iniText() const { return readFile(sys + "/qb3local.ini"); }
};

LocalSettings::SaveContext contextFor(const std::string& name)
{
    LocalSettings::SaveContext c;
    c.ownName = name;
    c.ownIdent = 3;
    c.refreshTicks = 8;
    c.recordCount = 12;
    c.ownGroup = "Sales";
    c.programPath = "/opt/qb/qbp3";
    c.commandLine = "qbp3 5 /srv/qb";
    c.messageTablePath = "/srv/qb/msg3.dbf";
    return c;
}

} // namespace

TEST(SettingsLocation, WritableWorkstationDirectoryKeepsTheFile)
{
    Workstation ws;
    LocalSettings s(ws.sys, ws.desk, "alice");
    EXPECT_TRUE(s.testWritable(123456));
    EXPECT_FALSE(s.usingDesktop());
    EXPECT_FALSE(s.workstationFailed());
    EXPECT_EQ(s.path(), ws.sys + "/qb3local.ini");
    Profile p(s.path());
    EXPECT_EQ(p.readString("SYS", "test", ""), "123");
    EXPECT_EQ(p.readString("SYS", "H", ""), "123456") << "a second start looks for the handle here";
    struct stat st {};
    ASSERT_EQ(::stat(s.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(SettingsLocation, UnwritableWorkstationDirectoryMovesSettingsToDesktop)
{
    Workstation ws;
    // A plain file where the directory should be fails for root as well.
    std::string blocked = ws.dir.file("blocked");
    writeFile(blocked, "not a directory");
    LocalSettings s(blocked, ws.desk, "alice");
    EXPECT_TRUE(s.testWritable(99)) << "the desktop file takes the settings";
    EXPECT_TRUE(s.usingDesktop());
    EXPECT_TRUE(s.workstationFailed());
    EXPECT_EQ(s.path(), ws.desk + "/qb3local.ini");

    s.filter = "Sales";
    s.geometry.top = 77;
    ASSERT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
    EXPECT_TRUE(ws.log.entries.empty());
    EXPECT_EQ(Profile(ws.desk + "/qb3local.ini").readString("State", "filter", ""), "Sales");

    LocalSettings again(blocked, ws.desk, "alice");
    again.testWritable(99);
    again.load();
    EXPECT_EQ(again.filter, "Sales");
    EXPECT_EQ(again.geometry.top, 77);
}

TEST(SettingsLocation, NothingWritableIsReportedAtEverySave)
{
    Workstation ws;
    std::string blocked = ws.dir.file("blocked");
    writeFile(blocked, "x");
    LocalSettings s(blocked, blocked + "/desk", "alice");
    EXPECT_FALSE(s.testWritable(1));
    EXPECT_NE(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
    ASSERT_EQ(ws.log.entries.size(), 1u);
    EXPECT_TRUE(ws.log.entries[0].isError);
    EXPECT_EQ(ws.log.entries[0].text, "Error: Qb3local.ini write failure");
    s.save(contextFor("Alice"), ws.clock, ws.log);
    EXPECT_EQ(ws.log.entries.size(), 2u);
    s.load(); // runs on with the defaults
    EXPECT_EQ(s.geometry, WindowGeometry{});
}

TEST(SettingsLocation, WriteFailureAfterAGoodTestIsReported)
{
    Workstation ws;
    LocalSettings s = ws.settingsFor("alice");
    ASSERT_TRUE(s.writable());
    // The file grows past what we rewrite, so the save fails.
    writeFile(s.path(), std::string(Profile::kMaxFileSize + 1, ';'));
    EXPECT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), Profile::kFileTooLarge);
    EXPECT_TRUE(ws.log.contains("Error: Qb3local.ini write failure"));
    EXPECT_FALSE(s.writable());
}

TEST(SettingsValues, DefaultsWhenNothingIsStored)
{
    Workstation ws;
    LocalSettings s(ws.sys, ws.desk, "alice");
    s.load();
    EXPECT_EQ(s.filter, "");
    EXPECT_EQ(s.msgRate, 240);
    EXPECT_TRUE(s.sortWay);
    EXPECT_EQ(s.font, 10);
    EXPECT_EQ(s.sortFld, 1);
    EXPECT_EQ(LocalSettings::optionText(s.optionRights), std::string(LocalSettings::kDefaultRights).substr(0, 23));
    EXPECT_EQ(LocalSettings::optionText(s.optionValues), std::string(LocalSettings::kDefaultValues).substr(0, 23));
    EXPECT_TRUE(s.optionValues[11]) << "option 12 is on by default";
    EXPECT_FALSE(s.optionValues[0]);
    EXPECT_EQ(s.password, "");
    EXPECT_EQ(s.geometry, (WindowGeometry{20, 20, 610, 150}));
    EXPECT_EQ(s.columnWidths, (std::array<int, 5>{140, 170, 77, 190, 74}));
    EXPECT_EQ(s.lastName, "");
    EXPECT_EQ(s.colours[0], 0x00FF00) << "green";
    EXPECT_EQ(s.colours[1], 0x0000FF) << "red, stored as 0x00BBGGRR";
    EXPECT_EQ(s.colours[6], 245 << 16 | 141 << 8 | 116);
    EXPECT_EQ(s.colours[10], 0xC0C0C0);
    EXPECT_FALSE(s.appIconic);
}

TEST(SettingsValues, UnreadableAndOutOfRangeValuesGiveDefaults)
{
    Workstation ws;
    writeFile(ws.sys + "/qb3local.ini", "[SYS]\nmsgRate=0\n[State]\nfont=big\nfilter=" + std::string(200, 'f') +
                                            "\nName=" + std::string(50, 'n') +
                                            "\n[Form]\nw=3\nH=-1\ntop=x\n[Header]\nw0=-5\nW1=-1\nw2=33\n"
                                            "[BKcolor]\n4=$FF\n5=red\n");
    LocalSettings s(ws.sys, ws.desk, "alice");
    s.load();
    EXPECT_EQ(s.msgRate, 240);
    EXPECT_EQ(s.font, 10);
    EXPECT_EQ(s.filter, std::string(120, 'f'));
    EXPECT_EQ(s.lastName, std::string(40, 'n'));
    EXPECT_EQ(s.geometry.width, 26);
    EXPECT_EQ(s.geometry.height, 50);
    EXPECT_EQ(s.geometry.top, 20);
    EXPECT_EQ(s.columnWidths, (std::array<int, 5>{20, 0, 33, 190, 74}));
    EXPECT_EQ(s.colours[4], 255);
    EXPECT_EQ(s.colours[5], LocalSettings::defaultColours()[5]);
}

TEST(SettingsValues, ShortOptionStringsFallBackToDefaults)
{
    Workstation ws;
    const std::string t23(23, 't');
    writeFile(ws.sys + "/qb3local.ini", "[State]\noGrn=tttttttttttttttttttttt\noVal=" + t23 + "\n");
    LocalSettings s(ws.sys, ws.desk, "alice");
    s.load();
    EXPECT_EQ(LocalSettings::optionText(s.optionRights), std::string(LocalSettings::kDefaultRights).substr(0, 23))
        << "22 characters are too few";
    EXPECT_EQ(LocalSettings::optionText(s.optionValues), t23) << "23 are enough";

    auto parsed = LocalSettings::parseOptions("ftTx" + std::string(19, 'f'), LocalSettings::kDefaultValues);
    EXPECT_FALSE(parsed[0]);
    EXPECT_TRUE(parsed[1]);
    EXPECT_TRUE(parsed[2]);
    EXPECT_FALSE(parsed[3]);
    EXPECT_EQ(LocalSettings::parseOptions("", "tf" + std::string(21, 'f'))[0], true);
}

TEST(SettingsValues, SaveWritesEveryKeyAndLoadReadsItBack)
{
    Workstation ws;
    LocalSettings s = ws.settingsFor("alice");
    s.filter = "Support";
    s.msgRate = 60;
    s.sortWay = false;
    s.font = 14;
    s.sortFld = 2;
    s.optionRights.fill(false);
    s.optionValues.fill(true);
    s.password = "pa ss";
    s.quickKey1 = "At lunch";
    s.quickKey2 = "Back at {time}";
    s.geometry = {44, 55, 700, 300};
    s.columnWidths = {1, 2, 3, 4, 5};
    s.colours[7] = 0x123456;
    ws.clock.set(qb::platform::fromLocal({2026, 3, 4, 5, 6, 7, 0, 0}));
    ASSERT_EQ(s.save(contextFor("Alice Smith"), ws.clock, ws.log), 0);

    Profile p(s.path());
    EXPECT_EQ(p.readString("Header", "W4", ""), "5");
    EXPECT_EQ(p.readString("SYS", "refresh", ""), "8");
    EXPECT_EQ(p.readString("SYS", "msgRate", ""), "60");
    EXPECT_EQ(p.readString("State", "names", ""), "12");
    EXPECT_EQ(p.readString("State", "TZBias", ""), "0");
    EXPECT_EQ(p.readString("State", "Ident", ""), "3");
    EXPECT_EQ(p.readString("State", "path", ""), "/opt/qb/qbp3");
    EXPECT_EQ(p.readString("State", "arg", ""), "qbp3 5 /srv/qb");
    EXPECT_EQ(p.readString("State", "msg", ""), "/srv/qb/msg3.dbf");
    EXPECT_EQ(p.readString("State", "ini", ""), s.path());
    EXPECT_NE(p.readString("State", "version", "").find("3.0"), std::string::npos);
    EXPECT_FALSE(p.readString("State", "type", "").empty());
    EXPECT_EQ(p.readString("State", "When", ""), "2026/03/04 05:06:07");
    EXPECT_EQ(p.readString("State", "Name", "x"), "");
    EXPECT_EQ(p.readString("Statealice", "Name", ""), "Alice Smith");
    EXPECT_EQ(p.readString("Statealice", "oVal", ""), std::string(23, 't'));
    EXPECT_EQ(p.readString("Position", "isIconic", ""), "0");
    EXPECT_EQ(p.readString("SYS", "H", ""), "4711") << "the handle of the test survives a save";

    LocalSettings r(ws.sys, ws.desk, "alice");
    r.load();
    EXPECT_EQ(r.filter, "Support");
    EXPECT_EQ(r.msgRate, 60);
    EXPECT_FALSE(r.sortWay);
    EXPECT_EQ(r.font, 14);
    EXPECT_EQ(r.sortFld, 2);
    EXPECT_EQ(r.optionRights, s.optionRights);
    EXPECT_EQ(r.optionValues, s.optionValues);
    EXPECT_EQ(r.password, "pa ss");
    EXPECT_EQ(r.quickKey1, "At lunch");
    EXPECT_EQ(r.quickKey2, "Back at {time}");
    EXPECT_EQ(r.geometry, (WindowGeometry{44, 55, 700, 300}));
    EXPECT_EQ(r.columnWidths, s.columnWidths);
    EXPECT_EQ(r.colours, s.colours);
    EXPECT_EQ(r.lastName, "Alice Smith") << "taken from the user section";
}

TEST(SettingsValues, OwnGroupFilterIsSavedAsTheGroupName)
{
    Workstation ws;
    LocalSettings s = ws.settingsFor("alice");
    s.filter = "~~";
    ASSERT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
    EXPECT_EQ(Profile(s.path()).readString("State", "filter", ""), "Sales");
}

TEST(SettingsValues, LineBreaksInFreeTextCannotBreakTheFile)
{
    Workstation ws;
    LocalSettings s = ws.settingsFor("alice");
    s.quickKey1 = "Out\n[SYS]\ntest=0";
    ASSERT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
    EXPECT_EQ(Profile(s.path()).readString("SYS", "test", ""), "123");
    LocalSettings r(ws.sys, ws.desk, "alice");
    r.load();
    EXPECT_EQ(r.quickKey1, "Out [SYS] test=0");
}

TEST(SettingsPerUser, TwoUsersKeepOwnLoginButShareTheRest)
{
    Workstation ws;
    LocalSettings alice = ws.settingsFor("alice");
    alice.password = "apw";
    alice.quickKey1 = "alice key";
    alice.geometry = {30, 40, 500, 200};
    alice.filter = "Sales";
    alice.colours[2] = 1;
    ASSERT_EQ(alice.save(contextFor("Alice"), ws.clock, ws.log), 0);

    LocalSettings bob = ws.settingsFor("bob van dam");
    bob.load();
    EXPECT_EQ(bob.userSection(), "Statebob+van+dam");
    EXPECT_EQ(bob.lastName, "") << "alice's name is not bob's";
    EXPECT_EQ(bob.password, "");
    EXPECT_EQ(bob.quickKey1, "");
    EXPECT_EQ(bob.geometry, (WindowGeometry{30, 40, 500, 200})) << "geometry is the workstation's";
    EXPECT_EQ(bob.filter, "Sales");
    EXPECT_EQ(bob.colours[2], 1);
    bob.password = "bpw";
    bob.quickKey2 = "bob key";
    bob.geometry.top = 99;
    bob.colours[2] = 2;
    ASSERT_EQ(bob.save(contextFor("Bob"), ws.clock, ws.log), 0);

    LocalSettings a2 = ws.settingsFor("alice");
    a2.load();
    EXPECT_EQ(a2.lastName, "Alice");
    EXPECT_EQ(a2.password, "apw");
    EXPECT_EQ(a2.quickKey1, "alice key");
    EXPECT_EQ(a2.quickKey2, "");
    EXPECT_EQ(a2.geometry.top, 99);
    EXPECT_EQ(a2.colours[2], 2);

    LocalSettings b2 = ws.settingsFor("bob van dam");
    b2.load();
    EXPECT_EQ(b2.lastName, "Bob");
    EXPECT_EQ(b2.password, "bpw");
    EXPECT_EQ(b2.quickKey2, "bob key");
    EXPECT_NE(ws.iniText().find("[Statebob+van+dam]"), std::string::npos);

    LocalSettings odd = ws.settingsFor("x]y");
    odd.quickKey1 = "odd key";
    ASSERT_EQ(odd.save(contextFor("Odd"), ws.clock, ws.log), 0) << "a user name is never a reason to fail";
    EXPECT_EQ(Profile(odd.path()).readString("Statex+y", "K1", ""), "odd key");
}

TEST(SettingsPerUser, PasswordKeptOnlyWithAutomaticLogin)
{
    Workstation ws;
    LocalSettings s = ws.settingsFor("alice");
    s.password = "secret";
    s.optionValues[11] = false;
    ASSERT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
    EXPECT_EQ(Profile(s.path()).readString("Statealice", "PW", "x"), "");
    s.optionValues[11] = true;
    ASSERT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
    std::string stored = Profile(s.path()).readString("Statealice", "PW", "");
    EXPECT_EQ(stored.find("secret"), std::string::npos) << "not in clear";
    LocalSettings r(ws.sys, ws.desk, "alice");
    r.load();
    EXPECT_EQ(r.password, "secret");
}

TEST(PasswordScrambling, MasksByPosition)
{
    // Position 1 stays, 2 takes the even mask, 3 the odd one.
    EXPECT_EQ(LocalSettings::scramble("AAAA"), std::string("A") + static_cast<char>('A' ^ 0x0A) +
                                                   static_cast<char>('A' ^ 0x05) + static_cast<char>('A' ^ 0x0A));
    EXPECT_EQ(LocalSettings::scramble(""), "");
    EXPECT_EQ(LocalSettings::scramble("x"), "x");
}

TEST(PasswordScrambling, RoundTripsAndStaysIniSafe)
{
    // Every Windows-1252 character at both parities.
    for (int b = 0x20; b < 0x100; ++b) {
        std::string ansi = std::string("a") + static_cast<char>(b) + static_cast<char>(b) + "z";
        std::string utf8 = qb::platform::toUtf8(ansi, qb::platform::CodePage::Windows1252);
        std::string s = LocalSettings::scramble(utf8);
        EXPECT_EQ(LocalSettings::scramble(s), utf8) << b;
        EXPECT_EQ(s.find_first_of(std::string("\r\n\0", 3)), std::string::npos) << b;
    }
}

TEST(PasswordScrambling, BlanksAndQuotesAtTheEndsSurviveTheFile)
{
    // "*" at an even position and "%" at an odd one scramble to a blank.
    const std::vector<std::string> passwords = {"x*", "ab%", " lead", "\"q\"", "\xC3\xA9t\xC3\xA9", "=1=", std::string(40, '*')};
    for (const std::string& pw : passwords) {
        Workstation ws;
        LocalSettings s = ws.settingsFor("alice");
        s.password = pw;
        ASSERT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
        LocalSettings r(ws.sys, ws.desk, "alice");
        r.load();
        EXPECT_EQ(r.password, pw);
    }
}

TEST(SettingsColours, LocksInTheSharedColourFileOverrideLocalColours)
{
    Workstation ws;
    TempDir data;
    writeFile(data.file("color.ini"), "[BKlock]\r\n2=1\r\n3=True\r\n4=0\r\n[BKcolor]\r\n2=12345\r\n4=777\r\n");
    LocalSettings s = ws.settingsFor("alice");
    s.load();
    s.colours[3] = 42;
    s.applyColourLocks(data.path());
    EXPECT_EQ(s.colours[2], 12345);
    EXPECT_EQ(s.colours[3], 42) << "locked without a colour keeps the local one";
    EXPECT_EQ(s.colours[4], LocalSettings::defaultColours()[4]) << "a colour without its lock is ignored";
    EXPECT_EQ(readFile(data.file("color.ini")), "[BKlock]\r\n2=1\r\n3=True\r\n4=0\r\n[BKcolor]\r\n2=12345\r\n4=777\r\n");

    LocalSettings none = ws.settingsFor("alice");
    none.load();
    none.applyColourLocks(data.file("missing"));
    EXPECT_EQ(none.colours, LocalSettings::defaultColours());
}

TEST(SettingsSite, LabelsSwitchesAndEIChgWrittenBackUnchanged)
{
    Workstation ws;
    writeFile(ws.sys + "/qb3local.ini", "[Site]\nlabel2=Rang\nlabel7=Very urgent\nMsgColor=y\nEIChg=Y\n");
    LocalSettings s = ws.settingsFor("alice");
    s.loadSite();
    EXPECT_EQ(s.flagLabels[0], "");
    EXPECT_EQ(s.flagLabels[1], "Rang");
    EXPECT_EQ(s.flagLabels[6], "Very urgent");
    EXPECT_TRUE(s.msgColor);
    EXPECT_TRUE(s.eiChg);
    ASSERT_EQ(s.save(contextFor("Alice"), ws.clock, ws.log), 0);
    Profile p(s.path());
    EXPECT_EQ(p.readString("Site", "EIChg", ""), "Y");
    EXPECT_EQ(p.readString("Site", "label2", ""), "Rang");
    EXPECT_EQ(p.readString("Site", "MsgColor", ""), "y");

    Workstation bare;
    LocalSettings b = bare.settingsFor("alice");
    b.loadSite();
    EXPECT_FALSE(b.msgColor);
    EXPECT_FALSE(b.eiChg);
    ASSERT_EQ(b.save(contextFor("Alice"), bare.clock, bare.log), 0);
    EXPECT_FALSE(Profile(b.path()).value("Site", "EIChg")) << "never invented";
    writeFile(bare.sys + "/qb3local.ini", "[Site]\nMsgColor=yes\n");
    b.loadSite();
    EXPECT_FALSE(b.msgColor) << "only \"y\" switches it on";
}

struct GeometryCase {
    const char* name;
    WindowGeometry stored;
    WindowGeometry expected;
};

void PrintTo(const GeometryCase& c, std::ostream* os)
{
    *os << c.name;
}

class WindowPlacement : public ::testing::TestWithParam<GeometryCase> {};

TEST_P(WindowPlacement, ClampedToTheScreen)
{
    LocalSettings s("/nonexistent", "/nonexistent", "u");
    s.geometry = GetParam().stored;
    EXPECT_EQ(s.geometryFor(1024, 768), GetParam().expected);
}

// Screen 1024 x 768: top allowed 10 .. 678, left 10 .. 974.
INSTANTIATE_TEST_SUITE_P(Cases, WindowPlacement,
                         ::testing::Values(GeometryCase{"TopFive", {5, 100, 610, 150}, {20, 100, 610, 150}},
                                           GeometryCase{"TopNine", {9, 100, 610, 150}, {20, 100, 610, 150}},
                                           GeometryCase{"LowestAllowed", {10, 10, 610, 150}, {10, 10, 610, 150}},
                                           GeometryCase{"HighestAllowed", {678, 974, 610, 150}, {678, 974, 610, 150}},
                                           GeometryCase{"JustOffScreen", {679, 975, 610, 150}, {20, 20, 610, 150}},
                                           GeometryCase{"FarBelow", {2000, 100, 610, 150}, {20, 100, 610, 150}},
                                           GeometryCase{"LeftNegative", {100, -300, 610, 150}, {100, 20, 610, 150}},
                                           GeometryCase{"TooSmall", {100, 100, 3, 7}, {100, 100, 26, 50}}),
                         [](const ::testing::TestParamInfo<GeometryCase>& info) { return std::string(info.param.name); });

TEST(WindowPlacementOnLoad, TopFiveIsResetAfterLoad)
{
    Workstation ws;
    writeFile(ws.sys + "/qb3local.ini", "[Form]\ntop=5\nleft=300\n");
    LocalSettings s(ws.sys, ws.desk, "alice");
    s.load();
    EXPECT_EQ(s.geometryFor(1920, 1080).top, 20);
    EXPECT_EQ(s.geometryFor(1920, 1080).left, 300);
    EXPECT_EQ(s.geometryFor(320, 240).left, 20) << "left beyond a small screen";
}
