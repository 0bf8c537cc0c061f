// Work areas, navigation with hidden records, field access, writes and their
// lock rules inside one station, Locate/Continue/Search/Peek and Pack.
#include "EngineTestSupport.h"

#include "platform/FileOps.h"

#include "platform/PosixFile.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <functional>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::test::readFile;
using qb::test::TempDir;

namespace {

class TableFixture : public ::testing::Test {
protected:
    TempDir dir;
    qb::test::FakeClock clock{fixedDay()};
    Engine e{clock};

    // A shared table "t" with the given idents and names; the listed records deleted.
    void makeTable(const std::vector<std::pair<int, std::string>>& rows, const std::vector<int>& deleted = {})
    {
        ASSERT_TRUE(e.CreateDbf(dir.file("t"), mixedFields()));
        ASSERT_TRUE(e.USE(dir.file("t") + " ALIAS tt"));
        for (const auto& [id, name] : rows)
            ASSERT_TRUE(appendIdent(e, id, name)) << e.lastErrorText();
        for (int r : deleted) {
            e.GO(r);
            ASSERT_TRUE(e.RLock());
            e.DeleteRec();
            ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
            e.UnLock();
        }
        e.FlushDbf();
    }
};

using Navigation = TableFixture;
using RecordWrites = TableFixture;
using LocateAndSearch = TableFixture;
using Packing = TableFixture;

TEST_F(Navigation, SelectAndWorkAreaErrors)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("a"), namesFields()));
    EXPECT_FALSE(e.Select(34));
    EXPECT_EQ(e.lastError(), 220);
    EXPECT_EQ(e.lastErrorText(), "Invalid workarea selected = [Select(34)]");
    ASSERT_TRUE(e.Select(5));
    e.GoTop();
    EXPECT_EQ(e.lastError(), 215);
    EXPECT_EQ(e.lastErrorText(), "No database in use [GoTop]  WorkArea = 5");
    EXPECT_TRUE(e.dEOF()); // a loop until end of file ends on a closed area
    for (int i = 1; i <= Engine::kCallerWorkAreas; ++i) {
        ASSERT_TRUE(e.Select(0));
        ASSERT_EQ(e.currentArea(), i);
        ASSERT_TRUE(e.USE(dir.file("a") + " ALIAS a" + std::to_string(i))) << e.lastErrorText();
    }
    EXPECT_FALSE(e.Select(0));
    EXPECT_EQ(e.lastErrorText(), "No free workarea available [Select(0)]");
    e.Select(7);
    e.USE("");
    EXPECT_FALSE(e.isOpen(7));
    ASSERT_TRUE(e.Select(0));
    EXPECT_EQ(e.currentArea(), 7);
    EXPECT_FALSE(e.USE(dir.file("a") + " ALIAS A3"));
    EXPECT_EQ(e.lastErrorText(), "Alias name \"A3\" already in use. [USE]");
    EXPECT_FALSE(e.isOpen(7));
}

TEST_F(Navigation, HiddenDeletedRecordsAreSteppedOver)
{
    makeTable({{1, "a"}, {2, "b"}, {3, "c"}}, {2});
    e.hideDeleted = true;
    e.GoTop();
    EXPECT_EQ(e.RecNo(), 1);
    e.Skip(1);
    EXPECT_EQ(e.RecNo(), 3);
    e.Skip(-1);
    EXPECT_EQ(e.RecNo(), 1);
    e.GO(2);
    EXPECT_EQ(e.lastError(), 0);
    EXPECT_EQ(e.RecNo(), 2);
    EXPECT_TRUE(e.Deleted());
    EXPECT_EQ(e.record()->fields[0].integer, 2);
    e.hideDeleted = false;
    e.GoTop();
    e.Skip(1);
    EXPECT_EQ(e.RecNo(), 2);
}

