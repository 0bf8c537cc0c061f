#include "admin/ConfigTable.h"
#include "admin/GroupChoice.h"
#include "admin/NameAdmin.h"
#include "admin/OptionsEditor.h"
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tools/DataDirCommands.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>

using namespace qb;
using admin::CloseResult;
using admin::OptionsEditor;
using admin::OptionsMode;

namespace {

struct StoredOptions {
    bool found = false;
    std::vector<bool> value, right; // index = option number
    int refresh = 0, msgchk = 0;
    bool reflock = false, msglock = false;
};

// Reads the first record of an ident as another station would.
StoredOptions readStored(const std::string& dir, int ident)
{
    engine::Engine e;
    engine::TTzDbf t("Peek", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3cfg3.dbf");
    StoredOptions s;
    if (!t.setActive(true))
        return s;
    for (t.GoTop(); !t.dEOF(); t.Skip(1)) {
        if (t.GetLongField("ident") != ident)
            continue;
        s.found = true;
        s.value.push_back(false);
        s.right.push_back(false);
        for (int n = 1; n <= 23; ++n) {
            s.value.push_back(t.GetLField("value" + std::to_string(n)));
            s.right.push_back(t.GetLField("usercan" + std::to_string(n)));
        }
        s.refresh = static_cast<int>(t.GetLongField("refresh"));
        s.msgchk = static_cast<int>(t.GetLongField("msgchk"));
        s.reflock = t.GetLField("reflock");
        s.msglock = t.GetLField("msglock");
        break;
    }
    t.setActive(false);
    return s;
}

// Sets fields of ident's record directly, as an older station might have left it.
void storeFields(const std::string& dir, int ident, const std::vector<std::pair<std::string, std::int64_t>>& numbers,
                 const std::vector<std::pair<std::string, bool>>& logicals)
{
    engine::Engine e;
    engine::TTzDbf t("Poke", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3cfg3.dbf");
    ASSERT_TRUE(t.setActive(true));
    for (t.GoTop(); !t.dEOF(); t.Skip(1))
        if (t.GetLongField("ident") == ident)
            break;
    ASSERT_FALSE(t.dEOF());
    for (const auto& [f, v] : numbers)
        t.SetLongField(f, v);
    for (const auto& [f, v] : logicals)
        t.SetLField(f, v);
    ASSERT_TRUE(t.RLock());
    t.Replace();
    t.Flush();
    t.UnLock();
    t.setActive(false);
}

class OptionsEditorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ostringstream out, err;
        ASSERT_EQ(tools::initCommand({m_dir.path()}, out, err), 0) << err.str();
    }
    // Adds people Person1..PersonN; their options records come with them.
    void addPeople(int n)
    {
        board::Station st(m_engine, platform::SystemClock::instance(), m_log, m_dir.path(), m_dir.path());
        // The administrator's first login gives record 1 to ident 0.
        admin::Options adminOptions;
        admin::ConfigTable(m_engine, platform::SystemClock::instance(), m_dir.path()).load(0, adminOptions, true, 0);
        for (int i = 1; i <= n; ++i) {
            admin::AddedName added;
            ASSERT_EQ(admin::addName(st, "Person" + std::to_string(i), "G", &added), admin::AddNameResult::Ok);
            admin::ConfigTable config(m_engine, platform::SystemClock::instance(), m_dir.path());
            ASSERT_EQ(config.save(added.boardIndex, admin::Options(), true), engine::CommitResult::Ok);
        }
    }
    test::TempDir m_dir;
    engine::Engine m_engine;
    platform::MemoryEventLog m_log;
    admin::Options m_memory;
};

TEST(OptionsIntervalTexts, ListsShowTicksAsTimes)
{
    struct Row {
        int ticks;
        const char* message;
        const char* refresh;
    };
    const Row rows[] = {
        {180, "1 minutes", "90 seconds"}, {16, "8 seconds", "8 seconds"},    {80, "40 seconds", "40 seconds"},
        {240, "2 minutes", "120 seconds"}, {7200, "1 hour", "3600 seconds"}, {90, "45 seconds", "45 seconds"},
        {120, "1 minutes", "1 minute"},    {8, "4 seconds", "4 seconds"},    {2400, "20 minutes", "20 minutes"},
        {1, "0 seconds", "0 seconds"},     {9999, "1 hour", "4999 seconds"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(admin::messageIntervalText(r.ticks), r.message) << r.ticks;
        EXPECT_EQ(admin::refreshIntervalText(r.ticks), r.refresh) << r.ticks;
    }
    EXPECT_EQ(admin::messageTicksOfEntry(-1), 80);
    EXPECT_EQ(admin::refreshTicksOfEntry(-1), 120);
    EXPECT_EQ(admin::messageTicksOfEntry(4), 7200);
}

TEST(OptionsModes, CaptionDecidesMode)
{
    EXPECT_EQ(admin::optionsModeFor(false, "Options"), OptionsMode::Own);
    EXPECT_EQ(admin::optionsModeFor(true, admin::adminOptionsCaption("Bob")), OptionsMode::AdminEditing);
    EXPECT_EQ(admin::optionsModeFor(true, admin::kAddingCaption), OptionsMode::Adding);
    EXPECT_EQ(admin::optionsModeFor(false, admin::kAddingCaption), OptionsMode::Own);
}

// Who may tick a box and who sees which rights, for a person whose record
// withholds option 1 and grants option 2.
TEST_F(OptionsEditorTest, RightsDecideWhoMayTick)
{
    addPeople(1);
    storeFields(m_dir.path(), 1, {}, {{"usercan1", false}, {"value1", false}, {"usercan2", true}, {"value2", false}});
    struct Case {
        bool admin;
        bool canTickWithheld;
    };
    for (Case c : {Case {false, false}, Case {true, true}}) {
        OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), c.admin, m_memory);
        ed.open(c.admin ? admin::adminOptionsCaption("Person1") : "Options", 1);
        ASSERT_FALSE(ed.openError());
        EXPECT_FALSE(ed.right(1));
        EXPECT_TRUE(ed.right(2));
        EXPECT_EQ(ed.boxReadOnly(1), !c.admin);
        EXPECT_FALSE(ed.boxReadOnly(2));
        EXPECT_EQ(ed.setValue(1, true), c.canTickWithheld);
        EXPECT_TRUE(ed.setValue(2, true));
        EXPECT_EQ(ed.toggleRight(3), c.admin);
        EXPECT_EQ(ed.close(), CloseResult::Written);
        StoredOptions s = readStored(m_dir.path(), 1);
        EXPECT_EQ(s.value[1], c.canTickWithheld) << "admin " << c.admin;
        EXPECT_TRUE(s.value[2]);
        EXPECT_EQ(s.right[3], !c.admin) << "only the administrator withdraws a right";
        storeFields(m_dir.path(), 1, {}, {{"value1", false}, {"value2", false}, {"usercan3", true}});
    }
}

