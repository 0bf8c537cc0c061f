#include "engine/EDuverError.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"
#include "engine/TTzSession.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

using namespace qb::engine;
using qb::test::TempDir;

namespace {

const std::vector<std::string> kPeople = {"ident, N, 4, 0", "inuse, L, 1, 0", "name, C, 40, 0", "time, F, 10, 5",
                                          "notes, M, 10, 0"};

// Captures "show" messages instead of printing them.
struct MessageCapture {
    std::vector<std::string> messages;
    MessageCapture()
    {
        TTzSession::instance().messageHandler = [this](const std::string& m) { messages.push_back(m); };
    }
    ~MessageCapture() { TTzSession::instance().messageHandler = nullptr; }
};

// A data link that records what it is told, like a bound edit box would.
struct RecordingLink : TTzDataLink {
    int dataChanges = 0, recordChanges = 0, editingChanges = 0, updates = 0;
    bool modified = false;
    std::function<void()> onUpdate;
    void dataChanged() override { ++dataChanges; }
    void recordChanged() override { ++recordChanges; }
    void editingChanged() override { ++editingChanges; }
    void updateData() override
    {
        ++updates;
        if (onUpdate)
            onUpdate();
        modified = false;
    }
    bool isModified() const override { return modified; }
};

class TableComponent : public ::testing::Test {
protected:
    TempDir dir;
    Engine engine;
    MessageCapture capture;

    std::unique_ptr<TTzDbf> people(const std::string& name = "People")
    {
        auto t = std::make_unique<TTzDbf>(name, engine);
        t->DbfFields = kPeople;
        t->setDbfFileName(dir.file("people"));
        return t;
    }

    void addPerson(TTzDbf& t, int ident, const std::string& name)
    {
        t.ClearRecord();
        t.SetLongField("ident", ident);
        t.SetCField("name", name);
        ASSERT_EQ(commitRecord(t, false, qb::platform::SystemClock::instance()), CommitResult::Ok);
    }
};

} // namespace

TEST_F(TableComponent, CreatesMissingTableFromFieldListAndAddsExtension)
{
    auto t = people();
    EXPECT_EQ(t->DbfFileName(), dir.file("people.dbf"));
    ASSERT_TRUE(t->setActive(true));
    EXPECT_TRUE(t->Active());
    EXPECT_EQ(t->FieldCount(), 5);
    EXPECT_EQ(t->RecCount(), 0);
    EXPECT_TRUE(qb::test::readFile(dir.file("people.dbt")).size() == 513);
    EXPECT_EQ(t->dataSet().fields()[2].name, "name");
}

TEST_F(TableComponent, FieldLineWithoutThreeCommasCreatesNothing)
{
    TTzDbf t("Broken", engine);
    t.DbfFields = {"ident, N, 4, 0", "name, C, 40"};
    t.setDbfFileName(dir.file("broken.dbf"));
    EXPECT_FALSE(t.setActive(true));
    EXPECT_NE(engine.lastError(), 0);
    EXPECT_FALSE(qb::platform::fileExists(dir.file("broken.dbf")));
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], "Could not create '" + dir.file("broken.dbf") + "'");
}

TEST_F(TableComponent, OpenOrCreatePattern)
{
    auto t = people();
    t->CreateIfNotFound = false;
    ASSERT_TRUE(t->openOrCreate());
    EXPECT_TRUE(t->Active());
    EXPECT_FALSE(t->CreateIfNotFound) << "creation is switched off again";
}

TEST_F(TableComponent, CharacterFieldKeepsItsBlanksAfterARead)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    t->SetCField("name", "Alice");
    EXPECT_EQ(t->GetCField("name"), "Alice") << "as set, before the record is written";
    addPerson(*t, 1, "Alice");
    t->GoTop();
    EXPECT_EQ(t->GetCField("name"), "Alice" + std::string(35, ' '));
    t->SetCField("name", std::string(50, 'x'));
    EXPECT_EQ(t->GetCField("name").size(), 40u) << "cut at the field length";
}

TEST_F(TableComponent, TypeMismatchAndUnknownFieldTexts)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 7, "Bob");
    t->GoTop();
    t->SetRealField("time", 12.5);
    EXPECT_EQ(t->GetLongField("time"), 0);
    EXPECT_EQ(engine.lastError(), 220);
    EXPECT_EQ(engine.lastErrorText(), "'GetLongField()' expects field 'time' to be of type:\r\n"
                                      "'numeric, without decimals'.'time' actually is: 'Numeric, width: 10 decimals: 5'");
    EXPECT_DOUBLE_EQ(t->GetRealField("time"), 12.5);
    EXPECT_EQ(engine.lastError(), 0);
    EXPECT_EQ(t->GetCField("nosuch"), "");
    EXPECT_EQ(engine.lastErrorText(), "Field 'nosuch' not in 'People' [GetCField]");
    t->SetLField("name", true);
    EXPECT_EQ(engine.lastErrorText(),
              "'SetLField()' expects field 'name' to be of type:\r\n'logical'.'name' actually is: 'Character'");
    EXPECT_EQ(t->GetLongField("IDENT"), 7) << "names match without regard to case";
}

