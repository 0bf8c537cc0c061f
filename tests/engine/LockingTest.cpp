// The lock protocol between stations, tested for real: two Engines in this
// process (each work area has its own open file description) and child
// processes started from this binary. Every test runs on both lock paths:
// OFD locks and the classic-lock fallback for mounts that refuse them.
#include "EngineTestSupport.h"

#include "platform/PosixFile.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <sched.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::test::LockPath;
using qb::test::readFile;
using qb::test::TempDir;

namespace {

// Blocking hand-over between parent and child through named pipes, so that
// neither side waits for time.
void signalPipe(const std::string& path)
{
    int fd = ::open(path.c_str(), O_WRONLY);
    if (fd >= 0) {
        [[maybe_unused]] ssize_t n = ::write(fd, "x", 1);
        ::close(fd);
    }
}

void waitPipe(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd >= 0) {
        char c;
        [[maybe_unused]] ssize_t n = ::read(fd, &c, 1);
        ::close(fd);
    }
}

} // namespace

// Holds a lock on a table until told to let go.
// args: table, kind (alock|rlock3|exclusive), ready pipe, release pipe
QB_CHILD_ROLE(engineHoldLock)
{
    Engine e;
    bool ok = false;
    if (args[1] == "exclusive") {
        ok = e.USE(args[0] + " EXCLUSIVE");
    } else if (e.USE(args[0])) {
        if (args[1] == "alock") {
            ok = e.ALock();
        } else {
            e.GO(3);
            ok = e.RLock();
        }
    }
    signalPipe(args[2]);
    waitPipe(args[3]);
    e.UnLock();
    return ok ? 0 : 1;
}

// Tries once to lock record n, or with n "exclusive" to open the table
// exclusively; exit 0 when granted, 1 when refused.
// args: table, n
QB_CHILD_ROLE(engineTryRecordLock)
{
    Engine e;
    if (args[1] == "exclusive")
        return e.USE(args[0] + " EXCLUSIVE") ? 0 : e.lastError() == 32 ? 1 : 2;
    if (!e.USE(args[0]))
        return 2;
    e.GO(std::atoll(args[1].c_str()));
    return e.RLock() ? 0 : 1;
}

// Appends count records carrying the writer id and a sequence number.
// args: table, writer id, count
QB_CHILD_ROLE(engineAppender)
{
    Engine e;
    if (!e.USE(args[0]))
        return 2;
    const int writer = std::atoi(args[1].c_str());
    const int count = std::atoi(args[2].c_str());
    e.lockFailedCallback = [] {
        sched_yield(); // let the holder finish; keep asking
        return true;
    };
    for (int seq = 1; seq <= count; ++seq) {
        e.ClearRecord();
        auto& f = e.record()->fields;
        f[0].integer = writer;
        f[1].integer = seq;
        f[2].text = "w" + std::to_string(writer) + "s" + std::to_string(seq);
        if (!e.ALock())
            return 3;
        e.Append();
        if (e.lastError())
            return 4;
        e.FlushDbf();
        e.CommitDbf();
        if (e.lastError())
            return 5;
        e.UnLock();
    }
    return 0;
}

namespace {

std::string lockPathTestName(const ::testing::TestParamInfo<LockPath>& info)
{
    return qb::test::lockPathName(info.param);
}

class RecordLocking : public ::testing::TestWithParam<LockPath> {
protected:
    qb::test::LockPathScope lockPath{GetParam()};
    TempDir dir;
    qb::test::FakeClock clock{fixedDay()};
    Engine a{clock};
    Engine b{clock};

    void SetUp() override
    {
        ASSERT_TRUE(a.CreateDbf(dir.file("t"), mixedFields()));
        ASSERT_TRUE(a.USE(dir.file("t") + " ALIAS a"));
        for (int i = 1; i <= 5; ++i)
            ASSERT_TRUE(appendIdent(a, i, "n" + std::to_string(i)));
        ASSERT_TRUE(b.USE(dir.file("t") + " ALIAS b"));
    }