TEST_F(Navigation, ReplaceAfterPositioningNamesTheEmptyTable)
{
    struct Row {
        const char* what;
        int records;
        std::function<void(Engine&)> move;
        std::int64_t recNo;
        const char* text;
    };
    const std::vector<Row> rows = {
        {"GO 1, empty", 0, [](Engine& x) { x.GO(1); }, 0, "Database \"tt\" is empty. [REPLACE]"},
        {"GO 5, empty", 0, [](Engine& x) { x.GO(5); }, 0, "Database \"tt\" is empty. [REPLACE]"},
        {"GoTop, empty", 0, [](Engine& x) { x.GoTop(); }, 0, "Database \"tt\" is empty. [REPLACE]"},
        {"GoBottom, empty", 0, [](Engine& x) { x.GoBottom(); }, 0, "Database \"tt\" is empty. [REPLACE]"},
        {"Skip, empty", 0, [](Engine& x) { x.Skip(1); }, 0, "Database \"tt\" is empty. [REPLACE]"},
        {"GO 3 of 2", 2, [](Engine& x) { x.GO(3); }, 3, "Database \"tt\" is at EOF. [REPLACE]"},
        {"Skip past 2", 2, [](Engine& x) { x.GoBottom(), x.Skip(1); }, 3, "Database \"tt\" is at EOF. [REPLACE]"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        e.closeAll();
        std::vector<std::pair<int, std::string>> recs;
        for (int i = 1; i <= r.records; ++i)
            recs.push_back({i, "n"});
        makeTable(recs);
        r.move(e);
        EXPECT_EQ(e.RecNo(), r.recNo);
        e.Replace();
        EXPECT_EQ(e.lastError(), 212);
        EXPECT_EQ(e.lastErrorText(), r.text);
    }
}

TEST_F(Navigation, EndAndBeginOfFile)
{
    makeTable({{1, "a"}, {2, "b"}});
    e.GoBottom();
    EXPECT_EQ(e.RecNo(), 2);
    e.Skip(1);
    EXPECT_TRUE(e.dEOF());
    EXPECT_FALSE(e.dBOF());
    EXPECT_EQ(e.RecNo(), 3);
    EXPECT_EQ(e.record()->fields[0].integer, 0); // blank buffer at end of file
    e.Skip(1);
    EXPECT_EQ(e.lastError(), 212);
    EXPECT_EQ(e.lastErrorText(), "Database \"tt\" is past EOF. [SKIP]");
    EXPECT_EQ(e.RecNo(), 3);
    e.Skip(-1);
    EXPECT_EQ(e.RecNo(), 2);
    EXPECT_FALSE(e.dEOF());
    e.Skip(-5);
    EXPECT_TRUE(e.dBOF());
    EXPECT_EQ(e.RecNo(), 1);
    EXPECT_EQ(e.record()->fields[0].integer, 1);
    e.GO(9);
    EXPECT_EQ(e.lastError(), 212);
    EXPECT_EQ(e.lastErrorText(), "Invalid record number = 9 Database \"tt\" [GO]");
    EXPECT_TRUE(e.dEOF());
    EXPECT_EQ(e.RecNo(), 3);
    e.GO(0);
    EXPECT_EQ(e.lastError(), 212);
}

TEST_F(Navigation, AllHiddenAndEmptyTables)
{
    makeTable({{1, "a"}, {2, "b"}}, {1, 2});
    e.hideDeleted = true;
    e.GoBottom();
    EXPECT_TRUE(e.dEOF());
    EXPECT_TRUE(e.dBOF());
    EXPECT_EQ(e.RecNo(), 3);
    e.GoTop();
    EXPECT_TRUE(e.dEOF());
    EXPECT_FALSE(e.dBOF());
    e.CloseDbf();

    ASSERT_TRUE(e.CreateDbf(dir.file("empty"), namesFields()));
    ASSERT_TRUE(e.USE(dir.file("empty")));
    e.Skip(-1);
    EXPECT_EQ(e.lastError(), 212);
    EXPECT_EQ(e.lastErrorText(), "Database \"EMPTY\" is empty. [SKIP]");
    EXPECT_TRUE(e.dBOF());
    e.GO(1);
    EXPECT_EQ(e.lastErrorText(), "Invalid record number = 1 Database \"EMPTY\" [GO]");
    EXPECT_TRUE(e.dEOF() && e.dBOF());
}

TEST_F(Navigation, FilterCallbackHidesRecords)
{
    makeTable({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}});
    int calls = 0;
    e.SetFilterToCB([&] {
        ++calls;
        return e.record()->fields[0].integer % 2 == 0;
    });
    e.GoTop();
    EXPECT_EQ(e.RecNo(), 2);
    e.Skip(1);
    EXPECT_EQ(e.RecNo(), 4);
    e.Skip(1);
    EXPECT_TRUE(e.dEOF());
    e.GoBottom();
    EXPECT_EQ(e.RecNo(), 4);
    e.GO(3);
    EXPECT_EQ(e.RecNo(), 3);
    EXPECT_GT(calls, 0);
    e.SetFilterToCB(nullptr);
    e.GoTop();
    EXPECT_EQ(e.RecNo(), 1);
}

