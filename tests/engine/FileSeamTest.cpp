// The engine through its file seam: two stations meeting on the real files
// and on in-memory ones alike, and faults the real files cannot be made to
// show on demand (a full disk, a failed sync, a refused rename, a lock that
// vanishes), injected with the fault-injecting files.
#include "EngineTestSupport.h"

#include "platform/FaultyFileSystem.h"
#include "platform/MemoryFileSystem.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <map>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::platform::FaultOp;
using qb::platform::FaultyFileSystem;
using qb::platform::FileSystem;
using qb::platform::MemoryFileSystem;
using qb::test::TempDir;

namespace {

// --- two stations, on either kind of files -------------------------------------

enum class Files { Posix, Memory };

class TwoStations : public ::testing::TestWithParam<Files> {
protected:
    TempDir dir;
    MemoryFileSystem mem;
    FileSystem& fs = GetParam() == Files::Posix ? FileSystem::posix() : mem;
    std::string table = (GetParam() == Files::Posix ? dir.path() : std::string("/share")) + "/t.dbf";
    qb::test::FakeClock clock{fixedDay()};
    Engine a{fs, clock};
    Engine b{fs, clock};

    void SetUp() override
    {
        ASSERT_TRUE(a.CreateDbf(table, mixedFields())) << a.lastErrorText();
        ASSERT_TRUE(a.USE(table + " ALIAS a")) << a.lastErrorText();
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(appendIdent(a, i, "n" + std::to_string(i)));
        ASSERT_TRUE(b.USE(table + " ALIAS b")) << b.lastErrorText();
    }
};

TEST_P(TwoStations, AppendLockExcludesTheOtherStationUntilUnlocked)
{
    b.setRetry(2, 0);
    ASSERT_TRUE(a.ALock());
    const auto before = b.lockAttempts();
    EXPECT_FALSE(b.ALock());
    EXPECT_EQ(b.lockAttempts() - before, 3u) << "retries + 1 attempts";
    EXPECT_FALSE(b.FLock()) << "the file lock covers the append byte";
    a.UnLock();
    EXPECT_TRUE(b.ALock());
}

TEST_P(TwoStations, RecordLocksOfDifferentRecordsAndTheAppendLockCoexist)
{
    a.GO(2);
    ASSERT_TRUE(a.RLock());
    b.GO(2);
    EXPECT_FALSE(b.RLock());
    b.GO(3);
    EXPECT_TRUE(b.RLock());
    b.UnLock();
    EXPECT_TRUE(b.ALock());
}

TEST_P(TwoStations, ExclusiveOpenIsRefusedWhileTheOtherHasTheTable)
{
    Engine c{fs, clock};
    EXPECT_FALSE(c.USE(table + " EXCLUSIVE"));
    EXPECT_EQ(c.lastError(), 32);
    a.CloseDbf();
    b.CloseDbf();
    ASSERT_TRUE(c.USE(table + " EXCLUSIVE"));
    EXPECT_FALSE(a.USE(table));
    EXPECT_EQ(a.lastError(), 32);
}

TEST_P(TwoStations, AppendsAndMemosOfOneAreSeenByTheOther)
{
    ASSERT_TRUE(appendWith(a, [](TypedRecord&) {}));
    a.GoBottom();
    ASSERT_TRUE(a.SetMemo(4, {"first", "second"}));
    ASSERT_TRUE(a.RLock());
    a.Replace();
    a.UnLock();
    ASSERT_EQ(a.lastError(), 0) << a.lastErrorText();
    EXPECT_EQ(b.RecCount(), 4);
    b.GO(4);
    EXPECT_EQ(b.GetMemo(4), (std::vector<std::string>{"first", "second"}));
    // The memo block is taken after the memo lock, so B's memo follows A's.
    ASSERT_TRUE(b.SetMemo(4, {"from b"}));
    EXPECT_GT(b.record()->fields[3].integer, a.record()->fields[3].integer);
}

TEST_P(TwoStations, PackWaitsForTheOtherStationAndThenKeepsTheLiveRecords)
{
    b.GO(2);
    ASSERT_TRUE(b.RLock());
    b.DeleteRec();
    b.UnLock();
    EXPECT_FALSE(a.Pack()) << "b has the table open";
    EXPECT_EQ(a.RecCount(), 3);
    b.CloseDbf();
    ASSERT_TRUE(a.Pack()) << a.lastErrorText();
    ASSERT_TRUE(b.USE(table));
    std::vector<std::int64_t> idents;
    for (b.GoTop(); !b.dEOF(); b.Skip(1))
        idents.push_back(b.record()->fields[0].integer);
    EXPECT_EQ(idents, (std::vector<std::int64_t>{1, 3}));
}

INSTANTIATE_TEST_SUITE_P(EitherFiles, TwoStations, ::testing::Values(Files::Posix, Files::Memory),
                         [](const auto& info) { return info.param == Files::Posix ? "Posix" : "Memory"; });

// --- a scan while the file changes under it --------------------------------------

// A reader in the middle of a scan, the table changed by someone else, the
// scan carried on to its end. Records are 255 bytes, so that a read-ahead
// block holds a few hundred and the table spans several.
class ScanWhileTheFileChanges : public ::testing::TestWithParam<Files> {
protected:
    static constexpr int kRecords = 1000;
    static constexpr int kHeader = 32 + 2 * 32 + 1;
    static constexpr int kRecordLen = 1 + 4 + 250;
    TempDir dir;
    MemoryFileSystem mem;
    FileSystem& fs = GetParam() == Files::Posix ? FileSystem::posix() : mem;
    std::string table = (GetParam() == Files::Posix ? dir.path() : std::string("/share")) + "/t.dbf";
    qb::test::FakeClock clock{fixedDay()};
    Engine writer{fs, clock};
    Engine reader{fs, clock};

