#include "board/ActivityWatcher.h"
#include "board/NamesTable.h"
#include "board/PollTimer.h"
#include "board/RemarkActions.h"
#include "engine/TTzDbf.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace qb;
using namespace std::chrono_literals;
using qb::test::TempDir;

namespace {

platform::LocalTime at(int hour, int minute, int second = 0, int day = 8)
{
    return qb::test::localTime(2026, 12, day, hour, minute, second);
}

void makeNames(const std::string& dir, const std::vector<std::pair<std::string, std::string>>& people)
{
    engine::Engine e;
    engine::TTzDbf t("Make", e);
    t.DbfFields = board::NamesTable::fieldList();
    t.setDbfFileName(dir + "/qb3.dbf");
    ASSERT_TRUE(t.setActive(true));
    ASSERT_TRUE(t.ALock());
    for (std::size_t i = 0; i <= people.size(); ++i) {
        t.ClearRecord();
        t.SetLongField("ident", static_cast<std::int64_t>(i));
        t.setText("name", i == 0 ? "Admin" : people[i - 1].first);
        t.setText("remark", i == 0 ? "Remark" : people[i - 1].second);
        t.setText("group", i % 2 ? "Sales" : "Support");
        t.SetLField("inuse", true);
        t.Append();
    }
    t.Flush();
    t.UnLock();
}

struct Station {
    engine::Engine engine;
    platform::MemoryEventLog log;
    test::FakeClock clock;
    board::Station station;
    board::Board board;
    board::RemarkLog remarkLog;
    board::NamesTable names;
    board::RemarkActions actions;
    Station(const std::string& data, const std::string& start, platform::LocalTime now = at(10, 0))
        : clock(platform::fromLocal(now)), station(engine, clock, log, data, start), remarkLog(station, board),
          names(station, board, remarkLog), actions(station, board, names, remarkLog)
    {
        station.pause = [](std::chrono::milliseconds) {};
    }
    void loginAs(int index)
    {
        ASSERT_TRUE(names.load(true));
        board.ownIndex = index;
        board.ownName = board.names[static_cast<std::size_t>(index)];
        board.ownStatus = board::remark::kIn;
    }
};

class Timers : public ::testing::Test {
protected:
    TempDir data, startA, startB;
    void SetUp() override { makeNames(data.path(), {{"Ann", "In"}, {"Ben", "In"}, {"Cleo", "Out"}, {"Dan", "at lunch"}}); }
};

} // namespace

TEST_F(Timers, OvernightStepRunsOncePerNightAtThreeOClockPlusTenSecondsPerIndex)
{
    Station s(data.path(), startA.path(), at(2, 59, 0));
    s.loginAs(2);
    int outs = 0, reloads = 0;
    board::PollTimer timer(s.station, s.board, s.names, s.remarkLog,
                           {[&] { ++outs; }, [&] { ++reloads; }, nullptr, nullptr, nullptr});
    s.board.options.set(admin::opt::kActivityInOut, true);
    EXPECT_EQ(timer.overnightSecond(), 3 * 3600 + 20);
    timer.tick(true);
    s.clock.set(platform::fromLocal(at(3, 0, 19)));
    timer.tick(true);
    EXPECT_EQ(outs, 0) << "not before 03:00:20";
    s.clock.set(platform::fromLocal(at(3, 0, 20)));
    timer.tick(true);
    EXPECT_EQ(outs, 1);
    EXPECT_EQ(reloads, 1);
    EXPECT_EQ(timer.lastSeen(), board::PollTimer::kForceReload);
    for (int i = 0; i < 100; ++i) {
        s.clock.advance(500ms);
        timer.tick(true);
    }
    s.clock.set(platform::fromLocal(at(12, 0)));
    timer.tick(true);
    EXPECT_EQ(outs, 1) << "once per night";
    s.clock.set(platform::fromLocal(at(1, 0, 0, 9)));
    timer.tick(true);
    s.clock.set(platform::fromLocal(at(3, 0, 25, 9)));
    timer.tick(true);
    EXPECT_EQ(outs, 2) << "and again the next night";
}

