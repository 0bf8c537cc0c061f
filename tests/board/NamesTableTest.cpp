#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "board/NamesTable.h"
#include "board/RemarkActions.h"
#include "board/RemarkLog.h"
#include "core/Colors.h"
#include "engine/TTzDbf.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>
#include <functional>
#include <set>
#include <thread>

using namespace qb;
using qb::test::TempDir;

namespace {

// One simulated workstation: its own engine, event log, mirror directory.
struct TestStation {
    engine::Engine engine;
    platform::MemoryEventLog log;
    test::FakeClock clock;
    board::Station station;
    board::Board board;
    board::RemarkLog remarkLog;
    board::NamesTable names;

    TestStation(const std::string& dataDir, const std::string& startDir)
        : clock(platform::fromLocal(localNoon())), station(engine, clock, log, dataDir, startDir),
          remarkLog(station, board), names(station, board, remarkLog)
    {
        station.pause = [](std::chrono::milliseconds d) { std::this_thread::sleep_for(std::min(d, std::chrono::milliseconds(50))); };
    }
    static platform::LocalTime localNoon() { return qb::test::localTime(2026, 12, 8, 12); }
};

// Builds a names table with record 0 and the given people (empty name = deleted).
void makeNamesTable(const std::string& dir, const std::vector<std::string>& people, bool badIdent = false)
{
    engine::Engine e;
    engine::TTzDbf t("Make", e);
    t.DbfFields = board::NamesTable::fieldList();
    t.setDbfFileName(dir + "/qb3.dbf");
    ASSERT_TRUE(t.setActive(true));
    ASSERT_TRUE(t.ALock());
    for (std::size_t i = 0; i <= people.size(); ++i) {
        t.ClearRecord();
        t.SetLongField("ident", badIdent && i == 2 ? 77 : static_cast<std::int64_t>(i));
        t.setText("name", i == 0 ? "Admin" : people[i - 1]);
        t.setText("remark", i == 0 ? "Remark" : "In");
        t.setText("group", i == 0 ? "Group" : (i % 2 ? "Sales" : "Support"));
        t.Append();
    }
    t.Flush();
    t.UnLock();
    for (std::size_t i = 1; i <= people.size(); ++i) {
        if (!people[i - 1].empty())
            continue;
        t.Go(static_cast<std::int64_t>(i) + 1);
        ASSERT_TRUE(t.RLock());
        e.DeleteRec();
        ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
        t.UnLock();
    }
}

class NamesTableTest : public ::testing::Test {
protected:
    TempDir data, startA, startB;
};

} // namespace

TEST_F(NamesTableTest, OnlyTheAdministratorRecordGivesAnEmptyBoard)
{
    makeNamesTable(data.path(), {});
    TestStation s(data.path(), startA.path());
    ASSERT_TRUE(s.names.load(true));
    EXPECT_TRUE(s.board.loginNames.empty());
    EXPECT_TRUE(s.board.displayOrder.empty());
    EXPECT_EQ(s.board.rowCount(), 1);
    EXPECT_EQ(s.board.names[0], "Admin") << "record 0 holds the column titles";
}

TEST_F(NamesTableTest, DeletedRecordKeepsItsPositionAndShowsNowhere)
{
    makeNamesTable(data.path(), {"Ann", "", "Cleo"});
    TestStation s(data.path(), startA.path());
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.names[2], "__");
    EXPECT_EQ(s.board.names[3], "Cleo") << "later records keep their board index";
    EXPECT_EQ(s.board.displayOrder, (std::vector<int>{1, 3}));
    std::vector<std::pair<std::string, int>> expected = {{"Ann", 1}, {"Cleo", 3}};
    EXPECT_EQ(s.board.loginNames, expected);
}