TEST_F(Navigation, FieldNamesFoldOnlyLetters)
{
    // '@' and '`', '_' and DEL differ only in the bit that tells the case of
    // a letter; they are not letters and stay different.
    ASSERT_TRUE(e.CreateDbf(dir.file("odd"), {{"a@b", 'C', 2, 0}, {"c_d", 'C', 2, 0}}));
    ASSERT_TRUE(e.USE(dir.file("odd")));
    EXPECT_EQ(e.FieldNo("A@B"), 1);
    EXPECT_EQ(e.FieldNo("a`b"), 0);
    EXPECT_EQ(e.FieldNo("C_d"), 2);
    EXPECT_EQ(e.FieldNo("c\x7f" "d"), 0);
}

TEST_F(Navigation, FieldAccess)
{
    makeTable({{42, "Smith"}});
    EXPECT_EQ(e.FieldCount(), 4);
    EXPECT_EQ(e.FieldNo("name  "), 2);
    EXPECT_EQ(e.FieldNo("NoTeS"), 4);
    EXPECT_EQ(e.FieldNo("nothing"), 0);
    EXPECT_EQ(e.FieldNo("NAMe"), 2);
    EXPECT_EQ(e.Field(3), "AMOUNT");
    EXPECT_EQ(e.FieldAddress(0), 0);
    EXPECT_EQ(e.FieldType(9), 0);
    EXPECT_EQ(e.lastError(), 220);
    EXPECT_EQ(e.lastErrorText(), "Invalid field number. [FieldType(9)]");
    EXPECT_EQ(e.FieldLen(0), 0);
    EXPECT_EQ(e.lastErrorText(), "Invalid field number. [FieldLen(0)]");
    EXPECT_EQ(e.fieldInfo(2)->offset, 5);
    EXPECT_EQ(e.SField(1), "  42");
    EXPECT_EQ(e.SField(2), "Smith     ");
    EXPECT_EQ(e.SField(3), "    0.00");
    EXPECT_EQ(e.SField(4), "none");
    e.record()->fields[3].integer = 3;
    EXPECT_EQ(e.SField(4), "MEMO");
    e.ClearRecord();
    EXPECT_EQ(e.record()->fields[1].text, std::string(10, ' '));
}

TEST_F(Navigation, PushAndPopRecord)
{
    makeTable({{1, "a"}, {2, "b"}});
    e.GO(1);
    e.PushRecord();
    e.GO(2);
    e.PopRecord();
    EXPECT_EQ(e.record()->fields[0].integer, 1);
    e.PopRecord();
    EXPECT_EQ(e.lastError(), 1103);
    EXPECT_EQ(e.lastErrorText(), "Push/Pop stack is empty [PopRecord]\r\ntt");
}

