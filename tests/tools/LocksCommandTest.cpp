// qbtool locks against locks that other processes really hold: a child test
// process takes them through the engine and keeps them until told to stop.
#include "engine/Engine.h"
#include "tests/support/TestSupport.h"
#include "platform/PosixFile.h"
#include "tools/LockCommands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

using qb::engine::Engine;
using qb::test::TempDir;

std::vector<qb::engine::FieldSpec> fields()
{
    return {{"NAME", 'C', 20, 0}, {"NOTES", 'M', 10, 0}};
}

void makeTable(const std::string& path, int records)
{
    Engine e;
    ASSERT_TRUE(e.CreateDbf(path, fields()));
    e.Select(1);
    ASSERT_TRUE(e.USE(path));
    ASSERT_TRUE(e.ALock());
    for (int i = 1; i <= records; ++i) {
        e.record()->fields[0].text = "row " + std::to_string(i);
        e.Append();
        ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
    }
    e.FlushDbf();
    e.UnLock();
    e.CloseDbf();
}

// Holds locks on args[0]: args[1] is "append", "exclusive", or record numbers
// separated by commas. Creates args[2] once they are held and keeps them
// until args[3] exists.
QB_CHILD_ROLE(holdLocks)
{
    Engine e;
    e.Select(1);
    const bool exclusive = args[1] == "exclusive";
    if (!e.USE(args[0] + (exclusive ? " EXCLUSIVE" : "")))
        return 1;
    if (args[1] == "append") {
        if (!e.ALock())
            return 2;
    } else if (!exclusive) {
        std::stringstream list(args[1]);
        std::string n;
        while (std::getline(list, n, ',')) {
            e.GO(std::stoll(n));
            if (!e.RLock())
                return 3;
        }
    }
    qb::test::writeFile(args[2], "held");
    // Waiting for the parent's go-ahead, not for time to pass.
    qb::test::waitForFile(args[3]);
    e.UnLock();
    e.CloseDbf();
    return 0;
}

class LocksCommand : public ::testing::Test {
protected:
    TempDir dir;
    std::string table = dir.file("qb3.dbf");
    int child = -1;

    void SetUp() override { makeTable(table, 6); }
    void TearDown() override
    {
        if (child > 0)
            release();
    }

    void hold(const std::string& what)
    {
        child = qb::test::startChild("holdLocks", {table, what, dir.file("held"), dir.file("release")});
        qb::test::waitForFile(dir.file("held"));
    }
    int release()
    {
        qb::test::writeFile(dir.file("release"), "go");
        int status = qb::test::waitChild(child);
        child = -1;
        ::unlink(dir.file("held").c_str());
        ::unlink(dir.file("release").c_str());
        return status;
    }
    std::string run(const std::string& arg, int expectStatus = 0)
    {
        std::ostringstream out, err;
        EXPECT_EQ(qb::tools::locksCommand({arg}, out, err), expectStatus) << err.str();
        return out.str() + err.str();
    }
    std::string pidOf() const { return "(pid " + std::to_string(child) + ")"; }
};

TEST_F(LocksCommand, NamesTheRecordAnotherProcessHolds)
{
    hold("4");
    std::string out = run(table);
    EXPECT_NE(out.find(table + ": record 4 locked " + pidOf()), std::string::npos) << out;
    EXPECT_EQ(out.find("append lock"), std::string::npos) << out;
    EXPECT_EQ(out.find("record 3"), std::string::npos) << out;
    EXPECT_EQ(release(), 0);
}

TEST_F(LocksCommand, NamesEverySeparateRecordAndMergedNeighboursAsARange)
{
    hold("1,3,4,6");
    std::string out = run(table);
    EXPECT_NE(out.find("record 1 locked"), std::string::npos) << out;
    EXPECT_NE(out.find("records 3-4 locked"), std::string::npos) << out;
    EXPECT_NE(out.find("record 6 locked"), std::string::npos) << out;
    EXPECT_EQ(out.find("record 2 "), std::string::npos) << out;
    EXPECT_EQ(out.find("record 5 "), std::string::npos) << out;
    EXPECT_EQ(release(), 0);
}

