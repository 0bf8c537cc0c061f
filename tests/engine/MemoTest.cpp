// Memo files: block layout, line splitting, bounded reads and the memo lock.
#include "EngineTestSupport.h"

#include "engine/MemoFile.h"

#include "platform/PosixFile.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;

namespace {

class MemoChain : public ::testing::Test {
protected:
    TempDir dir;
    qb::test::FakeClock clock{fixedDay()};
    Engine e{clock};

    void SetUp() override
    {
        ASSERT_TRUE(e.CreateDbf(dir.file("m"), mixedFields()));
        ASSERT_TRUE(e.USE(dir.file("m") + " ALIAS m"));
        ASSERT_TRUE(appendIdent(e, 1, "one"));
    }

    // Stores raw memo bytes as block 1 of a fresh memo file and points record 1 at it.
    void storeRaw(const std::string& text, bool withEnd = true)
    {
        std::string m = readFile(dir.file("m.dbt")).substr(0, 512);
        m += text;
        if (withEnd)
            m += '\x1A';
        writeFile(dir.file("m.dbt"), m);
        e.GO(1);
        e.record()->fields[3].integer = 1;
    }
};

TEST_F(MemoChain, LinesRoundTripAcrossBlocks)
{
    const std::vector<std::string> lines = {"first", "", std::string(200, 'x'), "last line"};
    ASSERT_TRUE(e.SetMemo(4, lines));
    EXPECT_EQ(e.record()->fields[3].integer, 1); // a new memo file gives block 1
    std::vector<std::string> big;
    for (int i = 0; i < 6; ++i)
        big.push_back(std::string(250, static_cast<char>('a' + i)));
    ASSERT_TRUE(e.SetMemo(4, big)); // 6 * 252 + 1 bytes: three blocks
    EXPECT_EQ(e.record()->fields[3].integer, 2);
    std::string m = readFile(dir.file("m.dbt"));
    EXPECT_EQ(m.size(), 512u * 5);
    EXPECT_EQ(u32At(m, 0), 5u);
    EXPECT_EQ(u32At(m, 32), 2u); // write counter
    EXPECT_EQ(m.substr(512, 7), "first\r\n");
    EXPECT_EQ(m.substr(1024, 250), std::string(250, 'a'));
    EXPECT_EQ(static_cast<unsigned char>(m[1024 + 6 * 252 - 2]), 0x1A);
    EXPECT_EQ(m[1024 + 6 * 252 - 1], '\0');
    EXPECT_EQ(e.GetMemo(4), big);
    e.record()->fields[3].integer = 1;
    EXPECT_EQ(e.GetMemo(4), lines);

    ASSERT_TRUE(e.SetMemo(4, {}));
    EXPECT_EQ(e.record()->fields[3].integer, 0);
    EXPECT_TRUE(e.GetMemo(4).empty());
    EXPECT_EQ(readFile(dir.file("m.dbt")).size(), 512u * 5); // nothing written for an empty text
}

TEST_F(MemoChain, MemoSurvivesTheRecordWrite)
{
    ASSERT_TRUE(e.SetMemo(4, {"kept"}));
    ASSERT_TRUE(e.RLock());
    e.Replace();
    e.UnLock();
    e.CloseDbf();
    ASSERT_TRUE(e.USE(dir.file("m")));
    EXPECT_EQ(e.SField(4), "MEMO");
    EXPECT_EQ(e.GetMemo(4), std::vector<std::string>{"kept"});
}

TEST_F(MemoChain, SoftReturnSplitsOnlyBeforeLineFeed)
{
    storeRaw("a\x8D\nb\x8D" "c\rd\r\ne");
    EXPECT_EQ(e.GetMemo(4), (std::vector<std::string>{"a", "b\x8D" "c", "d", "e"}));
}

TEST_F(MemoChain, LongLinesComeBackInPieces)
{
    storeRaw(std::string(300, 'z') + "\r\nshort");
    auto lines = e.GetMemo(4);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], std::string(254, 'z'));
    EXPECT_EQ(lines[1], std::string(46, 'z'));
    e.memoWrapWidth = 12;
    storeRaw("the quick brown fox jumps");
    EXPECT_EQ(e.GetMemo(4), (std::vector<std::string>{"the quick ", "brown fox ", "jumps"}));
}

TEST_F(MemoChain, ReadsStopAtTheEndOfTheFile)
{
    storeRaw("no end byte here", false);
    EXPECT_EQ(e.GetMemo(4), std::vector<std::string>{"no end byte here"});
    e.record()->fields[3].integer = 9;
    EXPECT_TRUE(e.GetMemo(4).empty());
    EXPECT_EQ(e.lastError(), 1003);
    e.record()->fields[3].integer = -4;
    EXPECT_TRUE(e.GetMemo(4).empty());
    EXPECT_EQ(e.lastError(), 1003);
    e.GetMemo(2);
    EXPECT_EQ(e.lastError(), 220);
}

TEST_F(MemoChain, BusyMemoLockWritesNothing)
{
    qb::platform::PosixFile other;
    ASSERT_EQ(other.open(dir.file("m.dbt"), qb::platform::Access::ReadWrite, qb::platform::Share::DenyNone), 0);
    ASSERT_EQ(other.lock(MemoFile::kLockOffset, 1), qb::platform::LockResult::Locked);
    const std::size_t before = readFile(dir.file("m.dbt")).size();
    EXPECT_FALSE(e.SetMemo(4, {"blocked"}));
    EXPECT_EQ(e.lastError(), 1017);
    EXPECT_EQ(e.lastErrorText(), dir.file("m.dbt"));
    EXPECT_EQ(e.record()->fields[3].integer, 0);
    EXPECT_EQ(readFile(dir.file("m.dbt")).size(), before);
    other.unlock(MemoFile::kLockOffset, 1);
    EXPECT_TRUE(e.SetMemo(4, {"free"}));
}

TEST(MemoText, JoinDropsEndBytes)
{
    EXPECT_EQ(MemoFile::joinLines({"a\x1A" "b", "c"}), "ab\r\nc");
    EXPECT_EQ(MemoFile::splitLines("x\r\n", 0), (std::vector<std::string>{"x", ""}));
    EXPECT_TRUE(MemoFile::splitLines("", 0).empty());
}

} // namespace