TEST_F(Navigation, SecondStationSeesAppendsWithoutReopening)
{
    makeTable({{1, "a"}});
    Engine other{clock};
    ASSERT_TRUE(other.USE(dir.file("t") + " ALIAS other"));
    EXPECT_EQ(other.RecNo(), 1);
    ASSERT_TRUE(appendIdent(e, 2, "b"));
    e.CommitDbf();
    EXPECT_EQ(other.RecCount(), 2);
    EXPECT_FALSE(other.dEOF());
    other.Skip(1);
    EXPECT_FALSE(other.dEOF());
    EXPECT_EQ(other.RecNo(), 2);
    EXPECT_EQ(other.record()->fields[1].text, "b         ");
    other.Skip(1);
    EXPECT_TRUE(other.dEOF());
    ASSERT_TRUE(appendIdent(e, 3, "c"));
    other.GoBottom();
    EXPECT_EQ(other.RecNo(), 3);
}

TEST_F(RecordWrites, ReplaceNeedsTheRecordLock)
{
    makeTable({{1, "a"}, {2, "b"}});
    e.GO(2);
    e.record()->fields[1].text = "changed";
    e.Replace();
    EXPECT_EQ(e.lastError(), 1200);
    EXPECT_EQ(e.lastErrorText(), "Record #2 in " + dir.file("t.dbf") + " [REPLACE]");
    EXPECT_EQ(e.Peek(2, 2), "b         ");
    ASSERT_TRUE(e.RLock());
    e.Replace();
    EXPECT_EQ(e.lastError(), 0);
    EXPECT_EQ(e.Peek(2, 2), "changed   ");
    EXPECT_EQ(e.record()->fields[1].text, "changed   "); // re-read after the write
    e.GO(1);
    e.Replace(); // record 2 is locked, not record 1
    EXPECT_EQ(e.lastError(), 1200);
    e.UnLock();

    e.GO(1);
    ASSERT_TRUE(e.ALock());
    e.DeleteRec(); // the append lock does not count as a record lock
    EXPECT_EQ(e.lastError(), 1200);
    EXPECT_EQ(e.lastErrorText(), dir.file("t.dbf") + " Record not locked [DeleteRec]");
    e.RecallRec();
    EXPECT_EQ(e.lastErrorText(), dir.file("t.dbf") + " Record not locked [RecallRec]");
    e.UnLock();

    e.GoBottom();
    e.Skip(1);
    e.Replace();
    EXPECT_EQ(e.lastErrorText(), "Database \"tt\" is at EOF. [REPLACE]");
    e.DeleteRec();
    EXPECT_EQ(e.lastError(), 1103);
    EXPECT_EQ(e.lastErrorText(), dir.file("t.dbf") + " at EOF [DeleteRec]");
}

TEST_F(RecordWrites, DeleteAndRecallWriteOnlyTheFlag)
{
    makeTable({{1, "a"}});
    std::string before = readFile(dir.file("t.dbf"));
    ASSERT_TRUE(e.RLock());
    e.record()->fields[1].text = "not written";
    e.DeleteRec();
    ASSERT_EQ(e.lastError(), 0);
    EXPECT_TRUE(e.Deleted());
    std::string after = readFile(dir.file("t.dbf"));
    std::size_t rec = static_cast<std::size_t>(e.headerLength());
    EXPECT_EQ(after[rec], '*');
    EXPECT_EQ(after.substr(rec + 1), before.substr(rec + 1));
    e.RecallRec();
    EXPECT_EQ(readFile(dir.file("t.dbf"))[rec], ' ');
    EXPECT_FALSE(e.Deleted());
    e.UnLock();
}

TEST_F(RecordWrites, CommitNeedsTheAppendLockAndKeepsTheTableOpen)
{
    makeTable({{1, "a"}});
    ASSERT_TRUE(e.RLock());
    e.Replace();
    e.CommitDbf();
    EXPECT_EQ(e.lastError(), 5);
    EXPECT_EQ(e.lastErrorText(), "File must be locked " + dir.file("t.dbf") + " [CommitDbf]");
    e.UnLock();
    ASSERT_TRUE(e.ALock());
    e.CommitDbf();
    EXPECT_EQ(e.lastError(), 0) << e.lastErrorText();
    EXPECT_FALSE(e.IsLocked(1));
    EXPECT_TRUE(e.isOpen(1));
    EXPECT_EQ(e.RecNo(), 1);
    Engine other{clock};
    ASSERT_TRUE(other.USE(dir.file("t") + " ALIAS o"));
    EXPECT_TRUE(other.ALock()); // the commit released the append lock
}