TEST_F(LocksCommand, NamesTheAppendLockWhileHeldAndNothingOnceReleased)
{
    hold("append");
    std::string out = run(table);
    EXPECT_NE(out.find("qb3.dbf: append lock held " + pidOf()), std::string::npos) << out;
    EXPECT_EQ(out.find("file lock"), std::string::npos) << out;
    EXPECT_EQ(out.find("record"), std::string::npos) << out;
    EXPECT_EQ(release(), 0);

    EXPECT_EQ(run(table), table + ": no locks\n");
}

TEST_F(LocksCommand, ShowsAnExclusiveOpenAndTheSharedOpenOfALockHolder)
{
    hold("exclusive");
    EXPECT_NE(run(table).find("open exclusively " + pidOf()), std::string::npos);
    EXPECT_EQ(release(), 0);

    hold("2");
    std::string out = run(table);
    EXPECT_NE(out.find("open by 1 process " + pidOf()), std::string::npos) << out;
    EXPECT_EQ(out.find("no locks"), std::string::npos) << out;
    EXPECT_EQ(release(), 0);
}

TEST_F(LocksCommand, DirectoryCoversEveryTableInAnyCaseAndSubfolders)
{
    ASSERT_EQ(::mkdir(dir.file("s").c_str(), 0777), 0);
    makeTable(dir.file("s/SH001.DBF"), 2);
    qb::test::writeFile(dir.file("notes.txt"), "not a table");
    hold("5");
    std::string out = run(dir.path());
    EXPECT_NE(out.find("qb3.dbf: record 5 locked"), std::string::npos) << out;
    EXPECT_NE(out.find("s/SH001.DBF: no locks"), std::string::npos) << out;
    EXPECT_EQ(out.find("notes.txt"), std::string::npos) << out;
    EXPECT_EQ(release(), 0);
}

TEST_F(LocksCommand, ForeignLocksAreReportedNotMistakenForRecords)
{
    qb::platform::PosixFile other;
    ASSERT_EQ(other.open(table, qb::platform::Access::ReadWrite, qb::platform::Share::NoSharing), 0);
    ASSERT_EQ(other.lock(1000000000, 7), qb::platform::LockResult::Locked);
    std::string out = run(table);
    // Our own process holds it, which /proc does not report as a foreign holder.
    EXPECT_NE(out.find("other lock at 0x3B9ACA00, length 7 (pid unknown)"), std::string::npos) << out;
    EXPECT_EQ(out.find("record"), std::string::npos) << out;
}

TEST_F(LocksCommand, MemoLockAndFileLockAreNamed)
{
    qb::platform::PosixFile memo;
    ASSERT_EQ(memo.open(dir.file("qb3.dbt"), qb::platform::Access::ReadWrite, qb::platform::Share::NoSharing), 0);
    ASSERT_EQ(memo.lock(Engine::kMemoLockOffset, 1), qb::platform::LockResult::Locked);
    qb::platform::PosixFile whole;
    ASSERT_EQ(whole.open(table, qb::platform::Access::ReadWrite, qb::platform::Share::NoSharing), 0);
    ASSERT_EQ(whole.lock(Engine::kAppendLockOffset, Engine::kFileLockLength), qb::platform::LockResult::Locked);
    std::string out = run(table);
    EXPECT_NE(out.find("memo lock held in qb3.dbt"), std::string::npos) << out;
    EXPECT_NE(out.find("file lock held"), std::string::npos) << out;
    EXPECT_EQ(out.find("append lock"), std::string::npos) << out;
    EXPECT_EQ(out.find("record"), std::string::npos) << "a file lock is not every record locked: " << out;
}

TEST_F(LocksCommand, NotATableIsAFailure)
{
    qb::test::writeFile(dir.file("short.dbf"), "abc");
    std::string out = run(dir.file("short.dbf"), 1);
    EXPECT_NE(out.find("not a table"), std::string::npos) << out;
    run(dir.file("missing.dbf"), 1);
}

} // namespace