// A right toggled first and a box ticked afterwards both reach the file.
TEST_F(OptionsEditorTest, RightToggleSurvivesLaterTicks)
{
    addPeople(1);
    OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), true, m_memory);
    ed.open(admin::adminOptionsCaption("Person1"), 1);
    const bool before = readStored(m_dir.path(), 1).right[5];
    ASSERT_TRUE(ed.toggleRight(5));
    ASSERT_TRUE(ed.setValue(13, true));
    ASSERT_TRUE(ed.toggleRefreshLock());
    ASSERT_TRUE(ed.chooseMessage(2));
    ASSERT_EQ(ed.close(), CloseResult::Written);
    StoredOptions s = readStored(m_dir.path(), 1);
    EXPECT_EQ(s.right[5], !before);
    EXPECT_TRUE(s.value[13]);
    EXPECT_EQ(s.msgchk, 240);
}

TEST_F(OptionsEditorTest, ClosingWithoutChangeWritesNothing)
{
    addPeople(1);
    // Broken intervals are shown fixed up but not written on their own.
    storeFields(m_dir.path(), 1, {{"msgchk", 0}, {"refresh", -3}}, {});
    const std::string before = test::readFile(m_dir.file("qb3cfg3.dbf"));
    struct stat st0 {};
    ::stat(m_dir.file("qb3cfg3.dbf").c_str(), &st0);
    OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), false, m_memory);
    ed.open("Options", 1);
    EXPECT_EQ(ed.messageText(), "40 seconds");
    EXPECT_EQ(ed.refreshText(), "30 seconds");
    ed.setValue(6, !ed.value(6));
    ed.setValue(6, !ed.value(6)); // and back
    EXPECT_EQ(ed.close(), CloseResult::NothingToWrite);
    struct stat st1 {};
    ::stat(m_dir.file("qb3cfg3.dbf").c_str(), &st1);
    EXPECT_EQ(test::readFile(m_dir.file("qb3cfg3.dbf")), before);
    EXPECT_EQ(st1.st_mtim.tv_nsec, st0.st_mtim.tv_nsec);
    EXPECT_EQ(st1.st_mtim.tv_sec, st0.st_mtim.tv_sec);
}