TEST_F(RecordWrites, ExclusiveTablesNeedNoLocks)
{
    makeTable({{1, "a"}});
    e.CloseDbf();
    ASSERT_TRUE(e.USE(dir.file("t") + " EXCLUSIVE"));
    EXPECT_TRUE(e.isExclusive());
    e.record()->fields[0].integer = 5;
    e.Replace();
    EXPECT_EQ(e.lastError(), 0);
    e.Append();
    EXPECT_EQ(e.lastError(), 0);
    EXPECT_EQ(e.RecCount(), 2);
    EXPECT_TRUE(e.ALock());
    e.UnLock();
    EXPECT_TRUE(e.RLock());
    qb::platform::PosixFile probe;
    ASSERT_EQ(probe.open(dir.file("t.dbf"), qb::platform::Access::ReadWrite, qb::platform::Share::NoSharing), 0);
    EXPECT_FALSE(probe.probe(Engine::kLockBase, Engine::kFileLockLength + 1, true)); // no bytes locked
    e.CloseDbf();
    EXPECT_EQ(readFile(dir.file("t.dbf")).size(), static_cast<std::size_t>(97 + 32 * 2 + 2 * 33 + 1));
}

TEST_F(LocateAndSearch, LocateMatchesPrefixesUnlessExact)
{
    makeTable({{1, "Anderson"}, {2, "Andy"}, {3, "andrew"}, {4, "Bo"}});
    FieldValue v;
    v.text = "And";
    EXPECT_TRUE(e.Locate("name", v));
    EXPECT_EQ(e.RecNo(), 1);
    EXPECT_TRUE(e.Continue());
    EXPECT_EQ(e.RecNo(), 2);
    EXPECT_FALSE(e.Continue()); // "andrew" differs in case
    EXPECT_TRUE(e.dEOF());
    EXPECT_TRUE(e.Locate("NAME NOCASE", v));
    EXPECT_TRUE(e.Continue());
    EXPECT_TRUE(e.Continue());
    EXPECT_EQ(e.RecNo(), 3);

    v.text = "Andy";
    EXPECT_TRUE(e.Locate("name EXACT", v)); // stored form is padded to the width
    EXPECT_EQ(e.RecNo(), 2);
    v.text = "And";
    EXPECT_FALSE(e.Locate("name EXACT", v));
    v.text = "dre";
    EXPECT_TRUE(e.Locate("name CONTAINED", v));
    EXPECT_EQ(e.RecNo(), 3);

    FieldValue n;
    n.integer = 4;
    EXPECT_TRUE(e.Locate("ident", n));
    EXPECT_EQ(e.RecNo(), 4);

    EXPECT_FALSE(e.Locate("  ", v));
    EXPECT_EQ(e.lastErrorText(), "No field name specified [LOCATE/COUNT/SUM]");
    EXPECT_FALSE(e.Locate("nofield EXACT", v));
    EXPECT_EQ(e.lastErrorText(), "Unrecognized field name [LOCATE/COUNT/SUM(nofield EXACT)]");
    Engine fresh{clock};
    ASSERT_TRUE(fresh.USE(dir.file("t") + " ALIAS f"));
    EXPECT_FALSE(fresh.Continue());
    EXPECT_EQ(fresh.lastErrorText(), "Call to CONTINUE not preceeded by call to LOCATE. [CONTINUE]");
}

TEST_F(LocateAndSearch, LocateLooksInsideMemoLines)
{
    makeTable({{1, "a"}, {2, "b"}});
    e.GO(2);
    ASSERT_TRUE(e.SetMemo(4, {"first line", "call Mr Smith back"}));
    ASSERT_TRUE(e.RLock());
    e.Replace();
    e.UnLock();
    FieldValue v;
    v.text = "smith";
    EXPECT_TRUE(e.Locate("notes NOCASE", v));
    EXPECT_EQ(e.RecNo(), 2);
}

