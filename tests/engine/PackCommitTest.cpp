// A pack cut short: what the next open finds beside the table (temporaries
// with or without the commit marker) is finished or undone before anything
// is read, and only by a station that has the table to itself. The pack
// finishes only when the marker names the files that are there.
#include "EngineTestSupport.h"

#include "platform/FileOps.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <functional>
#include <sys/stat.h>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;

namespace {

std::vector<std::string> entries(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    while (dirent* e = d ? ::readdir(d) : nullptr)
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    if (d)
        ::closedir(d);
    std::sort(names.begin(), names.end());
    return names;
}

// Idents and memo first lines of the live records, in order.
std::vector<std::string> contents(Engine& e, const std::string& table)
{
    std::vector<std::string> rows;
    if (!e.USE(table)) {
        rows.push_back("open failed: " + e.lastErrorText());
        return rows;
    }
    for (e.GoTop(); !e.dEOF(); e.Skip(1)) {
        auto memo = e.GetMemo(4);
        rows.push_back(std::to_string(e.record()->fields[0].integer) + (e.Deleted() ? "*" : "") + ":"
                       + (memo.empty() ? std::string("-") : memo[0]));
    }
    e.CloseDbf();
    return rows;
}

// One line of the marker: what it names of the file at path, or a file that
// is gone ("" path).
std::string identityLine(const std::string& what, const std::string& path)
{
    struct stat st {};
    if (!path.empty() && ::stat(path.c_str(), &st) != 0)
        ADD_FAILURE() << "no " << path;
    const long long mtime = path.empty() ? 0 : static_cast<long long>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return what + " " + std::to_string(path.empty() ? 0 : st.st_dev) + " " + std::to_string(path.empty() ? 0 : st.st_ino)
           + " " + std::to_string(path.empty() ? 0 : st.st_size) + " " + std::to_string(mtime) + "\r\n";
}

// The marker a pack writes before its renames: the table and memo file it
// replaces and the packed pair that replaces them.
std::string markerNaming(const std::string& table, const std::string& packedTable, const std::string& memo,
                         const std::string& packedMemo)
{
    return "pack committed: rename the .pkm and .pkd files into place if the files are these\r\n"
           + identityLine("table", table) + identityLine("packed-table", packedTable) + identityLine("memo", memo)
           + identityLine("packed-memo", packedMemo) + "end\r\n";
}

class PackCommit : public ::testing::Test {
protected:
    TempDir dir;
    TempDir side;
    qb::test::FakeClock clock{fixedDay()};
    Engine e{clock};
    std::string table = dir.file("t.dbf");
    std::string memo = dir.file("t.dbt");
    std::string original, originalMemo; // bytes before the pack
    std::string packed, packedMemo;     // bytes of the packed pair

    // Records 1..6 with a memo each, 2 and 5 deleted; the packed pair made
    // from a copy in another directory.
    void SetUp() override
    {
        ASSERT_TRUE(e.CreateDbf(table, mixedFields()));
        ASSERT_TRUE(e.USE(table));
        for (int i = 1; i <= 6; ++i) {
            e.ClearRecord();
            e.record()->fields[0].integer = i;
            ASSERT_TRUE(e.SetMemo(4, {"memo " + std::to_string(i)}));
            ASSERT_TRUE(e.ALock());
            e.Append();
            e.UnLock();
            if (i == 2 || i == 5) {
                ASSERT_TRUE(e.RLock());
                e.DeleteRec();
                e.UnLock();
            }
        }
        e.CloseDbf();
        original = readFile(table);
        originalMemo = readFile(memo);
        ASSERT_EQ(qb::platform::copyFileKeepTime(table, side.file("t.dbf")), 0);
        ASSERT_EQ(qb::platform::copyFileKeepTime(memo, side.file("t.dbt")), 0);
        ASSERT_TRUE(e.USE(side.file("t.dbf")));
        ASSERT_TRUE(e.Pack()) << e.lastErrorText();
        e.CloseDbf();
        packed = readFile(side.file("t.dbf"));
        packedMemo = readFile(side.file("t.dbt"));
        ASSERT_EQ(entries(side.file("")), (std::vector<std::string>{"t.dbf", "t.dbt"})) << "a pack leaves nothing behind";
    }