TEST_F(OptionsEditorTest, MissingRecordIsCreatedLocked)
{
    OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), false, m_memory);
    ed.open("Options", 7);
    EXPECT_EQ(ed.close(), CloseResult::NothingToWrite);
    StoredOptions s = readStored(m_dir.path(), 7);
    ASSERT_TRUE(s.found);
    EXPECT_EQ(s.refresh, 120);
    EXPECT_EQ(s.msgchk, 120);
    EXPECT_TRUE(s.reflock);
    EXPECT_TRUE(s.msglock);
    for (int n = 1; n <= 23; ++n) {
        EXPECT_EQ(s.value[static_cast<std::size_t>(n)], m_memory[n]) << n;
        EXPECT_EQ(s.right[static_cast<std::size_t>(n)], m_memory.right[static_cast<std::size_t>(n)]) << n;
    }
}

// A table the editor cannot use: locked exclusively by another station, an
// old table with 41 fields, or none at all.
TEST_F(OptionsEditorTest, UnusableTableShowsWhy)
{
    addPeople(1);
    {
        engine::Engine other;
        engine::TTzDbf excl("Excl", other);
        excl.CreateIfNotFound = false;
        excl.setExclusive(true);
        excl.setDbfFileName(m_dir.file("qb3cfg3.dbf"));
        ASSERT_TRUE(excl.setActive(true));
        OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), false, m_memory);
        ed.open("Options", 1);
        EXPECT_TRUE(ed.openError());
        EXPECT_TRUE(ed.readOnly());
        EXPECT_EQ(ed.caption(), admin::kProblemCaption);
        EXPECT_TRUE(ed.boxReadOnly(1));
        EXPECT_FALSE(ed.setValue(1, true));
        EXPECT_FALSE(ed.refreshListEnabled());
        EXPECT_EQ(ed.close(), CloseResult::NothingToWrite);
    }
    {
        // 41 fields: ident and 20 option pairs.
        platform::removeFile(m_dir.file("qb3cfg3.dbf"));
        engine::TTzDbf old("Old", m_engine);
        auto fields = admin::ConfigTable::fieldList();
        fields.resize(41);
        old.DbfFields = fields;
        old.setDbfFileName(m_dir.file("qb3cfg3.dbf"));
        ASSERT_TRUE(old.setActive(true));
        old.setActive(false);
        OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), false, m_memory);
        ed.open("Options", 1);
        EXPECT_FALSE(ed.openError());
        EXPECT_TRUE(ed.readOnly());
        EXPECT_EQ(ed.optionCount(), 19);
        EXPECT_EQ(ed.caption(), admin::kProblemCaption);
        EXPECT_FALSE(ed.right(1));
        ed.close();
    }
}

