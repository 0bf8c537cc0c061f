// Week keys, the copy/paste text of a week, and the planner table shared by
// several stations (one engine each, real files and byte locks).
#include "engine/TTzDbf.h"
#include "planner/PersonalTables.h"
#include "planner/WeekPlanner.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace qb::planner;
using qb::engine::Engine;

namespace {

struct WeekCase {
    int y, m, d;
    int step; // -1 prior, 0 this, +1 next
    std::int64_t key;
    const char* label;
};

class WeekKeys : public testing::TestWithParam<WeekCase> {};

// Serials are fixed points of the calendar: 45291 is Sunday 31 December 2023.
const WeekCase kWeeks[] = {
    {2023, 12, 31, 0, 45291, "Week 1/1/2024 to 1/5/2024"},
    {2023, 12, 31, -1, 45284, "Week 12/25/2023 to 12/29/2023"},
    {2024, 1, 1, 0, 45291, "Week 1/1/2024 to 1/5/2024"},
    {2024, 1, 3, 0, 45291, "Week 1/1/2024 to 1/5/2024"},
    {2024, 1, 6, 0, 45291, "Week 1/1/2024 to 1/5/2024"}, // Saturday
    {2024, 1, 6, 1, 45298, "Week 1/8/2024 to 1/12/2024"},
    {2024, 2, 29, -1, 45340, "Week 2/19/2024 to 2/23/2024"},
    {1899, 12, 31, 0, 1, "Week 1/1/1900 to 1/5/1900"},
};

TEST_P(WeekKeys, KeyIsTheSundayAndLabelMondayToFriday)
{
    const WeekCase& c = GetParam();
    qb::test::FakeClock clock;
    Engine engine;
    WeekPlan plan(engine, "/nonexistent", clock);
    plan.setWeek(qb::platform::daySerial(c.y, c.m, c.d));
    plan.load(); // reduces the week to its key, whether or not the table opens
    if (c.step < 0)
        plan.prior();
    if (c.step > 0)
        plan.next();
    plan.load();
    EXPECT_EQ(plan.key(), c.key);
    EXPECT_EQ(dayOfWeek(plan.key()), 1);
    EXPECT_EQ(weekLabel(plan.key(), numericDate), c.label);
}

INSTANTIATE_TEST_SUITE_P(Planner, WeekKeys, testing::ValuesIn(kWeeks));

struct PasteCase {
    const char* name;
    std::string text;
    std::vector<PastedCell> cells;
};

class PasteRules : public testing::TestWithParam<PasteCase> {};

std::vector<PastedCell> everyCellEmpty()
{
    std::vector<PastedCell> cells;
    for (int r = 1; r <= 5; ++r)
        cells.insert(cells.end(), {{1, r, ""}, {2, r, ""}});
    return cells;
}

const PasteCase kPastes[] = {
    {"TabCrLf", "x\ty\r\n", {{1, 1, "x"}, {2, 1, "y"}}},
    {"NoCrChangesNothing", "x\ty\n", {}},
    {"TextAfterLastCrIgnored", "a\r\nb\tc", {{1, 1, "a"}}},
    {"CrWithoutLf", "a\rb\r", {{1, 1, "a"}, {1, 2, "b"}}},
    {"ThirdPieceDropped", "a\tb\tc\td\r\n", {{1, 1, "a"}, {2, 1, "b"}}},
    {"OwnCopyOfAnEmptyWeek", "\t\t\r\n\t\t\r\n\t\t\r\n\t\t\r\n\t\t\r\n", everyCellEmpty()},
    {"SixthLineDropped", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n", {{1, 1, "1"}, {1, 2, "2"}, {1, 3, "3"}, {1, 4, "4"}, {1, 5, "5"}}},
    {"EmptyLinesStillCountRows", "\r\n\r\nw\tz\r\n", {{1, 1, ""}, {1, 2, ""}, {1, 3, "w"}, {2, 3, "z"}}},
};

TEST_P(PasteRules, FillsCellsFromMondayAm)
{
    const PasteCase& c = GetParam();
    const std::vector<PastedCell> got = parseWeekPaste(c.text);
    ASSERT_EQ(got.size(), c.cells.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].column, c.cells[i].column) << i;
        EXPECT_EQ(got[i].row, c.cells[i].row) << i;
        EXPECT_EQ(got[i].text, c.cells[i].text) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Planner, PasteRules, testing::ValuesIn(kPastes),
                         [](const testing::TestParamInfo<PasteCase>& i) { return std::string(i.param.name); });

// ---- the shared table -----------------------------------------------------------

struct NoPause {
    int* count;
    void operator()(std::chrono::milliseconds) const { ++*count; }
};

class PlannerStations : public testing::Test {
protected:
    qb::test::TempDir dir;
    qb::test::FakeClock clock{qb::platform::fromLocal({2024, 1, 3, 9, 0, 0, 0, 0})};
    Engine a, b;
    int pauses = 0;
    WeekPlan station(Engine& e, int owner = 7)
    {
        WeekPlan p(e, dir.path(), clock, NoPause{&pauses});
        p.setOwner(owner, true);
        return p;
    }
};

TEST_F(PlannerStations, CopyOfAWeekPastedIntoAnotherReproducesAllTenCells)
{
    WeekPlan one = station(a);
    one.load();
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 2; ++c)
            EXPECT_EQ(one.saveCell(c, r, "  cell " + std::to_string(r) + std::to_string(c) + " "), SaveResult::Saved);
    WeekCells shown = one.load().cells;
    EXPECT_EQ(shown[cellIndex(2, 4)], "cell 42");
    const std::string copy = copyWeekText(shown);
    one.next();
    one.load();
    one.pasteWeek(copy);
    WeekPlan other = station(b);
    other.setWeek(one.key());
    EXPECT_EQ(other.load().cells, shown);
    // The file holds one record per week that was written.
    qb::engine::TTzDbf t("check", b);
    t.setDbfFileName(dir.file("s/sh007.dbf"));
    ASSERT_TRUE(t.setActive(true));
    EXPECT_EQ(t.RecCount(), 2);
}