TEST_F(TableComponent, HideDeletedRecordsSkipsTheFirstRecord)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "Deleted");
    addPerson(*t, 2, "Kept");
    t->Go(1);
    ASSERT_TRUE(t->RLock());
    engine.DeleteRec();
    t->UnLock();
    t->HideDeletedRecs = true;
    t->GoTop();
    EXPECT_EQ(t->RecNo(), 2);
    t->HideDeletedRecs = false;
    t->Go(1);
    EXPECT_TRUE(t->Deleted());
}

TEST_F(TableComponent, MemoLinesRoundTrip)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    t->ClearRecord();
    ASSERT_TRUE(t->SetMField("notes", {"first line", "second line"}));
    t->SetLongField("ident", 1);
    ASSERT_EQ(commitRecord(*t, false, qb::platform::SystemClock::instance()), CommitResult::Ok);
    t->GoTop();
    std::vector<std::string> lines;
    ASSERT_TRUE(t->GetMField("notes", lines));
    EXPECT_EQ(lines, (std::vector<std::string>{"first line", "second line"}));
}

TEST_F(TableComponent, ClosedComponentReportsInsteadOfEndingTheProgram)
{
    auto t = people();
    EXPECT_EQ(t->RecCount(), 0);
    EXPECT_EQ(engine.lastError(), 1103);
    EXPECT_EQ(engine.lastErrorText(), "Database is not open [RecCount]");
}

TEST_F(TableComponent, ChangingTheFileNameReopensUnderTheNewName)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "In first");
    t->setDbfFileName(dir.file("second"));
    EXPECT_TRUE(t->Active());
    EXPECT_EQ(t->RecCount(), 0);
    EXPECT_TRUE(qb::platform::fileExists(dir.file("second.dbf")));
    t->setDbfFileName("");
    EXPECT_FALSE(t->Active());
}

TEST_F(TableComponent, FileNamesMatchWithoutRegardToCase)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    t->setActive(false);
    TTzDbf other("Other", engine);
    other.CreateIfNotFound = false;
    other.setDbfFileName(dir.file("PEOPLE.DBF"));
    EXPECT_TRUE(other.setActive(true));
}

TEST_F(TableComponent, TimeFieldIsStampedOnCommit)
{
    qb::test::FakeClock clock(qb::platform::fromLocal(qb::test::localTime(2026, 12, 8, 9, 30)));
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    t->ClearRecord();
    ASSERT_EQ(commitRecord(*t, false, clock), CommitResult::Ok);
    t->GoTop();
    double stored = t->GetRealField("time");
    auto back = qb::platform::fromDateTime(decodeStoredTime(stored));
    EXPECT_EQ(back.day, 8);
    EXPECT_NEAR(back.hour * 60 + back.minute, 9 * 60 + 30, 1) << "within the 51.84 s unit";
}

TEST_F(TableComponent, CommitReportsALockHeldElsewhere)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "Carol");
    Engine other;
    TTzDbf holder("Holder", other);
    holder.setDbfFileName(t->DbfFileName());
    ASSERT_TRUE(holder.setActive(true));
    holder.Go(1);
    ASSERT_TRUE(holder.RLock());
    t->Go(1);
    t->SetCField("name", "Changed");
    EXPECT_EQ(commitRecord(*t, true, qb::platform::SystemClock::instance()), CommitResult::LockFailed);
    holder.Skip(0);
    EXPECT_EQ(holder.getText("name"), "Carol") << "nothing written without the lock";
}

TEST_F(TableComponent, PostInBrowseStateDoesNothing)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "Dan");
    EXPECT_FALSE(t->Post());
}

TEST_F(TableComponent, EditAndPostThroughALinkedControl)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "Erin");
    RecordingLink link;
    link.setDataSource(t.get());
    std::vector<std::string> events;
    t->DSBeforeEdit = [&](TTzDataSet&, bool&) { events.push_back("BeforeEdit"); };
    t->DSAfterEdit = [&](TTzDataSet&) { events.push_back("AfterEdit"); };
    t->DSBeforePost = [&](TTzDataSet&, bool&) { events.push_back("BeforePost"); };
    t->DSAfterPost = [&](TTzDataSet&) { events.push_back("AfterPost"); };
    t->GoTop();
    EXPECT_GE(link.dataChanges, 1);
    ASSERT_TRUE(t->dataSet().Edit());
    EXPECT_EQ(t->dataSet().state(), TTzDataSetState::Edit);
    link.modified = true;
    link.onUpdate = [&] { t->SetCField("name", "Erin Edited"); };
    EXPECT_TRUE(t->Post());
    EXPECT_EQ(t->dataSet().state(), TTzDataSetState::Browse);
    EXPECT_EQ(events, (std::vector<std::string>{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));
    t->setActive(false);
    ASSERT_TRUE(t->setActive(true));
    EXPECT_EQ(t->getText("name"), "Erin Edited");
}

