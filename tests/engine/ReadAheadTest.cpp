// The read-ahead block of a work area: it serves the pass that read it, so
// another station's rewrite shows on the next pass whatever the clocks say,
// own writes and locks drop it, and blocks read forwards and backwards hand
// out the right records.
#include "EngineTestSupport.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <fcntl.h>
#include <sys/stat.h>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::test::TempDir;

namespace {

using std::chrono::milliseconds;

// Our clock an hour past the table's last write (once the only thing that
// made a block trusted).
constexpr milliseconds kLongAfter{3'600'000};

std::int64_t mtimeNs(const std::string& path)
{
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

// Stamps the file's last-write time, as a write in the same clock tick would
// leave it.
void setMtimeNs(const std::string& path, std::int64_t ns)
{
    timespec ts[2];
    ts[0].tv_sec = 0;
    ts[0].tv_nsec = UTIME_OMIT;
    ts[1].tv_sec = ns / 1000000000;
    ts[1].tv_nsec = ns % 1000000000;
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), ts, 0), 0);
}

qb::platform::Clock::TimePoint timeAt(std::int64_t ns)
{
    return qb::platform::Clock::TimePoint(
        std::chrono::duration_cast<qb::platform::Clock::TimePoint::duration>(std::chrono::nanoseconds(ns)));
}

class ReadAhead : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("t.dbf");
    Engine writer;                // the other station, real time
    qb::test::FakeClock clock; // ours, set against the file's time
    Engine reader{clock};

    void SetUp() override
    {
        ASSERT_TRUE(writer.CreateDbf(path, namesFields()));
        ASSERT_TRUE(writer.USE(path));
        for (int i = 1; i <= 10; ++i)
            ASSERT_TRUE(appendIdent(writer, i)) << writer.lastErrorText();
        writer.FlushDbf();
        // A last write well in the past, so that only the reader's clock
        // decides whether a block read now counts as quiet.
        m_written = mtimeNs(path) - 10'000'000'000LL;
        setMtimeNs(path, m_written);
    }

    void rewrite(std::int64_t recNo, std::int64_t ident)
    {
        writer.GO(recNo);
        ASSERT_TRUE(writer.RLock());
        writer.record()->fields[0].integer = ident;
        writer.Replace();
        ASSERT_EQ(writer.lastError(), 0) << writer.lastErrorText();
        writer.FlushDbf();
        writer.UnLock();
    }

    std::int64_t ident() { return reader.record()->fields[0].integer; }

    // The reader at record 1 of the shared table, its clock `after` past
    // the table's last write.
    void openReader(milliseconds after)
    {
        clock.set(timeAt(m_written) + after);
        ASSERT_TRUE(reader.USE(path));
        reader.GoTop();
        ASSERT_FALSE(reader.dEOF());
        ASSERT_EQ(ident(), 1);
    }

    std::int64_t m_written = 0;
};

TEST_F(ReadAhead, APassIsServedFromItsBlock)
{
    // What makes the block worth having: once a pass has read it, the pass
    // goes on without asking the file, and a rewrite made meanwhile shows on
    // the next pass, not in this one.
    openReader(kLongAfter);
    rewrite(2, 200);
    ASSERT_FALSE(reader.dEOF());
    reader.Skip(1);
    EXPECT_EQ(ident(), 2);
    reader.GoTop();
    reader.Skip(1);
    EXPECT_EQ(ident(), 200);
}

TEST_F(ReadAhead, RewriteByAnotherStationIsSeenByTheNextPass)
{
    struct Row {
        const char* what;
        std::int64_t recNo;
        std::function<void(Engine&)> read; // reads recNo again after the rewrite
    };
    const std::vector<Row> rows = {
        {"GoTop and Skip", 2, [](Engine& e) { e.GoTop(), e.Skip(1); }},
        {"GO", 9, [](Engine& e) { e.GO(9); }},
        {"GoBottom", 10, [](Engine& e) { e.GoBottom(); }},
        {"GoBottom and Skip back", 9, [](Engine& e) { e.GoBottom(), e.Skip(-1); }},
        {"a turn of direction", 4, [](Engine& e) { e.GO(5), e.Skip(-1); }},
        {"Locate", 7, [](Engine& e) {
             FieldValue v;
             v.integer = 701;
             e.Locate("ident", v);
         }},
        {"Skip(0)", 3, [](Engine& e) { e.GO(3), e.Skip(0); }},
    };
    openReader(kLongAfter);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        // A pass over the whole table first, so that a block holds the record.
        for (reader.GoTop(); !reader.dEOF(); reader.Skip(1)) {
        }
        for (reader.GoBottom(); !reader.dBOF(); reader.Skip(-1)) {
        }
        rewrite(r.recNo, r.recNo * 100 + 1);
        r.read(reader);
        EXPECT_EQ(reader.RecNo(), r.recNo);
        EXPECT_EQ(ident(), r.recNo * 100 + 1);
        rewrite(r.recNo, r.recNo); // back for the next row
    }
}

TEST_F(ReadAhead, NoClockDecidesWhatIsSeen)
{
    // Our clock against the server's file times: far behind, far ahead or
    // just after the last write, a new pass shows the rewrite.
    for (auto skew : {milliseconds(-3'600'000'000LL), milliseconds(5), milliseconds(3'600'000'000LL)}) {
        SCOPED_TRACE(skew.count());
        openReader(skew);
        rewrite(2, 222);
        setMtimeNs(path, m_written); // even with the time stamp left as it was
        reader.GoTop();
        reader.Skip(1);
        EXPECT_EQ(ident(), 222);
        rewrite(2, 2);
        setMtimeNs(path, m_written);
        reader.CloseDbf();
    }
}