TEST_F(PlannerStations, TextIsTrimmedAndCutToEightyCharacters)
{
    WeekPlan one = station(a);
    one.load();
    one.saveCell(1, 1, "a");
    EXPECT_EQ(station(b).load().cells[0], "a");
    one.saveCell(1, 1, "ab");
    EXPECT_EQ(station(b).load().cells[0], "ab");
    one.saveCell(2, 5, std::string(100, 'z') + "\r\n");
    EXPECT_EQ(station(b).load().cells[cellIndex(2, 5)], std::string(80, 'z'));
}

TEST_F(PlannerStations, RecordLockedElsewhereKeepsTheCellWaitingUntilItIsFree)
{
    WeekPlan one = station(a);
    one.load();
    ASSERT_EQ(one.saveCell(1, 1, "first"), SaveResult::Saved);
    const std::string before = qb::test::readFile(dir.file("s/sh007.dbf"));

    qb::engine::TTzDbf holder("holder", b);
    holder.setDbfFileName(dir.file("s/sh007.dbf"));
    ASSERT_TRUE(holder.setActive(true));
    holder.GoTop();
    ASSERT_TRUE(holder.RLock());

    pauses = 0;
    EXPECT_EQ(one.saveCell(2, 1, "second"), SaveResult::Locked);
    EXPECT_EQ(pauses, PlannerTable::kLockAttempts - 1);
    EXPECT_EQ(one.waitingCells(), (std::set<std::pair<int, int>>{{2, 1}}));
    EXPECT_EQ(qb::test::readFile(dir.file("s/sh007.dbf")), before);
    EXPECT_NE(one.waitingText().find("locked"), std::string::npos);
    EXPECT_EQ(one.load().cells[cellIndex(2, 1)], "second"); // still shown as typed

    // Keystrokes right after a failed save try once, so typing does not stall;
    // a moment later the retries are back.
    pauses = 0;
    EXPECT_EQ(one.saveCell(2, 1, "second"), SaveResult::Locked);
    EXPECT_EQ(pauses, 0);
    clock.advance(std::chrono::seconds(3));
    EXPECT_EQ(one.saveCell(2, 1, "second"), SaveResult::Locked);
    EXPECT_EQ(pauses, PlannerTable::kLockAttempts - 1);

    holder.UnLock();
    EXPECT_EQ(one.saveCell(1, 2, "third"), SaveResult::Saved);
    EXPECT_FALSE(one.hasWaiting());
    WeekCells seen = station(b).load().cells;
    EXPECT_EQ(seen[cellIndex(1, 1)], "first");
    EXPECT_EQ(seen[cellIndex(2, 1)], "second");
    EXPECT_EQ(seen[cellIndex(1, 2)], "third");
}

