// qbtool against what an unlucky or hostile data directory holds: FIFOs,
// directories and links named like tables, files that are not tables, huge
// sparse files, and a report that cannot be written.
#include "tests/support/TestSupport.h"
#include "tests/tools/TableBytes.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using qb::test::readFile;
using qb::test::TableBytes;
using qb::test::TempDir;
using qb::test::writeFile;

namespace {

// Runs qbtool with a time limit, so a hang fails the test (status 124)
// instead of stalling the run.
int qbtool(const std::string& args, std::string* out = nullptr)
{
    std::string text;
    int rc = qb::test::runCommand("timeout 20 " + std::string(QB_QBTOOL) + " " + args + " 2>&1", &text);
    if (out)
        *out = text;
    return rc;
}

std::string q(const std::string& s) { return "'" + s + "'"; }

std::string soundTable()
{
    return TableBytes({{"NAME", 'C', 10}, {"PAY", 'N', 5}}).add({"Ann", "12"}).add({"Bob", "7"}).build();
}

} // namespace

TEST(BadInput, NonFilesNamedLikeTablesAreReportedNotSkipped)
{
    struct Case {
        const char* kind;
        std::function<void(const std::string&)> make;
        const char* says;
    };
    const Case cases[] = {
        {"FIFO", [](const std::string& p) { ::mkfifo(p.c_str(), 0600); }, "is a FIFO"},
        {"directory", [](const std::string& p) { ::mkdir(p.c_str(), 0700); }, "is a directory"},
        {"dangling link", [](const std::string& p) { [[maybe_unused]] int r = ::symlink("/nonexistent/x.dbf", p.c_str()); },
         "is a symbolic link to /nonexistent/x.dbf, which does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        TempDir dir;
        writeFile(dir.file("remarks.dbf"), soundTable());
        c.make(dir.file("qb3.dbf"));
        std::string out;
        EXPECT_EQ(qbtool("check " + q(dir.path()), &out), 1) << out;
        EXPECT_NE(out.find(dir.file("qb3.dbf") + ": " + c.says), std::string::npos) << out;
        EXPECT_EQ(qbtool("locks " + q(dir.path()), &out), 1) << out;
        EXPECT_NE(out.find("qb3.dbf: " + std::string(c.says)), std::string::npos) << out;
        EXPECT_NE(out.find("remarks.dbf: no locks"), std::string::npos) << out;
    }
}

TEST(BadInput, FifoNeverBlocksACommand)
{
    TempDir dir;
    writeFile(dir.file("t.dbf"), TableBytes({{"NOTES", 'M', 10}}).add({"1"}).build());
    ASSERT_EQ(::mkfifo(dir.file("t.dbt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(dir.file("f.dbf").c_str(), 0600), 0);
    std::string out;
    EXPECT_EQ(qbtool("locks " + q(dir.file("t.dbf")), &out), 0) << out;
    EXPECT_EQ(qbtool("dump " + q(dir.file("t.dbf")), &out), 1) << out;
    for (const char* cmd : {"locks", "dump", "schema", "check"}) {
        EXPECT_EQ(qbtool(std::string(cmd) + " " + q(dir.file("f.dbf")), &out), 1) << cmd << ": " << out;
        EXPECT_NE(out.find("not a regular file"), std::string::npos) << cmd << ": " << out;
    }
}

TEST(BadInput, LocksAnswersOnlyForTables)
{
    TempDir dir;
    writeFile(dir.file("passwd"), "root:x:0:0:root:/root:/bin/bash\ndaemon:x:1:1:daemon:/usr/sbin:/usr/sbin/nologin\n"
                                  + std::string(600, '#'));
    std::string out;
    EXPECT_EQ(qbtool("locks " + q(dir.file("passwd")), &out), 1) << out;
    EXPECT_NE(out.find("not a table"), std::string::npos) << out;
    EXPECT_EQ(qbtool("locks /dev/urandom", &out), 1) << out;
    EXPECT_EQ(out.find("no locks"), std::string::npos) << out;
}

TEST(BadInput, AReportThatCannotBeWrittenFailsTheCommand)
{
    if (::access("/dev/full", W_OK) != 0)
        GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    std::string stale = soundTable(); // a lagging count gives check a line to write
    TableBytes::put32(stale, 4, 1);
    writeFile(dir.file("t.dbf"), stale);
    for (const std::string cmd : {"schema", "check", "locks", "dump", "dump --json"}) {
        std::string err;
        int rc = qb::test::runCommand(std::string(QB_QBTOOL) + " " + cmd + " " + q(dir.file("t.dbf"))
                                          + " 2>&1 >/dev/full",
                                      &err);
        EXPECT_EQ(rc, 1) << cmd << ": " << err;
        EXPECT_NE(err.find("cannot write the output"), std::string::npos) << cmd << ": " << err;
    }
}

// Sparse files: a 100 GB table costs nothing on disk; a command that read it
// whole would die of memory (and check would not reach the next table).
TEST(BadInput, HugeSparseTablesCostNoMemory)
{
    TempDir dir;
    std::string sound = soundTable();
    writeFile(dir.file("a.dbf"), sound);
    writeFile(dir.file("b.dbf"), sound);
    ASSERT_EQ(::truncate(dir.file("a.dbf").c_str(), 100LL << 30), 0);
    std::string out;
    EXPECT_EQ(qbtool("check " + q(dir.path()), &out), 1) << out;
    EXPECT_NE(out.find("a.dbf: file is 107374182400 bytes, more than a table can hold"), std::string::npos) << out;
    EXPECT_EQ(out.find("b.dbf"), std::string::npos) << out;
    EXPECT_NE(out.find("2 tables, 1 problem"), std::string::npos) << out;
    EXPECT_EQ(qbtool("dump " + q(dir.file("a.dbf")), &out), 1) << out;
    EXPECT_NE(out.find("more than a table can hold"), std::string::npos) << out;
    EXPECT_EQ(qbtool("schema " + q(dir.file("a.dbf")), &out), 0) << out;

    // Below the size limit, a large table is read record by record: 600 MB
    // under a 200 MB address-space limit.
    std::vector<qb::test::TestField> fields;
    for (int i = 1; i <= 250; ++i)
        fields.push_back({"N" + std::to_string(i), 'N', 255});
    writeFile(dir.file("c.dbf"), TableBytes(fields).build());
    ASSERT_EQ(::truncate(dir.file("c.dbf").c_str(), 600LL << 20), 0);
    for (const std::string cmd : {"check", "dump --json"}) {
        int rc = qb::test::runCommand("ulimit -v 204800; timeout 60 " + std::string(QB_QBTOOL) + " " + cmd + " "
                                          + q(dir.file("c.dbf")) + " >/dev/null 2>&1");
        EXPECT_EQ(rc, 1) << cmd << " (134 is std::bad_alloc)";
    }
}

TEST(BadInput, DumpAndCheckSayWhatTheyCannotShow)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::string bytes;
        const char* command;
        int status;
        const char* says;
    };
    std::string noCount = soundTable();
    TableBytes::put32(noCount, 4, 0);
    const Case cases[] = {
        {"unknown type", TableBytes({{"A", 'X', 4}}).add({"abcd"}).build(), "dump", 1, "has a type no station knows"},
        {"NUL type", TableBytes({{"A", '\0', 4}}).add({"abcd"}).build(), "dump", 1, "has a type no station knows"},
        {"length 0", TableBytes({{"A", 'C', 0}, {"B", 'C', 2}}).add({"", "xy"}).build(), "dump", 1, "has length 0"},
        {"count 0, two records", noCount, "dump", 0, "header says 0 records, the file holds 2"},
        {"letters in a number", TableBytes({{"PAY", 'N', 4}}).add({"abcd"}).build(), "check", 1,
         "record 1, field PAY: \"abcd\" is not a number"},
        {"letters in a date", TableBytes({{"D", 'D', 8}}).add({"2026-1-1"}).build(), "check", 1, "is not a date"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(dir.file("t.dbf"), c.bytes);
        std::string out;
        EXPECT_EQ(qbtool(std::string(c.command) + " " + q(dir.file("t.dbf")), &out), c.status) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
    }
}

TEST(BadInput, UnreadableFoldersAreReported)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    TempDir dir;
    writeFile(dir.file("t.dbf"), soundTable());
    ASSERT_EQ(::mkdir(dir.file("s").c_str(), 0700), 0);
    ::chmod(dir.file("s").c_str(), 0);
    std::string out;
    EXPECT_EQ(qbtool("check " + q(dir.path()), &out), 1) << out;
    EXPECT_NE(out.find("s: cannot read the folder"), std::string::npos) << out;
    EXPECT_EQ(qbtool("locks " + q(dir.path()), &out), 1) << out;
    ::chmod(dir.file("s").c_str(), 0700);
}

// A pack marker and a "packed" table that no pack wrote (an empty marker,
// eight bytes of garbage) must never take the names table's place, whichever
// command meets them first.
TEST(BadInput, StrayPackMarkerNeverReplacesTheNamesTable)
{
    TempDir tmp;
    const std::string dir = tmp.file("demo");
    ASSERT_EQ(qbtool("init " + q(dir) + " --demo"), 0);
    const std::string names = readFile(dir + "/qb3.dbf");
    writeFile(dir + "/qb3.pk$", "");
    writeFile(dir + "/qb3.pkd", "\x01\x02garbage"); // 8 bytes

    std::string out;
    for (const std::string& cmd : {"check " + q(dir), "locks " + q(dir), "dump " + q(dir + "/qb3.dbf"),
                                  "schema " + q(dir + "/qb3.dbf")}) {
        qbtool(cmd, &out);
        EXPECT_EQ(readFile(dir + "/qb3.dbf"), names) << cmd << ": " << out;
    }
    EXPECT_EQ(qbtool("set-remark " + q(dir) + " 'Mei Lin' Out", &out), 0) << out;
    EXPECT_EQ(qbtool("add-name " + q(dir) + " 'Eve Adams'", &out), 0) << out;
    EXPECT_EQ(qbtool("dump --json " + q(dir + "/qb3.dbf"), &out), 0) << out;
    for (const char* person : {"Anna Berger", "Mei Lin", "David Cohen", "Eve Adams"})
        EXPECT_NE(out.find(person), std::string::npos) << person << " in\n" << out;
}
