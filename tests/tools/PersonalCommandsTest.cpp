// qbtool export-planner and info, run as processes on a data directory that
// stations wrote: what they print, their exit codes, and that they write
// nothing.
#include "engine/TTzDbf.h"
#include "planner/InfoCard.h"
#include "planner/WeekPlanner.h"
#include "platform/Clock.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct ToolCase {
    const char* name;
    std::string args; // after "qbtool", DIR stands for the data directory
    int status;
    std::string out;
};

class PersonalCommands : public testing::TestWithParam<ToolCase> {
protected:
    static void SetUpTestSuite()
    {
        dir = new qb::test::TempDir;
        const std::string data = dir->file("data");
        ASSERT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " init " + data + " >/dev/null"), 0);
        for (const char* name : {"'Anna Berger'", "'Bert Roth'"})
            ASSERT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " add-name " + data + " " + name + " >/dev/null"),
                      0);
        qb::engine::Engine e;
        qb::test::FakeClock clock;
        qb::planner::WeekPlan plan(e, data, clock);
        plan.setOwner(1, true);
        plan.setWeek(qb::platform::daySerial(2024, 1, 10));
        plan.load();
        ASSERT_EQ(plan.saveCell(1, 1, "Müller 9:00"), qb::planner::SaveResult::Saved);
        ASSERT_EQ(plan.saveCell(2, 5, "Zoë's café"), qb::planner::SaveResult::Saved);
        qb::planner::InfoTable info(e, data);
        ASSERT_TRUE(info.open());
        info.showCard(1, "Anna Berger");
        qb::planner::InfoCard card = info.card();
        card.fields[1] = "Käufer";
        card.fields[3] = "201";
        card.notes = "a\n\n  b";
        ASSERT_EQ(info.save(card), qb::planner::InfoTable::Saved::Saved);
    }
    static void TearDownTestSuite() { delete dir; }
    static qb::test::TempDir* dir;
};

qb::test::TempDir* PersonalCommands::dir = nullptr;

const std::string kEmptyCard = "Name: Bert Roth\nTitle: \nPhone: \nExtension: \nE-mail: \nPager: \nDivision: \n"
                               "Fax: \nNotes:\n";

const ToolCase kCases[] = {
    {"WeekOfAnyDay", "export-planner DIR 'anna berger' --week 2024-01-10", 0,
     "2024-01-08\tMon\tMüller 9:00\t\n2024-01-09\tTue\t\t\n2024-01-10\tWed\t\t\n2024-01-11\tThu\t\t\n"
     "2024-01-12\tFri\t\tZoë's café\n"},
    {"WeekFromItsSunday", "export-planner DIR 'Anna Berger' --week 2024-01-07", 0,
     "2024-01-08\tMon\tMüller 9:00\t\n2024-01-09\tTue\t\t\n2024-01-10\tWed\t\t\n2024-01-11\tThu\t\t\n"
     "2024-01-12\tFri\t\tZoë's café\n"},
    {"WeekNotPlanned", "export-planner DIR 'Anna Berger' --week 2024-01-15", 0,
     "2024-01-15\tMon\t\t\n2024-01-16\tTue\t\t\n2024-01-17\tWed\t\t\n2024-01-18\tThu\t\t\n2024-01-19\tFri\t\t\n"},
    {"PersonWithoutPlanner", "export-planner DIR 'Bert Roth' --week 2024-01-15", 0,
     "2024-01-15\tMon\t\t\n2024-01-16\tTue\t\t\n2024-01-17\tWed\t\t\n2024-01-18\tThu\t\t\n2024-01-19\tFri\t\t\n"},
    {"PlannerOfUnknownName", "export-planner DIR Nobody", 3, ""},
    {"ImpossibleDate", "export-planner DIR 'Anna Berger' --week 2024-02-30", 2, ""},
    {"CardAsJson", "info DIR 'Anna Berger' --json", 0,
     R"({"ident": 1, "name": "Anna Berger", "title": "Käufer", "phone": "", "extra": "201", "e_mail": "", )"
     R"("pager": "", "division": "", "fax": "", "notes": "a\n\n  b"})"
     "\n"},
    {"CardWithTheOfficeCaptions", "info DIR 'Anna Berger'", 0,
     "Name: Anna Berger\nTitle: Käufer\nPhone: \nExtension: 201\nE-mail: \nPager: \nDivision: \nFax: \nNotes:\n"
     "  a\n  \n    b\n"},
    {"PersonWithoutCard", "info DIR 'Bert Roth'", 0, kEmptyCard},
    {"CardOfUnknownName", "info DIR Nobody --json", 3, ""},
};

TEST_P(PersonalCommands, PrintAndExitStatus)
{
    const ToolCase& c = GetParam();
    const std::string data = dir->file("data");
    std::string args = c.args;
    args.replace(args.find("DIR"), 3, data);
    const std::string before = qb::test::readFile(data + "/moreinfo.dbf") + qb::test::readFile(data + "/s/sh001.dbf");
    std::string out;
    EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " " + args + " 2>/dev/null", &out), c.status);
    EXPECT_EQ(out, c.out);
    // Read-only: nothing changed, no planner made for a person without one.
    EXPECT_EQ(qb::test::readFile(data + "/moreinfo.dbf") + qb::test::readFile(data + "/s/sh001.dbf"), before);
    EXPECT_FALSE(std::filesystem::exists(data + "/s/sh002.dbf"));
}

INSTANTIATE_TEST_SUITE_P(Tools, PersonalCommands, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ToolCase>& i) { return std::string(i.param.name); });

TEST(PersonalCommandsLocked, PlannerHeldExclusivelyElsewhereFailsWithTheReason)
{
    qb::test::TempDir dir;
    const std::string data = dir.file("data");
    ASSERT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " init " + data + " --demo >/dev/null"), 0);
    qb::engine::Engine e;
    qb::engine::TTzDbf holder("holder", e);
    holder.setExclusive(true);
    holder.setDbfFileName(data + "/s/sh001.dbf");
    ASSERT_TRUE(holder.setActive(true));
    std::string err;
    EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " export-planner " + data + " 'Anna Berger' 2>&1 >/dev/null",
                                   &err),
              1);
    EXPECT_NE(err.find("sh001.dbf"), std::string::npos) << err;
    holder.setActive(false);
    EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " export-planner " + data + " 'Anna Berger' >/dev/null"), 0);
}

} // namespace