TEST_F(PlannerStations, TableHeldExclusivelyIsReportedAndNeverDeleted)
{
    WeekPlan one = station(a);
    one.load();
    ASSERT_EQ(one.saveCell(1, 1, "kept"), SaveResult::Saved);
    const std::string before = qb::test::readFile(dir.file("s/sh007.dbf"));

    qb::engine::TTzDbf holder("holder", b);
    holder.setExclusive(true);
    holder.setDbfFileName(dir.file("s/sh007.dbf"));
    ASSERT_TRUE(holder.setActive(true));

    PlannerTable::Load l = one.load();
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.error, "Error accessing file ./s/sh007.dbf");
    EXPECT_EQ(one.saveCell(2, 1, "later"), SaveResult::NotOpened);
    EXPECT_TRUE(one.hasWaiting());
    holder.setActive(false);
    EXPECT_EQ(qb::test::readFile(dir.file("s/sh007.dbf")), before);

    EXPECT_EQ(one.saveWaiting(), SaveResult::Saved);
    WeekCells seen = station(b).load().cells;
    EXPECT_EQ(seen[0], "kept");
    EXPECT_EQ(seen[1], "later");
}

TEST_F(PlannerStations, FileThatIsNotATableIsSetAsideNotRemoved)
{
    qb::platform::makeDirs(dir.file("s"));
    qb::test::writeFile(dir.file("s/sh007.dbf"), "these are someone's notes, not a table\n");
    WeekPlan one = station(a);
    PlannerTable::Load l = one.load();
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(l.setAside, dir.file("s/sh007.bad"));
    EXPECT_EQ(qb::test::readFile(dir.file("s/sh007.bad")), "these are someone's notes, not a table\n");
    EXPECT_EQ(one.saveCell(1, 1, "new"), SaveResult::Saved);
}

TEST_F(PlannerStations, FreeRecordTakenByAnotherWeekWhileWaitingForItsLockIsNotOverwritten)
{
    WeekPlan one = station(a);
    one.load(); // appends a free record
    const std::int64_t nextWeek = one.key() + 7;

    // The other station holds the free record's lock; while the first waits
    // for it, the other takes the record for the next week and lets go.
    qb::engine::TTzDbf other("other", b);
    other.setDbfFileName(dir.file("s/sh007.dbf"));
    ASSERT_TRUE(other.setActive(true));
    other.GoTop();
    ASSERT_TRUE(other.RLock());
    bool taken = false;
    a.lockFailedCallback = [&] {
        if (taken)
            return false;
        taken = true;
        other.Go(1);
        other.SetLongField("weekno", nextWeek);
        other.setText("monam", "next week");
        other.Replace();
        other.Flush();
        other.UnLock();
        return true; // try the lock again
    };
    ASSERT_EQ(one.saveCell(1, 1, "this week"), SaveResult::Saved);
    a.lockFailedCallback = nullptr;
    other.setActive(false);
    ASSERT_TRUE(taken);

    EXPECT_EQ(one.load().cells[0], "this week");
    WeekPlan two = station(b);
    two.setWeek(nextWeek);
    EXPECT_EQ(two.load().cells[0], "next week");
}

TEST(PlannerRights, OwnerOrTheRightToChangeOthers)
{
    EXPECT_TRUE(plannerEditable(7, 7, false));
    EXPECT_TRUE(plannerEditable(7, 3, true));
    EXPECT_FALSE(plannerEditable(7, 3, false));
    qb::test::FakeClock clock;
    Engine e;
    qb::test::TempDir dir;
    WeekPlan p(e, dir.path(), clock);
    p.setOwner(7, false);
    p.load();
    EXPECT_TRUE(p.pasteWeek("x\ty\r\n").empty());
    EXPECT_FALSE(p.hasWaiting());
}

} // namespace