TEST_F(ReadAhead, AppendByAnotherStationIsSeen)
{
    openReader(kLongAfter);
    reader.GO(10);
    ASSERT_TRUE(appendIdent(writer, 11));
    EXPECT_EQ(reader.RecCount(), 11);
    ASSERT_FALSE(reader.dEOF());
    reader.Skip(1);
    ASSERT_FALSE(reader.dEOF());
    EXPECT_EQ(ident(), 11);
    ASSERT_TRUE(appendIdent(writer, 12));
    reader.Skip(1); // past the known count: the count is recomputed
    ASSERT_FALSE(reader.dEOF());
    EXPECT_EQ(ident(), 12);
    reader.Skip(1);
    EXPECT_TRUE(reader.dEOF());
    ASSERT_TRUE(appendIdent(writer, 13));
    EXPECT_EQ(reader.RecCount(), 13);
    reader.GoBottom();
    EXPECT_EQ(ident(), 13);
    EXPECT_EQ(reader.RecNo(), 13);
}

TEST_F(ReadAhead, LocksDropTheBlock)
{
    // A record read to be changed is read under the lock: taking any lock
    // ends the pass, so the next read comes from the file.
    struct Row {
        const char* what;
        std::function<bool(Engine&)> lock;
    };
    const std::vector<Row> rows = {{"record lock", [](Engine& e) { return e.RLock(); }},
                                   {"file lock", [](Engine& e) { return e.FLock(); }},
                                   {"append lock", [](Engine& e) { return e.ALock(); }}};
    openReader(kLongAfter);
    std::int64_t value = 200;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        reader.GoTop();
        rewrite(2, ++value);
        ASSERT_TRUE(r.lock(reader));
        reader.Skip(1);
        EXPECT_EQ(ident(), value);
        reader.UnLock();
    }
}

TEST_F(ReadAhead, OwnWritesDropTheBlockOfAnExclusiveTable)
{
    writer.CloseDbf();
    clock.set(timeAt(m_written) + kLongAfter);
    ASSERT_TRUE(reader.USE(path + " EXCLUSIVE"));
    reader.GO(5);
    ASSERT_EQ(ident(), 5);
    reader.record()->fields[0].integer = 500;
    reader.Replace();
    ASSERT_EQ(reader.lastError(), 0) << reader.lastErrorText();
    reader.GO(1);
    reader.GO(5);
    EXPECT_EQ(ident(), 500);
    reader.DeleteRec();
    reader.GO(1);
    reader.GO(5);
    EXPECT_TRUE(reader.Deleted());
    reader.RecallRec();
    reader.GO(1);
    reader.GO(5);
    EXPECT_FALSE(reader.Deleted());
    reader.ClearRecord();
    reader.record()->fields[0].integer = 11;
    reader.Append();
    reader.GO(1);
    reader.GoBottom();
    EXPECT_EQ(ident(), 11);
    EXPECT_EQ(reader.RecCount(), 11);
}

TEST(ReadAheadBlocks, ForwardAndBackwardScansAcrossBlocks)
{
    // Records of 1,005 bytes: a 64 KiB block holds 65 of them, so 200
    // records take several blocks either way.
    TempDir dir;
    const std::string path = dir.file("wide.dbf");
    Engine w;
    std::vector<FieldSpec> wide = {{"ident", 'N', 4, 0}};
    for (int i = 0; i < 4; ++i)
        wide.push_back({"pad" + std::to_string(i), 'C', 250, 0});
    ASSERT_TRUE(w.CreateDbf(path, wide));
    ASSERT_TRUE(w.USE(path + " EXCLUSIVE"));
    for (int i = 1; i <= 200; ++i) {
        w.ClearRecord();
        w.record()->fields[0].integer = i;
        w.record()->fields[4].text = "row" + std::to_string(i);
        w.Append();
        ASSERT_EQ(w.lastError(), 0);
    }
    w.CloseDbf();
    setMtimeNs(path, mtimeNs(path) - 10'000'000'000LL);

    for (const char* mode : {"", " EXCLUSIVE"}) {
        SCOPED_TRACE(mode);
        Engine e;
        ASSERT_TRUE(e.USE(path + mode));
        std::int64_t expect = 1;
        for (e.GoTop(); !e.dEOF(); e.Skip(1), ++expect) {
            ASSERT_EQ(e.record()->fields[0].integer, expect);
            ASSERT_EQ(e.record()->fields[4].text.substr(0, 6), ("row" + std::to_string(expect) + "   ").substr(0, 6));
        }
        EXPECT_EQ(expect, 201);
        expect = 200;
        for (e.GoBottom(); !e.dBOF(); e.Skip(-1), --expect)
            ASSERT_EQ(e.record()->fields[0].integer, expect);
        EXPECT_EQ(expect, 0);
        for (std::int64_t r : {150, 3, 199, 66, 65, 130, 131})
        {
            e.GO(r);
            EXPECT_EQ(e.record()->fields[0].integer, r);
        }
    }
}

} // namespace
