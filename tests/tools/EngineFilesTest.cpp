// Files our own engine writes, through appends, memo edits, deletions and a
// pack, must pass the checker and dump as written.
#include "engine/Engine.h"
#include "tests/support/TestSupport.h"
#include "tools/TableCommands.h"
#include "tools/TableChecker.h"

#include <gtest/gtest.h>
#include <sstream>

using qb::test::TempDir;

namespace {

void append(qb::engine::Engine& e, const std::string& name, const std::vector<std::string>& memo)
{
    e.ClearRecord();
    e.record()->fields[0].text = name;
    if (!memo.empty()) {
        ASSERT_TRUE(e.SetMemo(2, memo)) << e.lastErrorText();
    }
    ASSERT_TRUE(e.ALock());
    e.Append();
    e.CommitDbf();
    ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
    e.UnLock();
}

std::string dumpJson(const std::string& file)
{
    std::ostringstream out, err;
    EXPECT_EQ(qb::tools::dumpCommand({file, "--json"}, out, err), 0) << err.str();
    return out.str();
}

std::string problems(const std::string& file)
{
    std::string s;
    for (const auto& p : qb::tools::TableChecker().check(file))
        s += p + "\n";
    return s;
}

} // namespace

TEST(EngineFiles, PassTheCheckThroughMemoEditsDeletionAndPack)
{
    TempDir dir;
    std::string file = dir.file("msg1.dbf");
    qb::engine::Engine e;
    ASSERT_TRUE(e.CreateDbf(file, {{"NAME", 'C', 10, 0}, {"TEXT", 'M', 10, 0}})) << e.lastErrorText();
    EXPECT_EQ(problems(file), "");
    ASSERT_TRUE(e.Select(1));
    ASSERT_TRUE(e.USE(file + " ALIAS MSG")) << e.lastErrorText();
    append(e, "a", {"first", "memo"});
    append(e, "b", {std::string(1500, 'b')});
    append(e, "c", {});
    append(e, "d", {"last"});
    if (HasFatalFailure())
        return;
    EXPECT_EQ(problems(file), "");

    // A memo edit writes fresh blocks; the old ones stay behind unused.
    e.GO(1);
    ASSERT_TRUE(e.RLock());
    ASSERT_TRUE(e.SetMemo(2, {"edited"})) << e.lastErrorText();
    e.Replace();
    ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
    e.UnLock();
    for (int r : {2, 3}) {
        e.GO(r);
        ASSERT_TRUE(e.RLock());
        e.DeleteRec();
        e.UnLock();
    }
    e.FlushDbf();
    EXPECT_EQ(problems(file), "");
    EXPECT_EQ(dumpJson(file), "{\"_recno\": 1, \"_deleted\": false, \"name\": \"a\", \"text\": \"edited\"}\n"
                              "{\"_recno\": 2, \"_deleted\": true, \"name\": \"b\", \"text\": \"" + std::string(1500, 'b') + "\"}\n"
                              "{\"_recno\": 3, \"_deleted\": true, \"name\": \"c\", \"text\": \"\"}\n"
                              "{\"_recno\": 4, \"_deleted\": false, \"name\": \"d\", \"text\": \"last\"}\n");

    ASSERT_TRUE(e.Pack()) << e.lastErrorText();
    e.CloseDbf();
    ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
    EXPECT_EQ(problems(file), "");
    EXPECT_EQ(dumpJson(file), "{\"_recno\": 1, \"_deleted\": false, \"name\": \"a\", \"text\": \"edited\"}\n"
                              "{\"_recno\": 2, \"_deleted\": false, \"name\": \"d\", \"text\": \"last\"}\n");
    // The packed memo file keeps only the live memos: header block plus one
    // block each.
    EXPECT_LE(qb::test::readFile(dir.file("msg1.dbt")).size(), 3u * 512u);
}