TEST_F(Timers, OvernightWithoutActivityOptionLogsAndSkipsPeopleWhoAreOut)
{
    Station s(data.path(), startA.path(), at(2, 0));
    s.loginAs(1);
    s.board.options.set(admin::opt::kLogRemarks, true);
    int outs = 0;
    board::PollTimer timer(s.station, s.board, s.names, s.remarkLog, {[&] { ++outs; }, nullptr, nullptr, nullptr, nullptr});
    timer.tick(true);
    s.clock.set(platform::fromLocal(at(3, 0, 10)));
    timer.tick(true);
    EXPECT_EQ(outs, 0);
    engine::TTzDbf log("Log", s.engine);
    log.CreateIfNotFound = false;
    log.setDbfFileName(data.file("LG122026.dbf"));
    ASSERT_TRUE(log.setActive(true));
    ASSERT_EQ(log.RecCount(), 1);
    EXPECT_EQ(log.getText("colname"), "Alert");
    EXPECT_EQ(log.getText("text"), "On over night");
    log.setActive(false);

    s.board.ownStatus = board::remark::kOut;
    s.clock.set(platform::fromLocal(at(2, 0, 0, 9)));
    timer.tick(true);
    s.clock.set(platform::fromLocal(at(3, 0, 10, 9)));
    timer.tick(true);
    ASSERT_TRUE(log.setActive(true));
    EXPECT_EQ(log.RecCount(), 1) << "a person who is out is left alone";
}

TEST_F(Timers, NamesPollReloadsOnlyWhenTheSharedFileChanged)
{
    Station a(data.path(), startA.path());
    Station b(data.path(), startB.path());
    b.loginAs(2);
    b.board.options.refreshTicks = 8; // "4 seconds"
    board::PollTimer timer(b.station, b.board, b.names, b.remarkLog, {});
    timer.resetStamps();
    b.board.pollCounter = 0;
    for (int i = 0; i < 30; ++i)
        timer.tick(true);
    EXPECT_EQ(timer.reloads(), 0);

    // Another station writes; file times have nanosecond resolution here.
    ASSERT_EQ(a.names.writeColumn(board::column::kMisc, "Room 7", true, {}, 1), board::WriteResult::Ok);
    int ticks = 0;
    while (timer.reloads() == 0 && ticks < 100) {
        timer.tick(true);
        ++ticks;
    }
    EXPECT_EQ(timer.reloads(), 1);
    EXPECT_LE(ticks, 8 + 1) << "within one poll interval plus one tick";
    EXPECT_EQ(b.board.miscs[1], "Room 7");
}

TEST_F(Timers, PollIsHeldOffWhileParkedAndReportsAMissingTable)
{
    Station b(data.path(), startB.path());
    b.loginAs(2);
    b.board.options.refreshTicks = 8;
    board::PollTimer timer(b.station, b.board, b.names, b.remarkLog, {});
    timer.resetStamps();
    b.board.pollCounter = board::kPollParked;
    for (int i = 0; i < 50; ++i)
        timer.tick(true);
    EXPECT_LT(b.board.pollCounter, 0);
    b.board.pollCounter = 0;
    platform::removeFile(data.file("qb3.dbf"));
    for (int i = 0; i < 10; ++i)
        timer.tick(true);
    EXPECT_TRUE(b.log.contains("Failed to access qb3.dbf on server"));
    EXPECT_EQ(timer.reloads(), 0);
    timer.tick(false);
}

TEST_F(Timers, ForcedReloadHappensAtTheNextPoll)
{
    Station b(data.path(), startB.path());
    b.loginAs(2);
    b.board.options.refreshTicks = 8;
    board::PollTimer timer(b.station, b.board, b.names, b.remarkLog, {});
    timer.resetStamps();
    b.board.pollCounter = 0;
    timer.forceReload();
    for (int i = 0; i < 10; ++i)
        timer.tick(true);
    EXPECT_EQ(timer.reloads(), 1);
}

// --- activity ---------------------------------------------------------------------

struct ActivityCounters {
    int in = 0, none = 0, out = 0;
};

