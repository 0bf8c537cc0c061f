// The read-ahead block of a work area: another station's rewrite or append
// shows on our next read, own writes and locks drop the block, and blocks
// read forwards and backwards hand out the right records.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::test::TempDir;

namespace {

using std::chrono::milliseconds;

// Our clock an hour past the table's last write: a block read then is
// trusted by time alone, so only size and last-write time can tell a change.
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
    qb::platform::FakeClock clock; // ours, set against the file's time
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

TEST_F(ReadAhead, QuietTableIsServedFromTheBlock)
{
    // With size and time unchanged nothing tells a rewrite apart, which is
    // what makes the block worth having: a rewrite stamped with the old time
    // stays unseen. (Real writes always move the time; see the next tests.)
    openReader(kLongAfter);
    rewrite(2, 200);
    setMtimeNs(path, m_written);
    ASSERT_FALSE(reader.dEOF());
    reader.Skip(1);
    EXPECT_EQ(ident(), 2);
}

TEST_F(ReadAhead, RewriteByAnotherStationIsSeenOnTheNextRead)
{
    openReader(kLongAfter);
    rewrite(2, 200);
    ASSERT_FALSE(reader.dEOF());
    reader.Skip(1);
    EXPECT_EQ(ident(), 200);
    // Also without an end-of-file test between the reads.
    rewrite(3, 300);
    reader.Skip(1);
    EXPECT_EQ(ident(), 300);
    rewrite(9, 900);
    reader.GO(9);
    EXPECT_EQ(ident(), 900);
}

TEST_F(ReadAhead, RewriteInTheSameClockTickIsSeen)
{
    // Our read lands 5 ms after the last write; a rewrite in that same tick
    // leaves the time as it was, so nothing read then may be trusted later.
    openReader(milliseconds(5));
    rewrite(2, 200);
    setMtimeNs(path, m_written);
    ASSERT_FALSE(reader.dEOF());
    reader.Skip(1);
    EXPECT_EQ(ident(), 200);
    clock.advance(milliseconds(10));
    rewrite(3, 300);
    setMtimeNs(path, m_written);
    ASSERT_FALSE(reader.dEOF());
    reader.Skip(1);
    EXPECT_EQ(ident(), 300);
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
    openReader(kLongAfter);
    // A rewrite the time cannot show is still picked up under a lock, which
    // is where it matters: a record read to be changed.
    rewrite(2, 200);
    setMtimeNs(path, m_written);
    reader.GO(2);
    ASSERT_TRUE(reader.RLock());
    reader.Skip(0);
    EXPECT_EQ(ident(), 200);
    reader.UnLock();

    rewrite(3, 300);
    setMtimeNs(path, m_written);
    reader.GO(3);
    ASSERT_TRUE(reader.FLock());
    reader.Skip(0);
    EXPECT_EQ(ident(), 300);
    reader.UnLock();

    rewrite(4, 400);
    setMtimeNs(path, m_written);
    reader.GO(4);
    ASSERT_TRUE(reader.ALock());
    reader.Skip(0);
    EXPECT_EQ(ident(), 400);
    reader.UnLock();
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