// "Chg All" on a board of 60 people: every position gets the shown record
// with its own ident, progress is reported for each, and a record another
// station holds locked is neither written nor counted.
TEST_F(OptionsEditorTest, ChangeAllCopiesToEveryPosition)
{
    addPeople(60);
    OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), true, m_memory);
    ed.open(admin::adminOptionsCaption("Person7"), 7);
    ASSERT_TRUE(ed.setValue(13, true));
    ASSERT_TRUE(ed.toggleRight(1));
    ASSERT_TRUE(ed.chooseRefresh(4)); // 10 minutes
    const bool right1 = ed.right(1);
    ASSERT_EQ(ed.boardPositions(), 61);

    engine::Engine other;
    engine::TTzDbf holder("Holder", other);
    holder.CreateIfNotFound = false;
    holder.setDbfFileName(m_dir.file("qb3cfg3.dbf"));
    ASSERT_TRUE(holder.setActive(true));
    holder.Go(31); // ident 30
    ASSERT_TRUE(holder.RLock());

    std::vector<int> seen;
    int written = ed.changeAll(ed.boardPositions(), [&](int recNo, int bound) {
        EXPECT_EQ(bound, 61);
        seen.push_back(recNo);
    });
    holder.UnLock();
    holder.setActive(false);
    EXPECT_EQ(written, 60);
    ASSERT_EQ(seen.size(), 61u);
    EXPECT_EQ(seen.front(), 1);
    EXPECT_EQ(seen.back(), 61);

    engine::TTzDbf t("Check", other);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_dir.file("qb3cfg3.dbf"));
    ASSERT_TRUE(t.setActive(true));
    int changed = 0;
    for (std::int64_t r = 1; r <= 61; ++r) {
        t.Go(r);
        EXPECT_EQ(t.GetLongField("ident"), r - 1);
        if (t.GetLField("value13") && t.GetLField("usercan1") == right1 && t.GetLongField("refresh") == 1200)
            ++changed;
    }
    t.setActive(false);
    EXPECT_EQ(changed, 60);
    StoredOptions skipped = readStored(m_dir.path(), 30);
    ASSERT_TRUE(skipped.found);
    EXPECT_FALSE(skipped.value[13]) << "the locked record was skipped";
    EXPECT_FALSE(ed.dirty());
    EXPECT_EQ(ed.close(), CloseResult::NothingToWrite);
}

TEST_F(OptionsEditorTest, LabelsAreSiteWide)
{
    OptionsEditor ed(m_engine, platform::SystemClock::instance(), m_dir.path(), true, m_memory);
    ed.open(admin::adminOptionsCaption("Person1"), 1);
    EXPECT_FALSE(ed.setLabel(4, "Out at exit")) << "only in label editing mode";
    ed.startLabelEditing();
    ASSERT_TRUE(ed.setLabel(4, "Out at exit"));
    EXPECT_EQ(ed.optionCaption(4), "Out at exit");
    ed.close();
    OptionsEditor other(m_engine, platform::SystemClock::instance(), m_dir.path(), false, m_memory);
    other.open("Options", 1);
    EXPECT_EQ(other.optionCaption(4), "Out at exit");
    EXPECT_EQ(other.optionCaption(5), admin::builtInCaption(5));
    other.close();
}

} // namespace

namespace {

TEST(GroupChoiceRules, CreateSelectAndCancel)
{
    admin::GroupChoice g;
    g.setGroups({"Sales", "R&D", ""});
    EXPECT_EQ(g.items(), (std::vector<std::string> {"Sales", "R+D"}));
    std::string a41;
    for (int i = 0; i < 41; ++i)
        a41 += "ä";
    struct Step {
        std::optional<std::string> answer;
        bool made;
        std::string current;
        std::size_t items;
    };
    const Step steps[] = {
        {std::string("Q&A"), true, "Q+A", 3},
        {std::string("R&D"), true, "R+D", 3},      // already offered: no second item
        {std::string(" Sales "), true, "Sales", 3},
        {std::string("   "), true, "", 3},         // blank: out of any group, no item
        {a41, true, a41.substr(0, 80), 4},         // 40 characters of two bytes each
        {std::nullopt, false, "", 4},              // Cancel clears the current group
    };
    for (const Step& s : steps) {
        EXPECT_EQ(g.create(s.answer), s.made) << s.current;
        EXPECT_EQ(g.current(), s.current);
        EXPECT_EQ(g.items().size(), s.items) << s.current;
    }
    g.select("Sales");
    EXPECT_EQ(g.current(), "Sales");
}

} // namespace