class Activity : public ::testing::Test {
protected:
    test::FakeClock clock {platform::fromLocal(at(9, 0))};
    board::Board board;
    ActivityCounters counters;
    board::ActivityWatcher::Point cursor;
    std::map<std::string, std::string> idle;
    board::ActivityWatcher watcher {clock, board, hooks()};

    board::ActivityWatcher::Hooks hooks()
    {
        board::ActivityWatcher::Hooks h;
        h.cursor = [this] { return cursor; };
        h.setIn = [this] { ++counters.in; };
        h.markNoActivity = [this] { ++counters.none; };
        h.setOut = [this] { ++counters.out; };
        h.eraseIdleSection = [this] { idle.clear(); };
        h.writeIdle = [this](const std::string& k, const std::string& v) { idle[k] = v; };
        return h;
    }
    void SetUp() override
    {
        board.options.set(admin::opt::kActivityInOut, true);
        board.names = {"Admin", "Ann"};
        board.remarks = {"Remark", "In"};
        board.ownIndex = 1;
        board.ownStatus = board::remark::kIn;
    }
};

TEST_F(Activity, SmallMovementsAreNoActivityAndLongIdleSetsOut)
{
    watcher.tick();
    EXPECT_EQ(idle["started"], " Tuesday, December 8, 2026, 09:00:00");
    for (int i = 0; i < 600; ++i) { // 10 hours in minute steps, jiggling by 6 px
        clock.advance(60s);
        cursor.x = (i % 2) * 6;
        cursor.y = (i % 2) * 6;
        watcher.tick();
    }
    EXPECT_EQ(counters.out, 1);
    EXPECT_EQ(board.ownStatus, board::remark::kOut);
    EXPECT_EQ(idle["0"].rfind("To No activity after idling for 481 min. on Tuesday", 0), 0u) << idle["0"];
    EXPECT_EQ(idle["1"].rfind("To Out after idling for 481 min. on Tuesday", 0), 0u) << idle["1"];
    cursor.x = 40;
    clock.advance(1s);
    watcher.tick();
    EXPECT_EQ(counters.in, 1) << "a real movement brings the person back";
    EXPECT_EQ(board.ownStatus, board::remark::kIn);
}

TEST_F(Activity, OptionSeventeenOffDoesNothing)
{
    board.options.set(admin::opt::kActivityInOut, false);
    for (int i = 0; i < 100; ++i) {
        clock.advance(600s);
        watcher.tick();
    }
    EXPECT_EQ(counters.out + counters.in + counters.none, 0);
    EXPECT_TRUE(idle.empty());
}

TEST_F(Activity, IdleNoteFormats)
{
    EXPECT_EQ(board::ActivityWatcher::idleNote("In", 45, at(9, 5, 7)),
              "To In after idling for 45 sec. on Tuesday, December 8, 2026, 09:05:07");
    EXPECT_EQ(board::ActivityWatcher::idleNote("Out", 125, at(9, 5, 7)).substr(0, 30), "To Out after idling for 2 min.");
}

// --- remark actions --------------------------------------------------------------------

TEST_F(Timers, WithoutOptionOneOnlyTheOwnRowChanges)
{
    Station s(data.path(), startA.path());
    s.loginAs(2);
    s.board.options.set(admin::opt::kChangeOthers, false);
    EXPECT_FALSE(s.actions.mayChangeRow(1));
    EXPECT_TRUE(s.actions.mayChangeRow(2));
    EXPECT_EQ(s.actions.applyFourthColumn(1, "x"), board::WriteResult::NotAllowed);
    EXPECT_EQ(s.actions.applyPickedRemark(1, {"Out", {255, 0, 0}, true, 3}), board::WriteResult::NotAllowed);
    EXPECT_EQ(s.actions.applyFourthColumn(2, "  Desk 9  "), board::WriteResult::Ok);
    ASSERT_TRUE(s.names.load(true));
    EXPECT_EQ(s.board.miscs[2], "Desk 9");
    s.board.options.set(admin::opt::kChangeOthers, true);
    EXPECT_TRUE(s.actions.mayChangeRow(1));
    EXPECT_FALSE(s.actions.mustConfirmOtherRow(1));
    s.board.options.set(admin::opt::kWarnOthers, true);
    EXPECT_TRUE(s.actions.mustConfirmOtherRow(1));
    EXPECT_FALSE(s.actions.mustConfirmOtherRow(2));
    s.board.options.set(admin::opt::kLockFourthColumn, true);
    EXPECT_FALSE(s.actions.mayEditFourthColumn(2));
    s.board.adminMode = true;
    EXPECT_TRUE(s.actions.mayEditFourthColumn(1));
    EXPECT_FALSE(s.actions.mustConfirmOtherRow(1));
}