TEST_F(TableComponent, UnchangedEditIsDroppedAndRefusedPostKeepsTheState)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "Finn");
    RecordingLink link;
    link.setDataSource(t.get());
    t->GoTop();
    int posts = 0;
    t->DSAfterPost = [&](TTzDataSet&) { ++posts; };
    ASSERT_TRUE(t->dataSet().Edit());
    EXPECT_TRUE(t->Post());
    EXPECT_EQ(posts, 0) << "no events for an unchanged record";
    ASSERT_TRUE(t->dataSet().Edit());
    t->SetCField("name", "Refused");
    t->DSBeforePost = [](TTzDataSet&, bool& ok) { ok = false; };
    EXPECT_FALSE(t->Post());
    EXPECT_EQ(t->dataSet().state(), TTzDataSetState::Edit);
    EXPECT_EQ(t->getText("name"), "Finn") << "the record is restored";
}

TEST_F(TableComponent, EmptyTableStartsAnInsertForLinkedControls)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    RecordingLink link;
    link.setDataSource(t.get());
    t->GoTop();
    t->GoBottom();
    EXPECT_EQ(t->dataSet().state(), TTzDataSetState::Insert);
    t->SetCField("name", "Inserted");
    t->SetLongField("ident", 3);
    EXPECT_TRUE(t->Post());
    EXPECT_EQ(t->RecCount(), 1);
}

TEST_F(TableComponent, LockFailureDuringPostShowsTheMessageOrAsksTheHandler)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "Gus");
    Engine other;
    TTzDbf holder("Holder", other);
    holder.setDbfFileName(t->DbfFileName());
    ASSERT_TRUE(holder.setActive(true));
    holder.Go(1);
    ASSERT_TRUE(holder.RLock());
    RecordingLink link;
    link.setDataSource(t.get());
    t->GoTop();
    ASSERT_TRUE(t->dataSet().Edit());
    t->SetCField("name", "Blocked");
    EXPECT_FALSE(t->Post());
    ASSERT_FALSE(capture.messages.empty());
    EXPECT_EQ(capture.messages.back(), "Lock failed [_Post]");
    bool asked = false;
    t->OnRLockFailedOnDelete = [&](TTzODbf&, bool& resolved) {
        asked = true;
        resolved = false;
    };
    EXPECT_FALSE(t->Delete());
    EXPECT_TRUE(asked);
}

TEST_F(TableComponent, DatasetStateErrorsThrow)
{
    auto t = people();
    EXPECT_THROW(t->Delete(), EDuverError);
    ASSERT_TRUE(t->setActive(true));
    try {
        t->Delete();
        FAIL() << "an empty dataset cannot delete";
    } catch (const EDuverError& e) {
        EXPECT_STREQ(e.what(), "Cannot perform this operation on an empty dataset");
    }
}

TEST_F(TableComponent, SessionFindsComponentsByTheFirstTenCharacters)
{
    TTzDbf a("QBLogTableLongName", engine);
    EXPECT_EQ(TTzSession::instance().find("qblogtable"), &a);
    EXPECT_EQ(TTzSession::instance().find("nothing"), nullptr);
}

TEST_F(TableComponent, DisableControlsSuspendsNotificationsUntilEnabled)
{
    auto t = people();
    ASSERT_TRUE(t->setActive(true));
    addPerson(*t, 1, "Hal");
    addPerson(*t, 2, "Ivy");
    RecordingLink link;
    link.setDataSource(t.get());
    t->DisableControls();
    t->DisableControls();
    int before = link.dataChanges;
    t->GoTop();
    t->Skip(1);
    t->EnableControls();
    EXPECT_EQ(link.dataChanges, before);
    t->EnableControls();
    EXPECT_EQ(link.dataChanges, before + 1);
}

TEST_F(TableComponent, CreationOnOpenNeverTruncatesATableThatAppearedMeanwhile)
{
    auto first = people("First");
    ASSERT_TRUE(first->setActive(true));
    addPerson(*first, 1, "Kept");
    first->setActive(false);
    // A station that saw the table missing a moment ago creates it now.
    auto late = people("Late");
    EXPECT_TRUE(late->createFromFields());
    EXPECT_EQ(engine.lastError(), 0);
    ASSERT_TRUE(late->setActive(true));
    EXPECT_EQ(late->RecCount(), 1);
    EXPECT_EQ(late->getText("name"), "Kept");
    EXPECT_EQ(qb::test::readFile(dir.file("people.dbt")).size(), 513u) << "the memo file is kept too";
}