TEST_F(NamesTableTest, IdentMismatchIsReportedAndReadByPosition)
{
    makeNamesTable(data.path(), {"Ann", "Ben"}, true);
    TestStation s(data.path(), startA.path());
    ASSERT_TRUE(s.names.load(true));
    EXPECT_TRUE(s.log.contains("Error DB index mis-match"));
    EXPECT_EQ(s.board.names[2], "Ben");
    EXPECT_EQ(s.board.loginNames[1], (std::pair<std::string, int>{"Ben", 2}));
}

TEST_F(NamesTableTest, LoginNamesAndGroupsAreSortedAndTheLastLoginNameIsChecked)
{
    makeNamesTable(data.path(), {"zoe", "Adam", "mia"});
    TestStation s(data.path(), startA.path());
    s.board.lastLoginName = "MIA";
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.loginNames.front().first, "Adam");
    EXPECT_EQ(s.board.groupList, (std::vector<std::string>{"Sales", "Support"}));
    EXPECT_EQ(s.board.lastLoginName, "MIA");
    s.board.lastLoginName = "Gone";
    ASSERT_TRUE(s.names.load(false));
    EXPECT_EQ(s.board.lastLoginName, "");
    EXPECT_EQ(s.board.pollCounter, -5);
}

TEST_F(NamesTableTest, StoredTimeEncoding)
{
    EXPECT_DOUBLE_EQ(engine::decodeStoredTime(0.0), 37200.0);
    makeNamesTable(data.path(), {"Ann"});
    TestStation s(data.path(), startA.path());
    s.board.ownIndex = 1;
    s.board.ownName = "Ann";
    s.clock.advance(std::chrono::minutes(17 * 60 + 43) - std::chrono::hours(12)); // 17:43... from noon
    ASSERT_EQ(s.names.writeOwnRemark("Out", 'r', true), board::WriteResult::Ok);
    ASSERT_TRUE(s.names.load(true));
    auto t = platform::fromDateTime(s.board.times[1]);
    double expected = platform::nowDateTime(s.clock);
    EXPECT_NEAR(s.board.times[1], expected, 60.0 / 86400.0) << "within a minute";
    EXPECT_EQ(t.day, 8);
}

TEST_F(NamesTableTest, WriteBeyondTheCountChangesNothing)
{
    makeNamesTable(data.path(), {"Ann"});
    std::string before = qb::test::readFile(data.file("qb3.dbf"));
    TestStation s(data.path(), startA.path());
    EXPECT_EQ(s.names.writeColumn(board::column::kRemark, "Out", true, {255, 0, 0}, 2),
              board::WriteResult::MissingRecord);
    EXPECT_EQ(s.names.writeColumn(board::column::kRemark, "Out", true, {255, 0, 0}, -1),
              board::WriteResult::MissingRecord);
    EXPECT_TRUE(s.log.contains("Error missing record from qb3.dbf on the server."));
    EXPECT_EQ(qb::test::readFile(data.file("qb3.dbf")), before);
    EXPECT_EQ(s.board.pollCounter, 0);
}

TEST_F(NamesTableTest, OnlyTheAdministratorWritesRecordZero)
{
    makeNamesTable(data.path(), {"Ann"});
    std::string before = qb::test::readFile(data.file("qb3.dbf"));
    TestStation s(data.path(), startA.path());
    s.board.ownIndex = 0; // even a station whose own index were 0 ...
    for (int sel = 1; sel <= 5; ++sel)
        EXPECT_EQ(s.names.writeColumn(sel, "Hacked", true, {}, 0), board::WriteResult::NotAllowed);
    EXPECT_EQ(s.names.writeOwnRemark("Hacked", 'r', true), board::WriteResult::NotAllowed);
    EXPECT_EQ(qb::test::readFile(data.file("qb3.dbf")), before);
    s.board.adminMode = true;
    EXPECT_EQ(s.names.writeColumn(board::column::kRemark, "Status", true, {}, 0), board::WriteResult::Ok);
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.remarks[0], "Status");
}

