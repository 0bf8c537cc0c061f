// Runs the qbtool program itself: exit statuses, messages and robustness
// against files that are not tables.
#include "tests/support/TestSupport.h"
#include "tests/tools/TableBytes.h"

#include <gtest/gtest.h>
#include <random>

using qb::test::TableBytes;
using qb::test::TempDir;

namespace {

int qbtool(const std::string& args, std::string* out = nullptr)
{
    return qb::test::runCommand(std::string(QB_QBTOOL) + " " + args + " 2>&1", out);
}

} // namespace

TEST(QbtoolCommandLine, UnknownOrMissingCommandPrintsUsageAndExitsTwo)
{
    std::string out;
    EXPECT_EQ(qbtool("frobnicate", &out), 2);
    EXPECT_NE(out.find("unknown command \"frobnicate\""), std::string::npos);
    EXPECT_NE(out.find("usage: qbtool COMMAND"), std::string::npos);
    EXPECT_EQ(qbtool("", &out), 2);
    EXPECT_EQ(qbtool("--help", &out), 0);
    EXPECT_NE(out.find("check FILE|DIR"), std::string::npos);
}

TEST(QbtoolCommandLine, MissingFileAndDirectoryAreNamedInTheError)
{
    TempDir dir;
    std::string out;
    EXPECT_EQ(qbtool("dump " + dir.file("gone.dbf"), &out), 1);
    EXPECT_EQ(out, dir.file("gone.dbf") + ": file not found\n");
    EXPECT_EQ(qbtool("schema " + dir.path(), &out), 1);
    EXPECT_EQ(out, dir.path() + ": is a directory, not a table file\n");
}

TEST(QbtoolCommandLine, SchemaListsHeaderAndFields)
{
    TempDir dir;
    TableBytes t({{"IDENT", 'N', 4}, {"INUSE", 'L', 1}, {"TIME", 'N', 10, 5}});
    qb::test::writeFile(dir.file("t.dbf"), t.add({"1", "T", "1.5"}).build());
    std::string out;
    ASSERT_EQ(qbtool("schema " + dir.file("t.dbf"), &out), 0) << out;
    EXPECT_NE(out.find("Version:       0x03 (dBASE III)"), std::string::npos) << out;
    EXPECT_NE(out.find("Last update:   2026-12-08"), std::string::npos);
    EXPECT_NE(out.find("Records:       1 in the header, 1 in the file"), std::string::npos);
    EXPECT_NE(out.find("Header length: 129"), std::string::npos);
    EXPECT_NE(out.find("Record length: 16"), std::string::npos);
    EXPECT_NE(out.find("  3  TIME        N         10    5       6"), std::string::npos) << out;
}

TEST(QbtoolCommandLine, GarbageFilesGiveAnErrorNeverACrash)
{
    TempDir dir;
    std::mt19937 rng(1234);
    TableBytes t({{"NAME", 'C', 10}, {"N", 'N', 5, 2}, {"NOTES", 'M', 10}});
    std::string sound = t.add({"x", "1.5", "1"}).build();
    for (int round = 0; round < 40; ++round) {
        std::string bytes;
        if (round < 10) {
            bytes.resize(round * 7);
            for (auto& c : bytes)
                c = static_cast<char>(rng());
        } else {
            bytes = sound; // a table with a few bytes flipped
            for (int k = 0; k < 4; ++k)
                bytes[rng() % bytes.size()] = static_cast<char>(rng());
        }
        qb::test::writeFile(dir.file("g.dbf"), bytes);
        qb::test::writeFile(dir.file("g.dbt"), std::string(rng() % 1200, '\x1A'));
        for (const char* cmd : {"dump --json ", "dump ", "check ", "schema "}) {
            int rc = qbtool(std::string(cmd) + dir.file("g.dbf") + " >/dev/null");
            EXPECT_TRUE(rc == 0 || rc == 1) << cmd << " round " << round << " status " << rc;
        }
    }
}