TEST_F(LocateAndSearch, SearchFindsKeysInsideOneField)
{
    makeTable({{15, "alpha"}, {7, "beta"}, {3, "gamma15"}, {8, "delta"}}, {1});
    int field = 0;
    EXPECT_TRUE(e.Search("5", field, true)); // a part of a longer value matches
    EXPECT_EQ(e.RecNo(), 1);
    EXPECT_EQ(field, 1);
    field = 2;
    EXPECT_TRUE(e.Search("15", field, true));
    EXPECT_EQ(e.RecNo(), 3);
    EXPECT_EQ(field, 2);
    field = 0;
    EXPECT_TRUE(e.Search("DELTA  ", field, false)); // continues after record 3, trailing blanks dropped
    EXPECT_EQ(e.RecNo(), 4);
    EXPECT_EQ(field, 2);

    e.hideDeleted = true;
    field = 0;
    EXPECT_TRUE(e.Search("15", field, true)); // record 1 is hidden
    EXPECT_EQ(field, 2);
    EXPECT_EQ(e.RecNo(), 3);

    e.GO(2);
    field = 0;
    EXPECT_FALSE(e.Search("nowhere", field, true));
    EXPECT_EQ(field, 0);
    EXPECT_EQ(e.RecNo(), 2); // back where it started
    EXPECT_EQ(e.record()->fields[1].text, "beta      ");
    field = 0;
    EXPECT_FALSE(e.Search("a  1", field, true)); // would span two fields
}

TEST_F(LocateAndSearch, PeekReadsStoredTextWithoutMoving)
{
    makeTable({{1, "a"}, {2, "b"}});
    e.GO(1);
    EXPECT_EQ(e.Peek(2, 2), "b         ");
    EXPECT_EQ(e.RecNo(), 1);
    EXPECT_EQ(e.Peek(2, 5), "");
    EXPECT_EQ(e.lastError(), 212);
}

TEST_F(Packing, PackRemovesDeletedRecordsAndTheirMemos)
{
    makeTable({{1, "a"}, {2, "b"}, {3, "c"}, {4, "d"}});
    for (int r = 1; r <= 4; ++r) {
        e.GO(r);
        ASSERT_TRUE(e.SetMemo(4, {"memo of " + std::to_string(r), std::string(200, static_cast<char>('a' + r)),
                                  std::string(200, static_cast<char>('a' + r)), std::string(200, static_cast<char>('a' + r))}));
        ASSERT_TRUE(e.RLock());
        e.Replace();
        e.UnLock();
    }
    for (int r : {1, 3}) {
        e.GO(r);
        ASSERT_TRUE(e.RLock());
        e.DeleteRec();
        e.UnLock();
    }
    const std::size_t memoBefore = readFile(dir.file("t.dbt")).size();
    EXPECT_TRUE(e.Pack()) << e.lastErrorText();
    EXPECT_EQ(e.RecCount(), 2);
    EXPECT_EQ(e.RecNo(), 1);
    EXPECT_FALSE(e.isExclusive());
    std::string b = readFile(dir.file("t.dbf"));
    EXPECT_EQ(b.size(), static_cast<std::size_t>(e.headerLength() + 2 * e.recordLength() + 1));
    EXPECT_EQ(u32At(b, 4), 2u);
    EXPECT_EQ(static_cast<unsigned char>(b.back()), 0x1A);
    std::string m = readFile(dir.file("t.dbt"));
    EXPECT_LT(m.size(), memoBefore);
    EXPECT_EQ(m.size(), 512u * 5); // header + two memos of two blocks
    EXPECT_EQ(u32At(m, 0), 5u);
    EXPECT_EQ(m.find("memo of 1"), std::string::npos);
    e.GO(1);
    EXPECT_EQ(e.record()->fields[0].integer, 2);
    EXPECT_EQ(e.GetMemo(4), (std::vector<std::string>{"memo of 2", std::string(200, 'c'), std::string(200, 'c'),
                                                       std::string(200, 'c')}));
    e.GO(2);
    EXPECT_EQ(e.record()->fields[0].integer, 4);
    EXPECT_EQ(e.GetMemo(4), (std::vector<std::string>{"memo of 4", std::string(200, 'e'), std::string(200, 'e'),
                                                       std::string(200, 'e')}));
    // The table is shared again: another station may open it.
    Engine other{clock};
    EXPECT_TRUE(other.USE(dir.file("t") + " ALIAS o"));
}