TEST_F(NamesTableTest, ColourColumnIsForTheAdministratorAndGetsAPlus)
{
    makeNamesTable(data.path(), {"Ann"});
    TestStation s(data.path(), startA.path());
    EXPECT_EQ(s.names.writeColumn(board::column::kColor, "ww", false, {}, 1), board::WriteResult::NotAllowed);
    s.board.adminMode = true;
    EXPECT_EQ(s.names.writeColumn(board::column::kColor, "ww", false, {}, 1), board::WriteResult::Ok);
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.colorTexts[1], "+ww");
}

TEST_F(NamesTableTest, RemarkWriteStoresPackedColourAndInUse)
{
    makeNamesTable(data.path(), {"Ann"});
    TestStation s(data.path(), startA.path());
    ASSERT_EQ(s.names.writeColumn(board::column::kRemark, "Außer Haus", false, {255, 128, 0}, 1),
              board::WriteResult::Ok);
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.remarks[1], "Außer Haus") << "OEM round trip";
    EXPECT_EQ(s.board.colorCodes[1], 60);
    EXPECT_EQ(board::colorOfCode(s.board.colorCodes[1]), (board::Rgb{252, 144, 0}));
    EXPECT_EQ(s.board.colorTexts[1], "#<");
    ASSERT_EQ(s.names.writeColumn(board::column::kRemark, "at lunch", false, {255, 255, 255}, 1),
              board::WriteResult::Ok);
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.colorCodes[1], 'w') << "white stays white, not packed cream";
    EXPECT_EQ(board::colorOfCode('a'), (board::Rgb{0, 255, 255}));
    EXPECT_EQ(board::packColor({0, 255, 255}), 0xC7);
}

TEST_F(NamesTableTest, OwnRemarkGoesToServerAndMirrorAndSetsStatus)
{
    makeNamesTable(data.path(), {"Ann", "Ben"});
    TestStation s(data.path(), startA.path());
    ASSERT_TRUE(s.names.load(true));
    s.board.ownIndex = 2;
    s.board.ownName = "Ben";
    s.board.ownStatus = board::remark::kIn;
    ASSERT_EQ(s.names.writeOwnRemark("Out", 'r', true), board::WriteResult::Ok);
    ASSERT_TRUE(s.names.load(false)); // the mirror alone already holds it
    EXPECT_EQ(s.board.remarks[2], "Out");
    EXPECT_EQ(s.board.ownStatus, board::remark::kOut);
    EXPECT_EQ(s.board.trayHint, "Out: Ben");
    EXPECT_EQ(s.board.colorCodes[2], 'r');
}

TEST_F(NamesTableTest, AnotherStationSeesTheChangeOnItsNextFreshLoad)
{
    makeNamesTable(data.path(), {"Ann", "Ben"});
    TestStation a(data.path(), startA.path());
    TestStation b(data.path(), startB.path());
    ASSERT_TRUE(b.names.load(true));
    EXPECT_EQ(b.board.remarks[1], "In");
    ASSERT_EQ(a.names.writeColumn(board::column::kMisc, "Room 4", false, {}, 1), board::WriteResult::Ok);
    ASSERT_TRUE(b.names.load(false));
    EXPECT_EQ(b.board.miscs[1], "") << "without a fresh copy the mirror is still the old one";
    ASSERT_TRUE(b.names.load(true));
    EXPECT_EQ(b.board.miscs[1], "Room 4");
}

TEST_F(NamesTableTest, CopyOfAShorterTableIsReportedAndLeavesNoOldRows)
{
    makeNamesTable(data.path(), {"Ann", "Ben", "Cleo"});
    TestStation s(data.path(), startA.path());
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.rowCount(), 4);
    platform::removeFile(data.file("qb3.dbf"));
    makeNamesTable(data.path(), {"Ann"});
    ASSERT_TRUE(s.names.load(true));
    EXPECT_TRUE(s.log.contains("Error  getting server data"));
    EXPECT_EQ(s.board.rowCount(), 2) << "the mirror was cut to the copied bytes";
}

