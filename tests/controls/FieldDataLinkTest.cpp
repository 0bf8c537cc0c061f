#include "engine/TTzDbf.h"
#include "engine/controls/NavigatorLogic.h"
#include "engine/controls/TTzFieldDataLink.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace qb::engine;
using qb::test::TempDir;

namespace {

const std::vector<std::string> kFields = {"no, N, 4, 0", "read, L, 1, 0", "subj, C, 40, 0", "msg, M, 10, 0"};

class FieldDataLink : public ::testing::Test {
protected:
    TempDir dir;
    Engine engine;
    std::unique_ptr<TTzDbf> table;

    void SetUp() override
    {
        table = std::make_unique<TTzDbf>("Links", engine);
        table->DbfFields = kFields;
        table->setDbfFileName(dir.file("msg3"));
        ASSERT_TRUE(table->openOrCreate());
    }
    void addRecord(const std::string& subj)
    {
        table->ClearRecord();
        table->setText("subj", subj);
        ASSERT_TRUE(table->ALock());
        table->Append();
        table->Flush();
        table->UnLock();
    }
    // What another station reads from the file right now.
    std::string subjectOnDisk()
    {
        Engine other;
        TTzDbf t("Other", other);
        t.setDbfFileName(dir.file("msg3.dbf"));
        t.setActive(true);
        t.GoTop();
        return t.getText("subj");
    }
};

// The round of a bound text box: a key asks for edit state, Escape restores,
// leaving writes only into the record buffer, and Post reaches the file.
TEST_F(FieldDataLink, EditResetUpdateAndPostReachTheFileOnlyOnPost)
{
    addRecord("Hello");
    TTzFieldDataLink link;
    std::string shown, typed;
    int editingChanges = 0;
    link.onDataChange = [&] { shown = link.fieldText(); };
    link.onEditingChange = [&] { ++editingChanges; };
    link.onUpdateData = [&] { link.setFieldText(typed); };
    link.setDataField("SUBJ"); // any case
    link.setDataSource(table.get());
    table->GoTop();
    EXPECT_EQ(shown, "Hello");
    EXPECT_EQ(link.displayWidth(), 40);

    ASSERT_TRUE(link.edit());
    EXPECT_EQ(table->dataSet().state(), TTzDataSetState::Edit);
    EXPECT_EQ(editingChanges, 1);
    typed = "Changed";
    link.modified();
    link.reset(); // Escape
    EXPECT_FALSE(link.isModified());
    EXPECT_EQ(shown, "Hello");
    EXPECT_TRUE(link.updateRecord()); // nothing typed since: nothing written
    EXPECT_EQ(table->getText("subj"), "Hello");

    link.modified();
    EXPECT_TRUE(link.updateRecord()); // focus leaves
    EXPECT_EQ(table->getText("subj"), "Changed");
    EXPECT_EQ(subjectOnDisk(), "Hello");
    ASSERT_TRUE(table->Post());
    EXPECT_EQ(subjectOnDisk(), "Changed");
    EXPECT_EQ(table->dataSet().state(), TTzDataSetState::Browse);

    // Read-only links and unknown fields never start editing.
    TTzFieldDataLink readOnly, unknown;
    readOnly.setDataSource(table.get());
    readOnly.setDataField("subj");
    readOnly.setReadOnly(true);
    unknown.setDataSource(table.get());
    unknown.setDataField("nosuch");
    EXPECT_FALSE(readOnly.edit());
    EXPECT_FALSE(unknown.edit());
    EXPECT_EQ(unknown.fieldText(), "");
    EXPECT_EQ(table->dataSet().state(), TTzDataSetState::Browse);
    // Nor may they change the record while another control edits it.
    ASSERT_TRUE(link.edit());
    EXPECT_FALSE(readOnly.edit());
    EXPECT_FALSE(unknown.edit());
    ASSERT_TRUE(table->dataSet().Cancel());

    // Closing the table unbinds the field; reopening binds it again.
    table->setActive(false);
    EXPECT_EQ(link.field(), nullptr);
    EXPECT_EQ(shown, "");
    table->setActive(true);
    table->GoTop();
    EXPECT_EQ(shown, "Changed");
}

struct NavCase {
    const char* name;
    int records;
    std::function<void(TTzDbf&)> position;
    std::string enabled; // one letter per button First..Refresh: x on, . off
};

void PrintTo(const NavCase& c, std::ostream* os) { *os << c.name; }

class NavigatorButtons : public FieldDataLink, public ::testing::WithParamInterface<NavCase> {};

TEST_P(NavigatorButtons, FollowTheTablePosition)
{
    for (int i = 0; i < GetParam().records; ++i)
        addRecord("m" + std::to_string(i));
    GetParam().position(*table);
    NavButtonFlags on = navEnabledButtons(table.get(), true);
    std::string got;
    for (bool b : on)
        got += b ? 'x' : '.';
    EXPECT_EQ(got, GetParam().enabled);
    EXPECT_EQ(navEnabledButtons(table.get(), false), NavButtonFlags{}) << "a disabled navigator";
}

INSTANTIATE_TEST_SUITE_P(
    Positions, NavigatorButtons,
    ::testing::Values(
        //                     First Prior Next Last Insert Delete Edit Post Cancel Refresh
        NavCase{"EmptyTable", 0, [](TTzDbf& t) { t.GoTop(); }, "....x....x"},
        NavCase{"LastOfThree", 3, [](TTzDbf& t) { t.GoBottom(); }, "xxxxxxx..x"},
        NavCase{"PastTheEnd", 3, [](TTzDbf& t) { t.GoBottom(); t.Skip(1); }, "xx..xxx..x"},
        NavCase{"Editing", 3, [](TTzDbf& t) { t.GoTop(); t.dataSet().Edit(); }, "xxxxxx.xxx"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