    std::string pipe(const std::string& name)
    {
        std::string p = dir.file(name);
        ::mkfifo(p.c_str(), 0600);
        return p;
    }
};

TEST_P(RecordLocking, AppendLockExcludesWithRetriesThenSucceedsAfterUnlock)
{
    ASSERT_TRUE(a.ALock());
    EXPECT_TRUE(a.ALock()); // already held
    b.lockRetries = 3;
    std::uint64_t before = b.lockAttempts();
    EXPECT_FALSE(b.ALock());
    EXPECT_EQ(b.lastError(), 0); // a busy lock is not an error
    EXPECT_EQ(b.lockAttempts() - before, 4u);

    int asked = 0;
    b.lockFailedCallback = [&] { return ++asked < 2; }; // one more round, then give up
    before = b.lockAttempts();
    EXPECT_FALSE(b.ALock());
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(b.lockAttempts() - before, 8u);

    a.UnLock();
    before = b.lockAttempts();
    EXPECT_TRUE(b.ALock());
    EXPECT_EQ(b.lockAttempts() - before, 1u);
    EXPECT_FALSE(a.ALock());
}

TEST_P(RecordLocking, AppendLockHeldByAnotherProcess)
{
    const std::string ready = pipe("ready"), release = pipe("release");
    int pid = qb::test::startChild("engineHoldLock", {dir.file("t.dbf"), "alock", ready, release});
    waitPipe(ready);
    b.lockRetries = 2;
    std::uint64_t before = b.lockAttempts();
    EXPECT_FALSE(b.ALock());
    EXPECT_EQ(b.lockAttempts() - before, 3u);
    EXPECT_FALSE(b.FLock()); // the file lock covers the append byte
    signalPipe(release);
    EXPECT_EQ(qb::test::waitChild(pid), 0);
    EXPECT_TRUE(b.ALock());
}

TEST_P(RecordLocking, RecordLocksAreIndependent)
{
    a.GO(3);
    ASSERT_TRUE(a.RLock());
    b.GO(4);
    EXPECT_TRUE(b.RLock());
    b.UnLock();
    EXPECT_TRUE(b.ALock()); // record locks never touch the append byte
    b.UnLock();
    b.GO(3);
    EXPECT_FALSE(b.RLock());
    EXPECT_FALSE(b.FLock()); // the file lock overlaps every record
    a.UnLock();
    EXPECT_TRUE(b.RLock());
}

TEST_P(RecordLocking, RecordLockHeldByAnotherProcess)
{
    const std::string ready = pipe("ready"), release = pipe("release");
    int pid = qb::test::startChild("engineHoldLock", {dir.file("t.dbf"), "rlock3", ready, release});
    waitPipe(ready);
    b.GO(3);
    EXPECT_FALSE(b.RLock());
    b.GO(4);
    EXPECT_TRUE(b.RLock());
    b.UnLock();
    EXPECT_TRUE(b.ALock());
    b.UnLock();
    signalPipe(release);
    EXPECT_EQ(qb::test::waitChild(pid), 0);
    b.GO(3);
    EXPECT_TRUE(b.RLock());
}

TEST_P(RecordLocking, RepeatedRecordLockKeepsOneEntry)
{
    a.GO(2);
    EXPECT_TRUE(a.RLock());
    EXPECT_TRUE(a.RLock());
    EXPECT_TRUE(a.IsLocked(2));
    EXPECT_FALSE(a.IsLocked(3));
    EXPECT_FALSE(a.ALock()); // not while holding record locks
    a.UnLock();
    EXPECT_FALSE(a.IsLocked(2));
    b.GO(2);
    EXPECT_TRUE(b.RLock());
}

TEST_P(RecordLocking, UnlockSingleRecordsAndTheLockLimit)
{
    a.recordLockLimit = 3;
    for (int r : {1, 2, 3}) {
        a.GO(r);
        ASSERT_TRUE(a.RLock());
    }
    a.GO(4);
    EXPECT_FALSE(a.RLock());
    EXPECT_EQ(a.lastError(), 212);
    EXPECT_EQ(a.lastErrorText(), "Duver record lock limit exceeded [RLOCK]");

    EXPECT_TRUE(a.UnlockRec(-1)); // oldest: record 1
    EXPECT_FALSE(a.IsLocked(1));
    b.GO(1);
    EXPECT_TRUE(b.RLock());
    b.UnLock();
    EXPECT_TRUE(a.UnlockRec(-2)); // most recent: record 3
    EXPECT_FALSE(a.IsLocked(3));
    EXPECT_TRUE(a.IsLocked(2));
    EXPECT_FALSE(a.UnlockRec(5));
    EXPECT_EQ(a.lastError(), 220);
    EXPECT_EQ(a.lastErrorText(), "Record not locked. [UnlockRec(5)]");
    // Neighbouring record locks merge inside one description: releasing one
    // must leave the other in place.
    a.GO(3);
    ASSERT_TRUE(a.RLock());
    EXPECT_TRUE(a.UnlockRec(3));
    b.GO(2);
    EXPECT_FALSE(b.RLock());
    EXPECT_TRUE(a.UnlockRec(-3));
    EXPECT_TRUE(b.RLock());
}

TEST_P(RecordLocking, AppendWithoutTheAppendLockWritesNothing)
{
    const std::size_t before = readFile(dir.file("t.dbf")).size();
    b.ClearRecord();
    b.Append();
    EXPECT_EQ(b.lastError(), 5);
    EXPECT_EQ(b.lastErrorText(), "File must be locked to append: " + dir.file("t.dbf") + " [APPEND]");
    EXPECT_EQ(readFile(dir.file("t.dbf")).size(), before);
    ASSERT_TRUE(b.FLock());
    EXPECT_TRUE(b.IsLocked(1));
    b.Append(); // the file lock also allows appending
    EXPECT_EQ(b.lastError(), 0);
    EXPECT_EQ(a.RecCount(), 6);
    b.UnLock();
}

TEST_P(RecordLocking, ExclusiveOpenRefusedWhileOpenElsewhere)
{
    Engine c{clock};
    EXPECT_FALSE(c.USE(dir.file("t") + " EXCLUSIVE"));
    EXPECT_EQ(c.lastError(), 32);
    a.CloseDbf();
    b.CloseDbf();
    ASSERT_TRUE(c.USE(dir.file("t") + " EXCLUSIVE"));
    EXPECT_FALSE(a.USE(dir.file("t")));
    EXPECT_EQ(a.lastError(), 32);
    c.CloseDbf();

    // Another process holding the table shared.
    const std::string ready = pipe("ready"), release = pipe("release");
    int pid = qb::test::startChild("engineHoldLock", {dir.file("t.dbf"), "alock", ready, release});
    waitPipe(ready);
    EXPECT_FALSE(c.USE(dir.file("t") + " EXCLUSIVE"));
    EXPECT_EQ(c.lastError(), 32);
    signalPipe(release);
    EXPECT_EQ(qb::test::waitChild(pid), 0);
    EXPECT_TRUE(c.USE(dir.file("t") + " EXCLUSIVE"));
}

TEST_P(RecordLocking, NetworkLockingOffTouchesNoBytes)
{
    Engine c{clock};
    c.networkLocking = false;
    ASSERT_TRUE(c.USE(dir.file("t") + " ALIAS c"));
    ASSERT_TRUE(a.ALock());
    EXPECT_TRUE(c.ALock()); // succeeds without asking the file
    c.UnLock();
    a.UnLock();
}

// Classic locks belong to the process and the file: a plain close of the
// second handle's descriptor would drop the first handle's record lock.
TEST_P(RecordLocking, ClosingOneHandleKeepsTheOtherHandlesLock)
{
    const std::string table = dir.file("t.dbf");
    const int before = qb::test::descriptorsOn(table);
    b.GO(3);
    ASSERT_TRUE(b.RLock());
    a.CloseDbf();
    EXPECT_EQ(qb::test::runChild("engineTryRecordLock", {table, "3"}), 1) << "the lock must survive the other close";
    EXPECT_EQ(qb::test::runChild("engineTryRecordLock", {table, "4"}), 0);
    EXPECT_EQ(qb::test::runChild("engineTryRecordLock", {table, "exclusive"}), 1) << "b's share-mode byte is held too";
    ASSERT_TRUE(a.USE(dir.file("t") + " ALIAS a"));
    EXPECT_EQ(qb::test::descriptorsOn(table), before) << "reopening takes back the descriptor kept open";
    a.GO(3);
    EXPECT_FALSE(a.RLock()) << "a reopened handle of this process is still excluded";
    a.CloseDbf();
    b.UnLock();
    EXPECT_EQ(qb::test::runChild("engineTryRecordLock", {table, "3"}), 0);
    b.CloseDbf();
    EXPECT_EQ(qb::test::descriptorsOn(table), 0) << "descriptors kept open for locks close with the last handle";
}

INSTANTIATE_TEST_SUITE_P(BothLockPaths, RecordLocking, ::testing::Values(LockPath::Ofd, LockPath::Classic),
                         lockPathTestName);

// Four processes append 2,500 records each under the append lock; every
// record must arrive intact exactly once.
class ConcurrentAppend : public ::testing::TestWithParam<LockPath> {};

TEST_P(ConcurrentAppend, FourWritersLoseNothing)
{
    qb::test::LockPathScope lockPath{GetParam()};
    // Runs in memory-backed storage when there is some: 10,000 commits with
    // fsync would otherwise dominate the run time.
    const char* shm = "/dev/shm";
    struct stat st {};
    const char* oldTmp = std::getenv("TMPDIR");
    std::string saved = oldTmp ? oldTmp : "";
    if (::stat(shm, &st) == 0 && S_ISDIR(st.st_mode) && ::access(shm, W_OK) == 0)
        ::setenv("TMPDIR", shm, 1);
    TempDir dir;
    if (oldTmp)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");

    Engine e;
    ASSERT_TRUE(e.CreateDbf(dir.file("load"), {{"writer", 'N', 2, 0}, {"seq", 'N', 6, 0}, {"check", 'C', 12, 0}}));
    constexpr int kWriters = 4, kEach = 2500;
    std::vector<int> pids;
    for (int w = 1; w <= kWriters; ++w)
        pids.push_back(qb::test::startChild("engineAppender", {dir.file("load.dbf"), std::to_string(w), std::to_string(kEach)}));
    for (int pid : pids)
        EXPECT_EQ(qb::test::waitChild(pid), 0);

    ASSERT_TRUE(e.USE(dir.file("load") + " EXCLUSIVE"));
    ASSERT_EQ(e.RecCount(), kWriters * kEach);
    std::string bytes = readFile(dir.file("load.dbf"));
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(e.headerLength() + kWriters * kEach * e.recordLength() + 1));
    EXPECT_EQ(u32At(bytes, 4), static_cast<std::uint32_t>(kWriters * kEach));
    std::map<int, std::set<int>> seen;
    int bad = 0;
    for (e.GoTop(); !e.dEOF(); e.Skip(1)) {
        const auto& f = e.record()->fields;
        const int w = static_cast<int>(f[0].integer), s = static_cast<int>(f[1].integer);
        std::string check = "w" + std::to_string(w) + "s" + std::to_string(s);
        check.resize(12, ' ');
        if (e.Deleted() || f[2].text != check || !seen[w].insert(s).second)
            ++bad;
    }
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(seen.size(), static_cast<std::size_t>(kWriters));
    for (const auto& [w, seqs] : seen) {
        EXPECT_EQ(seqs.size(), static_cast<std::size_t>(kEach)) << "writer " << w;
        EXPECT_EQ(*seqs.begin(), 1);
        EXPECT_EQ(*seqs.rbegin(), kEach);
    }
}

INSTANTIATE_TEST_SUITE_P(BothLockPaths, ConcurrentAppend, ::testing::Values(LockPath::Ofd, LockPath::Classic),
                         lockPathTestName);

} // namespace