TEST_F(Timers, PickedRemarkOnTheOwnRowKeepsTheStatusInStep)
{
    Station s(data.path(), startA.path());
    s.loginAs(2);
    ASSERT_EQ(s.actions.applyPickedRemark(2, {"at lunch", {255, 255, 255}, false, 5}), board::WriteResult::Ok);
    EXPECT_EQ(s.board.ownStatus, 5);
    EXPECT_EQ(s.board.trayHint, "at lunch: Ben");
}

TEST_F(Timers, InAndOutWriteTheOwnRowEverywhere)
{
    Station a(data.path(), startA.path());
    a.loginAs(1);
    a.board.options.set(admin::opt::kActivityInOut, true);
    ASSERT_EQ(a.actions.setOut(), board::WriteResult::Ok);
    EXPECT_EQ(a.board.ownStatus, board::remark::kOut);
    EXPECT_EQ(a.actions.activityIntervalMs, 300000);
    EXPECT_EQ(a.board.remarks[1], "Out") << "reloaded";
    EXPECT_EQ(a.board.colorCodes[1], 'r');
    Station b(data.path(), startB.path());
    ASSERT_TRUE(b.names.load(true));
    EXPECT_EQ(b.board.remarks[1], "Out");
    ASSERT_EQ(a.actions.setIn(), board::WriteResult::Ok);
    EXPECT_EQ(a.actions.activityIntervalMs, 1000);
    EXPECT_EQ(a.board.trayHint, "In: Ann");
    a.board.adminMode = true;
    EXPECT_EQ(a.actions.setIn(), board::WriteResult::NotAllowed);
}

TEST_F(Timers, ChangeInToOutLeavesOutAndCustomRemarksAlone)
{
    platform::removeFile(data.file("qb3.dbf"));
    makeNames(data.path(), {{"Ann", "In"}, {"Ben", "in but unavailable"}, {"Cleo", "Out"}, {"Dan", "in the office"},
                            {"Eve", "at lunch"}, {"Finn", "IN"}});
    Station s(data.path(), startA.path());
    s.board.adminMode = true;
    s.board.ownIndex = 0;
    EXPECT_EQ(s.actions.changeAllRemarks(board::RemarkActions::ChangeAll::InToOut), 3);
    std::vector<std::string> expected = {"Remark", "Out", "Out", "Out", "in the office", "at lunch", "Out"};
    EXPECT_EQ(s.board.remarks, expected);
    EXPECT_EQ(s.board.colorCodes[2], 'r');
    EXPECT_EQ(s.actions.changeAllRemarks(board::RemarkActions::ChangeAll::Custom, "Holiday"), 6);
    EXPECT_EQ(s.board.remarks[4], "Holiday");
    EXPECT_EQ(s.board.remarks[0], "Remark") << "record 0 is never changed";
    s.board.adminMode = false;
    EXPECT_EQ(s.actions.changeAllRemarks(board::RemarkActions::ChangeAll::In), 0);
}

TEST_F(Timers, OwnNameItemTogglesBetweenOwnRowAndOwnGroup)
{
    Station s(data.path(), startA.path());
    s.loginAs(2);
    std::string filter;
    s.actions.toggleOwnFilter(filter);
    EXPECT_EQ(filter, "~~");
    s.actions.toggleOwnFilter(filter);
    EXPECT_EQ(filter, "Support");
}