TEST_F(NamesTableTest, MissingNamesTableIsReported)
{
    TestStation s(data.path(), startA.path());
    EXPECT_FALSE(s.names.load(true));
    EXPECT_TRUE(s.log.contains("Error reading " + data.file("qb3.dbf")));
    EXPECT_EQ(s.board.pollCounter, -9);
}

// A damaged shared table is never copied over a good mirror; the engine's own
// text says what is wrong, and a repaired table is taken again.
struct Damage {
    const char* what;
    std::function<void(const std::string& path)> apply;
};

class DamagedServerTable : public NamesTableTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedServerTable, NeverReplacesTheMirror)
{
    makeNamesTable(data.path(), {"Ann", "Ben"});
    const std::string good = qb::test::readFile(data.file("qb3.dbf"));
    TestStation s(data.path(), startA.path());
    ASSERT_TRUE(s.names.load(true));
    const std::string mirror = qb::test::readFile(s.station.mirrorPath());
    ASSERT_EQ(mirror, good);

    GetParam().apply(data.file("qb3.dbf"));
    TestStation next(data.path(), startA.path()); // a later start of the same station copies afresh
    EXPECT_TRUE(next.names.load(true));
    EXPECT_EQ(qb::test::readFile(next.station.mirrorPath()), mirror) << GetParam().what;
    EXPECT_EQ(next.names.serverState(), board::ServerState::Damaged);
    EXPECT_FALSE(next.names.serverError().empty());
    EXPECT_NE(next.names.damagedAlert()[1].find(next.names.serverError()), std::string::npos);
    EXPECT_NE(next.names.damagedAlert()[2].find("qbtool check"), std::string::npos);
    EXPECT_EQ(next.board.names[2], "Ben") << "the board shows the last good copy";
    EXPECT_FALSE(platform::fileExists(next.station.mirrorPath() + ".new"));