    // A fresh table of kRecords records, open in both.
    void prepare()
    {
        ASSERT_TRUE(writer.CreateDbf(table, {{"ident", 'N', 4, 0}, {"pad", 'C', 250, 0}}));
        ASSERT_TRUE(writer.USE(table + " ALIAS w"));
        appendMore(kRecords);
        ASSERT_TRUE(reader.USE(table + " ALIAS r"));
    }

    // Appends idents count+1 .. count+n under one append lock.
    void appendMore(int n)
    {
        ASSERT_TRUE(writer.ALock());
        const std::int64_t first = writer.RecCount() + 1;
        for (std::int64_t i = first; i < first + n; ++i) {
            writer.ClearRecord();
            writer.record()->fields[0].integer = i;
            writer.Append();
        }
        writer.FlushDbf();
        writer.UnLock();
        ASSERT_EQ(writer.lastError(), 0) << writer.lastErrorText();
    }

    // Cuts the file to `bytes`, as a program that ignores the share byte
    // could.
    void cutTo(std::int64_t bytes)
    {
        if (GetParam() == Files::Posix)
            ASSERT_EQ(::truncate(table.c_str(), bytes), 0);
        else
            mem.setContents(table, mem.contents(table).substr(0, static_cast<std::size_t>(bytes)));
    }
    static std::int64_t sizeOf(std::int64_t records) { return kHeader + records * kRecordLen; }
};

TEST_P(ScanWhileTheFileChanges, TheScanEndsWhereTheFileEnds)
{
    struct Row {
        const char* what;
        int at;                           // the record the reader stands on
        std::function<void()> change;     // made by someone else meanwhile
        int lastSeenAtLeast, lastSeenAtMost; // the scan's last record
        int count;                        // RecCount after the scan
    };
    const std::vector<Row> rows = {
        {"appends while the scan is in its first block", 1, [&] { appendMore(5); }, 1005, 1005, 1005},
        {"appends while the scan stands on the last record it knew", kRecords, [&] { appendMore(3); }, 1003, 1003, 1003},
        {"appends one block before the end", 700, [&] { appendMore(400); }, 1400, 1400, 1400},
        {"cut beyond the block being read", 1, [&] { cutTo(sizeOf(600)); }, 600, 600, 600},
        {"cut in the middle of a record", 1, [&] { cutTo(sizeOf(600) + 100); }, 600, 600, 600},
        // Records of the block already read may still be shown, never more.
        {"cut behind the reader", 700, [&] { cutTo(sizeOf(300)); }, 700, 700 + 64 * 1024 / kRecordLen, 300},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        prepare();
        reader.GoTop();
        for (int i = 1; i < row.at; ++i)
            reader.Skip(1);
        ASSERT_EQ(reader.RecNo(), row.at);
        row.change();
        std::int64_t last = reader.record()->fields[0].integer;
        for (;;) {
            reader.Skip(1);
            ASSERT_EQ(reader.lastError(), 0) << "the end of the file is no failure: " << reader.lastErrorText();
            if (reader.dEOF())
                break;
            ASSERT_EQ(reader.record()->fields[0].integer, last + 1) << "every record once, in order";
            last = reader.record()->fields[0].integer;
        }
        EXPECT_GE(last, row.lastSeenAtLeast);
        EXPECT_LE(last, row.lastSeenAtMost);
        EXPECT_EQ(reader.RecCount(), row.count);
        reader.GO(row.count + 1);
        EXPECT_EQ(reader.lastError(), err::kRange) << "nothing past the end";
        reader.CloseDbf();
        writer.CloseDbf();
    }
}

INSTANTIATE_TEST_SUITE_P(EitherFiles, ScanWhileTheFileChanges, ::testing::Values(Files::Posix, Files::Memory),
                         [](const auto& info) { return info.param == Files::Posix ? "Posix" : "Memory"; });

// --- faults ------------------------------------------------------------------------

const std::string kTable = "/share/t.dbf";
const std::string kMemo = "/share/t.dbt";

std::string memoText(std::int64_t ident, int version) { return "memo " + std::to_string(ident) + " v" + std::to_string(version); }

// A shared directory in memory with a table of idents 1..count, each with
// its memo, and what the test expects each live record to hold.
class Share {
public:
    MemoryFileSystem mem;
    qb::test::FakeClock clock{fixedDay()};
    std::map<std::int64_t, int> expected; // ident -> memo version