    const std::vector<std::string> kOld = {"1:memo 1", "2*:memo 2", "3:memo 3", "4:memo 4", "5*:memo 5", "6:memo 6"};
    const std::vector<std::string> kPacked = {"1:memo 1", "3:memo 3", "4:memo 4", "6:memo 6"};
};

TEST_F(PackCommit, PackedPairHoldsTheLiveRecordsWithTheirMemos)
{
    EXPECT_EQ(contents(e, side.file("t.dbf")), kPacked);
    EXPECT_EQ(contents(e, table), kOld);
    EXPECT_LT(packedMemo.size(), originalMemo.size());
}

TEST_F(PackCommit, TemporariesWithoutMarkerAreDiscarded)
{
    // Killed while writing the temporaries: the originals stand.
    writeFile(dir.file("t.pkd"), packed.substr(0, packed.size() / 2));
    writeFile(dir.file("t.pkm"), packedMemo);
    EXPECT_EQ(contents(e, table), kOld);
    EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"t.dbf", "t.dbt"}));
}

TEST_F(PackCommit, MarkerRollsForwardFromEveryPoint)
{
    struct Point {
        const char* name;
        bool memoMoved, tableMoved;
    };
    for (Point p : {Point{"before the renames", false, false}, Point{"between the renames", true, false},
                    Point{"after the renames", true, true}}) {
        SCOPED_TRACE(p.name);
        writeFile(table, p.tableMoved ? packed : original);
        writeFile(memo, p.memoMoved ? packedMemo : originalMemo);
        if (!p.tableMoved)
            writeFile(dir.file("t.pkd"), packed);
        if (!p.memoMoved)
            writeFile(dir.file("t.pkm"), packedMemo);
        writeFile(dir.file("t.pk$"), markerNaming(p.tableMoved ? "" : table, p.tableMoved ? table : dir.file("t.pkd"),
                                                  p.memoMoved ? "" : memo, p.memoMoved ? memo : dir.file("t.pkm")));
        EXPECT_EQ(contents(e, table), kPacked);
        EXPECT_EQ(readFile(table), packed);
        EXPECT_EQ(readFile(memo), packedMemo);
        EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"t.dbf", "t.dbt"}));
    }
}

TEST_F(PackCommit, MarkerThatDoesNotNameTheFilesThereIsDiscarded)
{
    struct Case {
        const char* what;
        std::function<void()> arrange;
        std::vector<std::string> expect;
    };
    std::vector<std::string> withSeventh = kOld;
    withSeventh.push_back("7:-");
    const std::vector<Case> cases = {
        {"an empty marker beside eight bytes of garbage",
         [&] {
             writeFile(dir.file("t.pkd"), std::string("\x01garbage", 8));
             writeFile(dir.file("t.pk$"), "");
         },
         kOld},
        {"the table written after the marker named it",
         [&] {
             const std::string before = identityLine("table", table);
             {
                 Engine other;
                 ASSERT_TRUE(other.USE(table));
                 ASSERT_TRUE(appendIdent(other, 7));
             }
             writeFile(dir.file("t.pkd"), packed);
             writeFile(dir.file("t.pkm"), packedMemo);
             std::string m = markerNaming(table, dir.file("t.pkd"), memo, dir.file("t.pkm"));
             m.replace(m.find("table "), identityLine("table", table).size(), before);
             writeFile(dir.file("t.pk$"), m);
         },
         withSeventh},
        {"a packed table that is not the one named",
         [&] {
             writeFile(dir.file("t.pkd"), packed);
             writeFile(dir.file("t.pkm"), packedMemo);
             writeFile(dir.file("t.pk$"), markerNaming(table, dir.file("t.pkd"), memo, dir.file("t.pkm")));
             writeFile(dir.file("t.pkd"), packed.substr(0, packed.size() - 1));
         },
         kOld},
        {"a torn marker",
         [&] {
             writeFile(dir.file("t.pkd"), packed);
             writeFile(dir.file("t.pkm"), packedMemo);
             std::string m = markerNaming(table, dir.file("t.pkd"), memo, dir.file("t.pkm"));
             writeFile(dir.file("t.pk$"), m.substr(0, m.size() / 2));
         },
         kOld},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFile(table, original);
        writeFile(memo, originalMemo);
        c.arrange();
        EXPECT_EQ(contents(e, table), c.expect);
        EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"t.dbf", "t.dbt"}));
    }
}