TEST_F(Packing, PackFailsWhileAnotherStationHasTheTableOpen)
{
    makeTable({{1, "a"}, {2, "b"}}, {1});
    Engine other{clock};
    ASSERT_TRUE(other.USE(dir.file("t") + " ALIAS o"));
    const std::string before = readFile(dir.file("t.dbf"));
    EXPECT_FALSE(e.Pack());
    EXPECT_EQ(e.lastError(), 32);
    EXPECT_TRUE(e.isOpen(1));
    EXPECT_EQ(readFile(dir.file("t.dbf")), before);
    EXPECT_EQ(e.RecCount(), 2);
    other.CloseDbf();
    EXPECT_TRUE(e.Pack());
    EXPECT_EQ(e.RecCount(), 1);
    EXPECT_EQ(e.record()->fields[0].integer, 2);
}

TEST_F(Packing, PackingAwayEverythingLeavesAnEmptyTable)
{
    makeTable({{1, "a"}, {2, "b"}}, {1, 2});
    EXPECT_TRUE(e.Pack());
    EXPECT_EQ(e.RecCount(), 0);
    EXPECT_TRUE(e.dEOF());
    EXPECT_TRUE(e.dBOF());
    EXPECT_EQ(readFile(dir.file("t.dbf")).size(), static_cast<std::size_t>(e.headerLength() + 1));
}

using OpenModes = TableFixture;

TEST_F(OpenModes, OverrideChoosesAccessAndSharing)
{
    makeTable({{1, "a"}});
    e.CloseDbf();
    e.openModeOverride = openmode::kReadOnlyDenyNone;
    ASSERT_TRUE(e.USE(dir.file("t")));
    ASSERT_TRUE(e.RLock());
    e.Replace();
    EXPECT_EQ(e.lastError(), 5);
    e.CloseDbf();

    e.openModeOverride = openmode::kReadWriteDenyAll;
    ASSERT_TRUE(e.USE(dir.file("t")));
    Engine other{clock};
    EXPECT_FALSE(other.USE(dir.file("t")));
    EXPECT_EQ(other.lastError(), 32);
    e.CloseDbf();
    e.openModeOverride = openmode::kNone;
}

TEST_F(OpenModes, CommandKeywordsAndBlanksInNames)
{
    ASSERT_EQ(qb::platform::makeDirs(dir.file("My Data")), 0);
    ASSERT_TRUE(e.CreateDbf(dir.file("My Data/names"), namesFields()));
    ASSERT_TRUE(e.USE(dir.file("My Data/names") + " ALIAS first EXCLUSIVE")) << e.lastErrorText();
    EXPECT_TRUE(e.isExclusive());
    EXPECT_EQ(e.alias(), "first");
    e.CloseDbf();
    ASSERT_TRUE(e.USE("  " + dir.file("My Data/names.dbf") + "  exclusive   alias  second  "));
    EXPECT_TRUE(e.isExclusive());
    EXPECT_EQ(e.alias(), "second");
}

TEST_F(OpenModes, CreationRefusedWhileTheTableIsOpen)
{
    makeTable({{1, "a"}});
    const std::string before = readFile(dir.file("t.dbf"));
    Engine other{clock};
    EXPECT_FALSE(other.CreateDbf(dir.file("t"), mixedFields()));
    EXPECT_EQ(other.lastError(), 32);
    EXPECT_EQ(readFile(dir.file("t.dbf")), before);
    e.CloseDbf();
    EXPECT_TRUE(other.CreateDbf(dir.file("t"), mixedFields()));
}

} // namespace