    qb::test::writeFile(data.file("qb3.dbf"), good);
    ASSERT_TRUE(next.names.load(true));
    EXPECT_EQ(next.names.serverState(), board::ServerState::Reachable);
    EXPECT_EQ(next.names.serverStateLine(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, DamagedServerTable,
    ::testing::Values(Damage {"truncated to 100 bytes",
                              [](const std::string& p) {
                                  qb::test::writeFile(p, qb::test::readFile(p).substr(0, 100));
                              }},
                      Damage {"first 32 bytes overwritten", [](const std::string& p) {
                                  std::string b = qb::test::readFile(p);
                                  b.replace(0, 32, std::string(32, 'x'));
                                  qb::test::writeFile(p, b);
                              }}));

// Two stations write different columns of one row at nearly the same time:
// the second station's lock request finds the record locked, the first
// finishes its change meanwhile, and the second must keep it.
struct Interleaved {
    const char* what;
    // The waiting station's write and the column it must leave alone.
    std::function<board::WriteResult(TestStation&)> write;
    const char* keptField;
};

class ColumnWriteUnderLock : public NamesTableTest, public ::testing::WithParamInterface<Interleaved> {};

TEST_P(ColumnWriteUnderLock, KeepsTheOtherStationsChange)
{
    makeNamesTable(data.path(), {"Ann", "Ben"});
    TestStation first(data.path(), startA.path());
    TestStation second(data.path(), startB.path());
    ASSERT_TRUE(second.names.load(true));
    second.board.ownIndex = 2;
    second.board.ownName = "Ben";
    second.board.adminMode = std::string(GetParam().what) == "change all";

    engine::TTzDbf row("First", first.engine);
    row.CreateIfNotFound = false;
    row.setDbfFileName(data.file("qb3.dbf"));
    ASSERT_TRUE(row.setActive(true));
    row.Go(3);
    ASSERT_TRUE(row.RLock()); // the first station is in the middle of its write
    int waits = 0;
    second.engine.lockFailedCallback = [&] {
        if (++waits > 1)
            return false;
        row.Go(3);
        row.setText(GetParam().keptField, "First station");
        row.Replace();
        row.Flush();
        row.UnLock();
        return true; // the second station asks again
    };
    EXPECT_EQ(GetParam().write(second), board::WriteResult::Ok);
    EXPECT_EQ(waits, 1);
    row.setActive(false);

    engine::TTzDbf check("Check", first.engine);
    check.CreateIfNotFound = false;
    check.setDbfFileName(data.file("qb3.dbf"));
    ASSERT_TRUE(check.setActive(true));
    check.Go(3);
    EXPECT_EQ(check.getText(GetParam().keptField), "First station") << GetParam().what;
    EXPECT_EQ(check.getText("name"), "Ben");
}

INSTANTIATE_TEST_SUITE_P(
    Writes, ColumnWriteUnderLock,
    ::testing::Values(Interleaved {"fourth column",
                                   [](TestStation& s) {
                                       return s.names.writeColumn(board::column::kMisc, "Room 9", true, {}, 2);
                                   },
                                   "remark"},
                      Interleaved {"remark",
                                   [](TestStation& s) {
                                       return s.names.writeColumn(board::column::kRemark, "at lunch", false,
                                                                  {255, 255, 255}, 2);
                                   },
                                   "misc"},
                      Interleaved {"own remark",
                                   [](TestStation& s) { return s.names.writeOwnRemark("Out", 'r', true); }, "misc"},
                      Interleaved {"change all",
                                   [](TestStation& s) {
                                       board::RemarkActions actions(s.station, s.board, s.names, s.remarkLog);
                                       return actions.changeAllRemarks(board::RemarkActions::ChangeAll::Out) == 2
                                                  ? board::WriteResult::Ok
                                                  : board::WriteResult::WriteFailed;
                                   },
                                   "misc"}));

// --- remark-change log ---------------------------------------------------------

TEST_F(NamesTableTest, LogIsWrittenOnlyWithOptionThirteen)
{
    makeNamesTable(data.path(), {"Ann"});
    TestStation s(data.path(), startA.path());
    s.board.options.set(admin::opt::kLogRemarks, false);
    ASSERT_EQ(s.names.writeColumn(board::column::kRemark, "Out", true, {}, 1), board::WriteResult::Ok);
    EXPECT_FALSE(platform::fileExists(data.file("LG122026.dbf")));

    s.board.options.set(admin::opt::kLogRemarks, true);
    s.board.ownIndex = 1;
    ASSERT_EQ(s.names.writeColumn(board::column::kRemark, std::string(45, 'x'), true, {}, 1),
              board::WriteResult::Ok);
    ASSERT_EQ(s.names.writeColumn(board::column::kMisc, "Desk 3", true, {}, 1), board::WriteResult::Ok);
    engine::TTzDbf log("LogRead", s.engine);
    log.CreateIfNotFound = false;
    log.setDbfFileName(data.file("LG122026.dbf"));
    ASSERT_TRUE(log.setActive(true));
    ASSERT_EQ(log.RecCount(), 2);
    log.GoTop();
    EXPECT_EQ(log.GetCField("ident"), "1   ");
    EXPECT_EQ(log.getText("name"), "Ann");
    EXPECT_EQ(log.getText("colname"), "Remark");
    EXPECT_EQ(log.getText("text"), std::string(40, 'x'));
    EXPECT_EQ(log.getText("time"), "12:00 pm 12/08/2026");
    log.Skip(1);
    EXPECT_EQ(log.getText("colname"), "Misc");
}

// On a share without hard links the month's log is still created.
TEST_F(NamesTableTest, LogIsCreatedOnAShareWithoutHardLinks)
{
    makeNamesTable(data.path(), {"Ann"});
    platform::refuseHardLinksForTests(true);
    TestStation s(data.path(), startA.path());
    s.board.options.set(admin::opt::kLogRemarks, true);
    const bool written = s.names.writeColumn(board::column::kRemark, "Out", true, {}, 1) == board::WriteResult::Ok;
    platform::refuseHardLinksForTests(false);
    ASSERT_TRUE(written);
    EXPECT_FALSE(s.log.contains("Error updating LG122026.dbf"));
    engine::TTzDbf log("LogRead", s.engine);
    log.CreateIfNotFound = false;
    log.setDbfFileName(data.file("LG122026.dbf"));
    ASSERT_TRUE(log.setActive(true));
    EXPECT_EQ(log.RecCount(), 1);
}

TEST_F(NamesTableTest, LogTimeFormats)
{
    platform::LocalTime t = qb::test::localTime(2026, 3, 5, 0, 7);
    EXPECT_EQ(board::RemarkLog::formatTime(t, false), "12:07 am 03/05/2026");
    EXPECT_EQ(board::RemarkLog::formatTime(t, true), "2026/03/05 00:07");
    t.hour = 13;
    EXPECT_EQ(board::RemarkLog::formatTime(t, false), "1:07 pm 03/05/2026");
}

// Appends one log entry per call from a separate process.
QB_CHILD_ROLE(logEntries)
{
    engine::Engine e;
    platform::MemoryEventLog log;
    board::Station st(e, platform::SystemClock::instance(), log, args[0], args[0]);
    board::Board b;
    b.options.set(admin::opt::kLogRemarks, true);
    board::RemarkLog remarkLog(st, b);
    int n = std::stoi(args[2]);
    for (int i = 0; i < n; ++i)
        if (!remarkLog.append("Remark", args[1] + std::to_string(i), args[1]))
            return 1;
    return 0;
}

TEST_F(NamesTableTest, TwoStationsLoggingAtOnceBothEndUpInTheLog)
{
    int a = qb::test::startChild("logEntries", {data.path(), "A", "200"});
    int b = qb::test::startChild("logEntries", {data.path(), "B", "200"});
    EXPECT_EQ(qb::test::waitChild(a), 0);
    EXPECT_EQ(qb::test::waitChild(b), 0);
    engine::Engine e;
    platform::MemoryEventLog log;
    board::Station st(e, platform::SystemClock::instance(), log, data.path(), data.path());
    board::Board board;
    board::RemarkLog probe(st, board);
    engine::TTzDbf t("LogRead", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(data.file(probe.fileName()));
    ASSERT_TRUE(t.setActive(true));
    EXPECT_EQ(t.RecCount(), 400);
    std::set<std::string> texts;
    for (t.GoTop(); !t.dEOF(); t.Skip(1))
        texts.insert(t.getText("text"));
    EXPECT_EQ(texts.size(), 400u);
}

// --- configuration table -----------------------------------------------------------

class ConfigTableTest : public ::testing::Test {
protected:
    TempDir data;
    engine::Engine engine;
    test::FakeClock clock;
    void SetUp() override
    {
        engine::TTzDbf t("Make", engine);
        t.DbfFields = admin::ConfigTable::fieldList();
        t.setDbfFileName(data.file("qb3cfg3.dbf"));
        ASSERT_TRUE(t.createFromFields());
    }
};

TEST_F(ConfigTableTest, FirstLoadCreatesTheRecordFromMemory)
{
    admin::ConfigTable cfg(engine, clock, data.path());
    admin::Options o;
    o.set(admin::opt::kLogRemarks, true);
    ASSERT_TRUE(cfg.load(5, o, false, 5));
    EXPECT_EQ(o.refreshTicks, 120);
    EXPECT_EQ(o.messageTicks, 180);
    EXPECT_TRUE(o[admin::opt::kLogRemarks]);
    engine::TTzDbf t("Check", engine);
    t.setDbfFileName(data.file("qb3cfg3.dbf"));
    ASSERT_TRUE(t.setActive(true));
    ASSERT_EQ(t.RecCount(), 1);
    EXPECT_EQ(t.GetLongField("ident"), 5);
    EXPECT_TRUE(t.GetLField("value13"));
    EXPECT_TRUE(t.GetLField("usercan1")) << "factory right";
    EXPECT_FALSE(t.GetLField("usercan8"));
    EXPECT_EQ(t.GetLongField("refresh"), 120);
}

TEST_F(ConfigTableTest, StoredIntervalsBelowOneLoadAsDefaults)
{
    admin::ConfigTable cfg(engine, clock, data.path());
    admin::Options o;
    o.refreshTicks = 0;
    o.messageTicks = -3;
    ASSERT_EQ(cfg.save(2, o, true), engine::CommitResult::Ok);
    admin::Options loaded;
    ASSERT_TRUE(cfg.load(2, loaded, false, 2));
    EXPECT_EQ(loaded.refreshTicks, 120);
    EXPECT_EQ(loaded.messageTicks, 180);
    o.refreshTicks = 8;
    ASSERT_EQ(cfg.save(2, o, false), engine::CommitResult::Ok);
    ASSERT_TRUE(cfg.load(2, loaded, false, 2));
    EXPECT_EQ(loaded.refreshTicks, 8);
}

TEST_F(ConfigTableTest, SavingTheCurrentRecordAddsNoSecond)
{
    admin::ConfigTable cfg(engine, clock, data.path());
    admin::Options o;
    ASSERT_EQ(cfg.save(3, o, true), engine::CommitResult::Ok);
    ASSERT_EQ(cfg.save(4, o, true), engine::CommitResult::Ok);
    o.set(admin::opt::kConfirmExit, false);
    ASSERT_EQ(cfg.save(4, o, true), engine::CommitResult::Ok);
    ASSERT_EQ(cfg.save(3, o, true), engine::CommitResult::Ok);
    engine::TTzDbf t("Check", engine);
    t.setDbfFileName(data.file("qb3cfg3.dbf"));
    ASSERT_TRUE(t.setActive(true));
    EXPECT_EQ(t.RecCount(), 2);
}

TEST_F(ConfigTableTest, RightsAreReadOnlyForTheLoggedInAdministrator)
{
    admin::ConfigTable cfg(engine, clock, data.path());
    admin::Options stored;
    stored.right[1] = false;
    ASSERT_EQ(cfg.save(0, stored, true), engine::CommitResult::Ok);
    admin::Options person;
    ASSERT_TRUE(cfg.load(0, person, false, 0));
    EXPECT_TRUE(person.right[1]);
    admin::MenuEffects fx;
    ASSERT_TRUE(cfg.load(0, person, true, 0, &fx));
    EXPECT_FALSE(person.right[1]);
    EXPECT_TRUE(person[admin::opt::kShowTime]) << "always on for the administrator";
    EXPECT_TRUE(fx.messageItemsVisible);
}

TEST_F(ConfigTableTest, MessageItemsHideWithOptionTenForPersons)
{
    admin::ConfigTable cfg(engine, clock, data.path());
    admin::Options o;
    o.set(admin::opt::kDisableMessages, true);
    o.set(admin::opt::kRefreshItem, true);
    ASSERT_EQ(cfg.save(6, o, true), engine::CommitResult::Ok);
    admin::MenuEffects fx;
    ASSERT_TRUE(cfg.load(6, o, false, 6, &fx));
    EXPECT_FALSE(fx.messageItemsVisible);
    EXPECT_TRUE(fx.refreshItemVisible);
}

TEST_F(ConfigTableTest, OptionCountFollowsTheFieldCount)
{
    EXPECT_EQ(admin::ConfigTable::optionCountFor(53), 23);
    EXPECT_EQ(admin::ConfigTable::optionCountFor(41), 19);
}

TEST_F(ConfigTableTest, MissingTableKeepsValuesAndDefaultsTheIntervals)
{
    admin::ConfigTable cfg(engine, clock, data.path() + "/nowhere");
    admin::Options o;
    o.refreshTicks = 8;
    o.set(admin::opt::kLogRemarks, true);
    EXPECT_FALSE(cfg.load(1, o, false, 1));
    EXPECT_EQ(o.refreshTicks, 120);
    EXPECT_TRUE(o[admin::opt::kLogRemarks]);
}

TEST(OptionsText, ShortStringsFallBackToTheFactoryValues)
{
    admin::Options o;
    o.setFromText("tt", "ffff");
    EXPECT_EQ(o.valuesText(), admin::kFactoryValues);
    EXPECT_EQ(o.rightsText(), admin::kFactoryRights);
    o.setFromText(std::string(23, 't'), std::string(23, 'f'));
    EXPECT_TRUE(o[23]);
    EXPECT_FALSE(o.right[1]);
}

// --- adding names --------------------------------------------------------------

QB_CHILD_ROLE(addNames)
{
    engine::Engine e;
    platform::MemoryEventLog log;
    board::Station st(e, platform::SystemClock::instance(), log, args[0], args[0]);
    for (int i = 0; i < std::stoi(args[2]); ++i)
        if (admin::addName(st, args[1] + std::to_string(i), "G", nullptr) != admin::AddNameResult::Ok)
            return 1;
    return 0;
}

TEST_F(NamesTableTest, TwoStationsAddingAtOnceNeverShareAnIdent)
{
    makeNamesTable(data.path(), {"Ann", "", "Cleo", ""});
    int a = qb::test::startChild("addNames", {data.path(), "A", "30"});
    int b = qb::test::startChild("addNames", {data.path(), "B", "30"});
    EXPECT_EQ(qb::test::waitChild(a), 0);
    EXPECT_EQ(qb::test::waitChild(b), 0);
    engine::Engine e;
    engine::TTzDbf t("Check", e);
    t.setDbfFileName(data.file("qb3.dbf"));
    ASSERT_TRUE(t.setActive(true));
    EXPECT_EQ(t.RecCount(), 5 + 60 - 2) << "both deleted positions were reused";
    std::set<std::string> names;
    for (std::int64_t r = 1; r <= t.RecCount(); ++r) {
        t.Go(r);
        EXPECT_FALSE(t.Deleted());
        EXPECT_EQ(t.GetLongField("ident"), r - 1) << "record " << r;
        names.insert(t.getText("name"));
    }
    EXPECT_EQ(names.size(), static_cast<std::size_t>(t.RecCount()));
}

TEST_F(NamesTableTest, AddedNameGetsItsDefaultsAndAnEmptyMailbox)
{
    makeNamesTable(data.path(), {"Ann", ""});
    qb::test::writeFile(data.file("msg2.dbf"), "old mailbox");
    TestStation s(data.path(), startA.path());
    admin::AddedName added;
    ASSERT_EQ(admin::addName(s.station, "Dora", "R&D", &added), admin::AddNameResult::Ok);
    EXPECT_EQ(added.boardIndex, 2);
    EXPECT_TRUE(added.reused);
    EXPECT_FALSE(platform::fileExists(data.file("msg2.dbf")));
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.names[2], "Dora");
    EXPECT_EQ(s.board.groups[2], "R+D");
    EXPECT_EQ(s.board.remarks[2], "Please change your password!");
    EXPECT_EQ(s.board.colorCodes[2], 119);
    ASSERT_EQ(admin::addName(s.station, "Eve", "", &added), admin::AddNameResult::Ok);
    EXPECT_EQ(added.boardIndex, 3);
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.groups[3], "?");
    EXPECT_EQ(admin::addName(s.station, "", "", &added), admin::AddNameResult::EmptyName);
    ASSERT_TRUE(admin::removeName(s.station, 1));
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.names[1], "__");
}