TEST_F(PackCommit, UpperCaseTableUsesUpperCaseCompanions)
{
    ASSERT_EQ(std::rename(table.c_str(), dir.file("T.DBF").c_str()), 0);
    ASSERT_EQ(std::rename(memo.c_str(), dir.file("T.DBT").c_str()), 0);
    writeFile(dir.file("T.PKD"), packed);
    writeFile(dir.file("T.PKM"), packedMemo);
    writeFile(dir.file("T.PK$"), markerNaming(dir.file("T.DBF"), dir.file("T.PKD"), dir.file("T.DBT"), dir.file("T.PKM")));
    EXPECT_EQ(contents(e, dir.file("T.DBF")), kPacked);
    EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"T.DBF", "T.DBT"}));
}

TEST_F(PackCommit, SettlingWaitsForExclusiveAccess)
{
    Engine other;
    ASSERT_TRUE(other.USE(table)); // another station has the table open
    writeFile(dir.file("t.pkd"), packed);
    writeFile(dir.file("t.pkm"), packedMemo);
    writeFile(dir.file("t.pk$"), markerNaming(table, dir.file("t.pkd"), memo, dir.file("t.pkm")));
    Engine third;
    EXPECT_EQ(contents(third, table), kOld) << "opened as it is";
    EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"t.dbf", "t.dbt", "t.pk$", "t.pkd", "t.pkm"}));
    EXPECT_FALSE(e.USE(table + " EXCLUSIVE"));
    EXPECT_EQ(e.lastError(), 32);
    other.CloseDbf();
    EXPECT_EQ(contents(third, table), kPacked);
    EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"t.dbf", "t.dbt"}));
}

TEST_F(PackCommit, PackSettlesLeftoversAndKeepsPermissions)
{
    ASSERT_EQ(::chmod(table.c_str(), 0640), 0);
    ASSERT_EQ(::chmod(memo.c_str(), 0604), 0);
    writeFile(dir.file("t.pkd"), "stray");
    ASSERT_TRUE(e.USE(table + " EXCLUSIVE")); // the open settles first
    writeFile(dir.file("t.pkm"), "stray");      // a leftover appearing later is settled by the pack
    ASSERT_TRUE(e.Pack()) << e.lastErrorText();
    EXPECT_EQ(e.RecCount(), 4);
    EXPECT_EQ(e.GetMemo(4), std::vector<std::string>{"memo 1"});
    EXPECT_EQ(e.lastUpdate(), "03/14/26");
    // Writes after the pack go to the packed files under their real names.
    e.GO(2);
    EXPECT_TRUE(e.SetMemo(4, {"new memo"}));
    e.Replace();
    EXPECT_EQ(e.lastError(), 0) << e.lastErrorText();
    e.CloseDbf();
    EXPECT_EQ(entries(dir.file("")), (std::vector<std::string>{"t.dbf", "t.dbt"}));
    struct stat st {};
    ASSERT_EQ(::stat(table.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    ASSERT_EQ(::stat(memo.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0604u);
    EXPECT_EQ(contents(e, table), (std::vector<std::string>{"1:memo 1", "3:new memo", "4:memo 4", "6:memo 6"}));
}

TEST_F(PackCommit, SharedPackReopensThePackedFilesShared)
{
    ASSERT_TRUE(e.USE(table));
    ASSERT_TRUE(e.Pack()) << e.lastErrorText();
    Engine other;
    ASSERT_TRUE(other.USE(table)) << "shared again after the pack";
    EXPECT_EQ(other.RecCount(), 4);
    EXPECT_FALSE(other.USE(table + " EXCLUSIVE")) << "and still held by the packing station";
}

} // namespace