    void make(int count)
    {
        Engine e{mem, clock};
        ASSERT_TRUE(e.CreateDbf(kTable, mixedFields()));
        ASSERT_TRUE(e.USE(kTable));
        for (int i = 1; i <= count; ++i)
            append(e, i);
    }
    void append(Engine& e, std::int64_t ident)
    {
        e.ClearRecord();
        e.record()->fields[0].integer = ident;
        ASSERT_TRUE(e.SetMemo(4, {memoText(ident, 1)})) << e.lastErrorText();
        ASSERT_TRUE(e.ALock());
        e.Append();
        ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
        e.FlushDbf();
        e.UnLock();
        expected[ident] = 1;
    }
    void replace(Engine& e, std::int64_t ident)
    {
        for (e.GoTop(); !e.dEOF() && e.record()->fields[0].integer != ident; e.Skip(1)) {
        }
        ASSERT_FALSE(e.dEOF()) << "record " << ident;
        const int v = expected[ident] + 1;
        ASSERT_TRUE(e.SetMemo(4, {memoText(ident, v)})) << e.lastErrorText();
        ASSERT_TRUE(e.RLock());
        e.Replace();
        ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
        e.UnLock();
        expected[ident] = v;
    }
    void remove(Engine& e, std::int64_t ident)
    {
        for (e.GoTop(); !e.dEOF() && e.record()->fields[0].integer != ident; e.Skip(1)) {
        }
        ASSERT_TRUE(e.RLock());
        e.DeleteRec();
        e.UnLock();
        expected.erase(ident);
    }
    // Every live record of a fresh open with its memo, as "ident:memo".
    std::vector<std::string> live()
    {
        Engine e{mem, clock};
        if (!e.USE(kTable))
            return {"open failed: " + e.lastErrorText()};
        std::vector<std::string> rows;
        for (e.GoTop(); !e.dEOF(); e.Skip(1)) {
            if (e.Deleted())
                continue;
            auto memo = e.GetMemo(4);
            rows.push_back(std::to_string(e.record()->fields[0].integer) + ":"
                           + (e.lastError() ? "error " + std::to_string(e.lastError()) : memo.empty() ? "-" : memo[0]));
        }
        return rows;
    }
    std::vector<std::string> wanted() const
    {
        std::vector<std::string> rows;
        for (auto [ident, v] : expected)
            rows.push_back(std::to_string(ident) + ":" + memoText(ident, v));
        return rows;
    }
    std::vector<std::string> leftovers()
    {
        std::vector<std::string> names;
        for (const auto& n : mem.list("/share"))
            if (n != "t.dbf" && n != "t.dbt")
                names.push_back(n);
        return names;
    }
};

// A write that fails (disk full, I/O error) in the middle of each kind of
// change: the change is reported, and a fresh open shows every committed
// record with its memo.
TEST(WriteFaults, FailedWriteLeavesEveryCommittedRecordReadable)
{
    struct Case {
        const char* what;
        FaultOp op;
        int err;
        const char* path;
        int expectCode;
    };
    for (Case c : {Case{"append: the record", FaultOp::Write, ENOSPC, "t.dbf", 101},
                   Case{"append: the memo", FaultOp::Write, ENOSPC, "t.dbt", 101},
                   Case{"replace: the record", FaultOp::Write, EIO, "t.dbf", 101},
                   Case{"replace: the memo", FaultOp::Write, EIO, "t.dbt", 101},
                   Case{"memo sync", FaultOp::Sync, EIO, "t.dbt", 101},
                   Case{"pack: the packed table", FaultOp::Write, ENOSPC, "t.pkd", 101},
                   Case{"pack: the packed memo", FaultOp::Write, ENOSPC, "t.pkm", 101},
                   Case{"pack: syncing the packed table", FaultOp::Sync, EIO, "t.pkd", 101},
                   Case{"pack: the marker", FaultOp::Write, ENOSPC, "t.pk$", 101}}) {
        SCOPED_TRACE(c.what);
        Share share;
        share.make(4);
        FaultyFileSystem faulty(share.mem);
        Engine e{faulty, share.clock};
        ASSERT_TRUE(e.USE(kTable));
        const std::string what = c.what;
        e.GO(2);
        ASSERT_TRUE(e.RLock());
        e.DeleteRec();
        e.UnLock();
        share.expected.erase(2);
        const std::string tableBefore = share.mem.contents(kTable);
        faulty.failNth(c.op, 1, c.err, c.path);
        int code = 0; // the error of the step that failed
        auto step = [&](bool ok) {
            if (!ok && code == 0)
                code = e.lastError();
            return ok;
        };
        if (what.rfind("append", 0) == 0) {
            e.ClearRecord();
            e.record()->fields[0].integer = 9;
            if (step(e.SetMemo(4, {memoText(9, 1)})) && step(e.ALock())) {
                e.Append();
                step(e.lastError() == 0);
                e.UnLock();
            }
        } else if (what.rfind("pack", 0) == 0) {
            EXPECT_FALSE(step(e.Pack()));
            EXPECT_EQ(share.mem.contents(kTable), tableBefore) << "the table is as it was";
        } else {
            e.GO(3);
            if (step(e.SetMemo(4, {memoText(3, 2)})) && step(e.RLock())) {
                e.Replace();
                step(e.lastError() == 0);
                e.UnLock();
            }
        }
        EXPECT_EQ(faulty.fired(), 1);
        EXPECT_EQ(code, c.expectCode);
        e.CloseDbf();
        EXPECT_EQ(share.live(), share.wanted());
        EXPECT_EQ(share.leftovers(), std::vector<std::string>{});
    }
}

// A lock that vanishes while held (lease or session lost): the next write
// that needs it reports the lock as lost and writes nothing.
TEST(LostLocks, WriteAfterAVanishedLockIsRefused)
{
    struct Case {
        const char* what;
        int err;
    };
    for (Case c : {Case{"replace", EIO}, Case{"append", ENOLCK}, Case{"delete", EIO}, Case{"flush after append", ENOLCK}}) {
        SCOPED_TRACE(c.what);
        const std::string what = c.what;
        Share share;
        share.make(3);
        FaultyFileSystem faulty(share.mem);
        Engine e{faulty, share.clock};
        ASSERT_TRUE(e.USE(kTable));
        e.GO(2);
        std::string before;
        if (what == "flush after append") {
            ASSERT_TRUE(e.ALock());
            e.ClearRecord();
            e.record()->fields[0].integer = 4;
            e.Append();
            ASSERT_EQ(e.lastError(), 0);
            before = share.mem.contents(kTable);
            faulty.dropLocks("t.dbf", c.err);
            e.FlushDbf();
        } else {
            ASSERT_TRUE(what == "append" ? e.ALock() : e.RLock());
            before = share.mem.contents(kTable);
            faulty.dropLocks("t.dbf", c.err);
            e.record()->fields[0].integer = 99;
            if (what == "replace")
                e.Replace();
            else if (what == "append")
                e.Append();
            else
                e.DeleteRec();
        }
        EXPECT_EQ(e.lastError(), 33);
        EXPECT_NE(e.lastErrorText().find("Lock lost on"), std::string::npos) << e.lastErrorText();
        EXPECT_EQ(share.mem.contents(kTable), before) << "nothing written after the lock was lost";
        e.UnLock();
        // Another station can take the lock the first one lost.
        Engine other{share.mem, share.clock};
        ASSERT_TRUE(other.USE(kTable));
        other.GO(2);
        EXPECT_TRUE(what == "replace" || what == "delete" ? other.RLock() : other.ALock());
    }
}

// A rename refused at each step of a pack (on a share, a station holding the
// file open without the share-mode byte refuses it), then other stations
// append, replace and write memos, then a fresh open: nothing is lost and
// every memo belongs to its record.
TEST(PackRenameFaults, RefusedRenameAtEachStepLosesNothing)
{
    struct Case {
        const char* step;
        std::vector<int> renamesRefused; // which renames of the pack fail (1 memo, 2 table, 3 memo put back)
        bool areaClosed;                 // the packing area had to give up its table
        bool packed;                     // the deleted records are gone at the end
    };
    for (const Case& c : {Case{"the memo rename", {1}, false, false}, Case{"the table rename", {2}, false, false},
                          Case{"the table rename and putting the old memo back", {2, 3}, true, true}}) {
        SCOPED_TRACE(c.step);
        Share share;
        share.make(6);
        FaultyFileSystem faulty(share.mem);
        Engine packer{faulty, share.clock};
        ASSERT_TRUE(packer.USE(kTable));
        share.remove(packer, 2);
        share.remove(packer, 5);
        const std::string tableBefore = share.mem.contents(kTable);
        const std::string memoBefore = share.mem.contents(kMemo);
        for (int n : c.renamesRefused)
            faulty.failNth(FaultOp::Rename, n, EACCES);

        EXPECT_FALSE(packer.Pack());
        EXPECT_EQ(packer.lastError(), 5) << packer.lastErrorText();
        EXPECT_NE(packer.lastErrorText().find("Error packing"), std::string::npos) << packer.lastErrorText();
        EXPECT_EQ(faulty.fired(), static_cast<int>(c.renamesRefused.size()));
        EXPECT_EQ(packer.isOpen(packer.currentArea()), !c.areaClosed);
        if (!c.areaClosed) {
            EXPECT_EQ(share.mem.contents(kTable), tableBefore) << "the table is exactly as before";
            EXPECT_EQ(share.mem.contents(kMemo), memoBefore);
            EXPECT_EQ(share.leftovers(), std::vector<std::string>{});
            // The packing station carries on with its table.
            share.append(packer, 7);
            share.replace(packer, 3);
            packer.CloseDbf();
        }

        // Another station, later: its open finishes or finds nothing to do.
        Engine other{share.mem, share.clock};
        ASSERT_TRUE(other.USE(kTable)) << other.lastErrorText();
        share.append(other, 8);
        share.replace(other, 4);
        share.replace(other, 1);
        other.CloseDbf();

        EXPECT_EQ(share.live(), share.wanted());
        EXPECT_EQ(share.leftovers(), std::vector<std::string>{});
        Engine count{share.mem, share.clock};
        ASSERT_TRUE(count.USE(kTable));
        EXPECT_EQ(count.RecCount(), static_cast<std::int64_t>(share.expected.size()) + (c.packed ? 0 : 2))
            << "deleted records are gone only where the pack went through";
    }
}

// A pack of a table without memos cut short after its marker: an open whose
// rename into place is refused keeps the old table, which is whole, and
// leaves nothing behind.
TEST(PackRenameFaults, RefusedRollForwardOfATableWithoutMemosKeepsTheOldTable)
{
    MemoryFileSystem mem;
    qb::test::FakeClock clock{fixedDay()};
    const std::string table = "/share/n.dbf";
    {
        Engine e{mem, clock};
        ASSERT_TRUE(e.CreateDbf(table, namesFields()));
        ASSERT_TRUE(e.USE(table));
        for (int i = 1; i <= 3; ++i)
            ASSERT_TRUE(appendIdent(e, i));
    }
    const std::string old = mem.contents(table);
    mem.setContents("/share/n.pkd", "the packed table");
    auto line = [&](const char* what, const std::string& path) {
        qb::platform::FileIdentity id;
        EXPECT_EQ(mem.stat(path, id), 0);
        return std::string(what) + " " + std::to_string(id.device) + " " + std::to_string(id.inode) + " "
               + std::to_string(id.size) + " " + std::to_string(id.mtimeNs) + "\r\n";
    };
    mem.setContents("/share/n.pk$", "pack committed: rename the .pkm and .pkd files into place if the files are these\r\n"
                                         + line("table", table) + line("packed-table", "/share/n.pkd") + "end\r\n");
    FaultyFileSystem faulty(mem);
    faulty.failNth(FaultOp::Rename, 1, EACCES);
    Engine e{faulty, clock};
    ASSERT_TRUE(e.USE(table)) << e.lastErrorText();
    EXPECT_EQ(faulty.fired(), 1);
    EXPECT_EQ(e.RecCount(), 3);
    EXPECT_EQ(mem.contents(table), old);
    EXPECT_EQ(mem.list("/share"), std::vector<std::string>{"n.dbf"});
}

} // namespace
