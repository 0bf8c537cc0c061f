// Employee information cards shared by stations (one engine each, real files
// and byte locks): captions, rights, appending a missing card, saving under
// the record lock, notes with their line breaks.
#include "engine/TTzDbf.h"
#include "planner/InfoCard.h"
#include "planner/PersonalTables.h"
#include "tests/support/TestSupport.h"
#include "tools/DataDirCommands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace qb::planner;
using qb::engine::Engine;

namespace {

struct CaptionCase {
    const char* stored;
    int field;
    const char* shown;
};

class InfoCaptions : public testing::TestWithParam<CaptionCase> {};

const CaptionCase kCaptions[] = {
    {"", 0, "Name"},           {"   ", 4, "E_mail"},  {" Mobile", 2, "Phone"}, {"Mobile   ", 2, "Mobile"},
    {"", kNotesCaption, "Notes"}, {"Notestxt", kNotesCaption, "Notes"}, {"Remarks", kNotesCaption, "Remarks"},
    {"Notestxt", 1, "Notestxt"},
};

TEST_P(InfoCaptions, BlankOrLeadingBlankGivesTheDefault)
{
    EXPECT_EQ(captionText(GetParam().stored, GetParam().field), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Info, InfoCaptions, testing::ValuesIn(kCaptions));

TEST(InfoRights, PersonAdministratorOrEveryoneWhenAllowed)
{
    struct {
        int person, user;
        bool admin, everyone, editable;
    } cases[] = {
        {5, 5, false, false, true}, {5, 6, false, false, false}, {5, 0, true, false, true},
        {5, 6, false, true, true},  {0, 0, false, false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(infoEditable(c.person, c.user, c.admin, c.everyone), c.editable)
            << c.person << " " << c.user << " " << c.admin << " " << c.everyone;
}

class InfoStations : public testing::Test {
protected:
    void SetUp() override
    {
        std::ostringstream out, err;
        ASSERT_EQ(qb::tools::initCommand({data}, out, err), 0) << err.str();
    }
    qb::test::TempDir dir;
    std::string data = dir.file("data");
    Engine a, b;
    int pauses = 0;
    Pause pause = [this](std::chrono::milliseconds) { ++pauses; };
};

TEST_F(InfoStations, MissingCardIsAppendedAndSavedNotesKeepTheirLines)
{
    InfoTable one(a, data, pause);
    ASSERT_TRUE(one.open());
    EXPECT_EQ(one.captions()[3], "Extension");
    EXPECT_EQ(one.showCard(12, "Berta Lind"), InfoTable::Found::Appended);
    InfoCard card = one.card();
    EXPECT_EQ(card.ident, 12);
    EXPECT_EQ(card.fields[0], "Berta Lind");

    card.fields[1] = "Buyer";
    card.fields[4] = "berta@example.org";
    card.notes = "first line\n\n   indented\n" + std::string(300, 'x') + "\nlast\n";
    EXPECT_EQ(one.save(card), InfoTable::Saved::Saved);
    one.close();

    InfoTable two(b, data, pause);
    ASSERT_TRUE(two.open());
    EXPECT_EQ(two.showCard(12, "Berta Lind"), InfoTable::Found::Found);
    InfoCard seen = two.card();
    EXPECT_EQ(seen.fields, card.fields);
    EXPECT_EQ(seen.notes, card.notes);
    EXPECT_EQ(two.table().RecCount(), 2); // the caption record and the one card

    std::string error;
    auto read = InfoTable::read(a, data, 12, error);
    ASSERT_TRUE(read.has_value()) << error;
    EXPECT_EQ(read->notes, card.notes);
    EXPECT_FALSE(InfoTable::read(a, data, 13, error).has_value());
}

TEST_F(InfoStations, RecordLockedElsewhereLeavesTheCardUnwrittenAndSaysSo)
{
    InfoTable one(a, data, pause);
    ASSERT_TRUE(one.open());
    one.showCard(3, "Carl");
    InfoCard card = one.card();
    const std::string before = qb::test::readFile(data + "/moreinfo.dbf");

    qb::engine::TTzDbf holder("holder", b);
    holder.setDbfFileName(data + "/moreinfo.dbf");
    ASSERT_TRUE(holder.setActive(true));
    holder.Go(2);
    ASSERT_TRUE(holder.RLock());
    card.fields[2] = "555 0100";
    EXPECT_EQ(one.save(card), InfoTable::Saved::Locked);
    EXPECT_EQ(pauses, InfoTable::kLockAttempts - 1);
    EXPECT_EQ(qb::test::readFile(data + "/moreinfo.dbf"), before);

    holder.UnLock();
    EXPECT_EQ(one.save(card), InfoTable::Saved::Saved);
    std::string error;
    EXPECT_EQ(InfoTable::read(b, data, 3, error)->fields[2], "555 0100");
}

TEST_F(InfoStations, TableLockRefusedShowsAnUnsavedCardAppendedAtTheNextSave)
{
    qb::engine::TTzDbf holder("holder", b);
    holder.setDbfFileName(data + "/moreinfo.dbf");
    ASSERT_TRUE(holder.setActive(true));
    ASSERT_TRUE(holder.ALock());
    InfoTable one(a, data, pause);
    ASSERT_TRUE(one.open());
    EXPECT_EQ(one.showCard(4, "Dora"), InfoTable::Found::NotStored);
    InfoCard card = one.card();
    EXPECT_EQ(card.fields[0], "Dora");
    const auto size = qb::test::readFile(data + "/moreinfo.dbf").size();
    card.fields[1] = "Clerk";
    EXPECT_EQ(one.save(card), InfoTable::Saved::Locked);
    EXPECT_EQ(qb::test::readFile(data + "/moreinfo.dbf").size(), size);
    holder.UnLock();
    EXPECT_EQ(one.save(card), InfoTable::Saved::Saved);
    std::string error;
    EXPECT_EQ(InfoTable::read(b, data, 4, error)->fields[1], "Clerk");
}

TEST_F(InfoStations, CaptionsAreWrittenToRecordOneWithIdentZero)
{
    InfoTable one(a, data, pause);
    ASSERT_TRUE(one.open());
    one.showCaptionRecord();
    std::array<std::string, kInfoFieldCount> texts = one.card().fields;
    texts[2] = "Mobile";
    texts[kNotesCaption] = "";
    EXPECT_EQ(one.saveCaptions(texts), InfoTable::Saved::Saved);
    InfoTable two(b, data, pause);
    ASSERT_TRUE(two.open());
    auto shown = two.captions();
    EXPECT_EQ(shown[2], "Mobile");
    EXPECT_EQ(shown[kNotesCaption], "Notes");
    EXPECT_EQ(two.table().RecCount(), 1);
}

TEST(InfoTableOpen, MissingTableIsNotCreated)
{
    qb::test::TempDir dir;
    Engine e;
    int pauses = 0;
    InfoTable t(e, dir.path(), [&](std::chrono::milliseconds) { ++pauses; });
    EXPECT_FALSE(t.open());
    EXPECT_EQ(pauses, InfoTable::kOpenAttempts);
    EXPECT_FALSE(std::filesystem::exists(dir.file("moreinfo.dbf")));
}

} // namespace
