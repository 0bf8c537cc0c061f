#include "tests/support/TestSupport.h"
#include "tests/tools/MemoBytes.h"
#include "tests/tools/TableBytes.h"
#include "tools/TableCommands.h"
#include "tools/TableChecker.h"

#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

using qb::test::MemoBytes;
using qb::test::TableBytes;
using qb::test::TempDir;

namespace {

// A sound table of two records with a memo field, as bytes of both files.
struct SoundTable {
    TableBytes table{{{"NAME", 'C', 10}, {"OK", 'L', 1}, {"NOTES", 'M', 10}}};
    std::string dbf;
    std::string dbt;
    SoundTable()
    {
        MemoBytes m;
        int b1 = m.add("first\r\nmemo");
        int b2 = m.add(std::string(600, 'y'));
        table.add({"Ann", "T", std::to_string(b1)}).add({"Bob", "F", std::to_string(b2)}, true);
        dbf = table.build();
        dbt = m.build();
    }
};

std::string joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const auto& l : v)
        s += l + "\n";
    return s;
}

std::vector<std::string> checkFiles(const TempDir& dir, const std::string& dbf, const std::string* dbt)
{
    qb::test::writeFile(dir.file("t.dbf"), dbf);
    if (dbt)
        qb::test::writeFile(dir.file("t.dbt"), *dbt);
    return qb::tools::TableChecker().check(dir.file("t.dbf"));
}

} // namespace

TEST(TableCheck, SoundTableWithMemosHasNoProblems)
{
    TempDir dir;
    SoundTable s;
    EXPECT_EQ(joined(checkFiles(dir, s.dbf, &s.dbt)), "");
}

TEST(TableCheck, NewEmptyTableAndMemoFileAreSound)
{
    TempDir dir;
    TableBytes t({{"NOTES", 'M', 10}});
    std::string dbt = MemoBytes().build();
    ASSERT_EQ(dbt.size(), 513u);
    EXPECT_EQ(joined(checkFiles(dir, t.build(), &dbt)), "");
}

// One kind of damage and a phrase the report must contain.
struct Damage {
    const char* name;
    std::function<void(SoundTable&)> apply;
    const char* expected;
};

class TableDamage : public ::testing::TestWithParam<Damage> {};

TEST_P(TableDamage, IsReported)
{
    TempDir dir;
    SoundTable s;
    GetParam().apply(s);
    auto problems = checkFiles(dir, s.dbf, s.dbt.empty() ? nullptr : &s.dbt);
    EXPECT_NE(joined(problems).find(GetParam().expected), std::string::npos) << joined(problems);
}

namespace {
// Offsets inside SoundTable's header: descriptor i starts at 32 + 32 i.
constexpr std::size_t kDescOk = 64, kDescNotes = 96;
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Kinds, TableDamage,
    ::testing::Values(
        Damage{"TooShort", [](SoundTable& s) { s.dbf.resize(20); }, "20 bytes long, shorter than a table header"},
        Damage{"VersionByte", [](SoundTable& s) { s.dbf[0] = 0x04; }, "version byte 0x04"},
        Damage{"HeaderLength", [](SoundTable& s) { TableBytes::put16(s.dbf, 8, 161); },
               "header length 161 does not match 3 fields (expected 129)"},
        Damage{"HeaderLengthPastEnd", [](SoundTable& s) { TableBytes::put16(s.dbf, 8, 60000); },
               "lies beyond the end of the file"},
        Damage{"Terminator", [](SoundTable& s) { s.dbf[128] = 'X'; }, "no header terminator 0x0D"},
        Damage{"RecordLength", [](SoundTable& s) { TableBytes::put16(s.dbf, 10, 23); },
               "record length 23 does not match the fields (1 + their lengths = 22)"},
        Damage{"FieldsLongerThanRecord", [](SoundTable& s) { TableBytes::put16(s.dbf, 10, 12); },
               "the fields need 22 bytes per record but the record length is 12"},
        Damage{"FieldType", [](SoundTable& s) { s.dbf[kDescOk + 11] = 'X'; }, "type X is not one of C, N, F, L, D, M"},
        Damage{"LogicalLength", [](SoundTable& s) { s.dbf[kDescOk + 16] = 2; }, "(OK): length 2 should be 1"},
        Damage{"MemoLength", [](SoundTable& s) { s.dbf[kDescNotes + 16] = 9; }, "(NOTES): length 9 should be 10"},
        Damage{"DecimalsOnText", [](SoundTable& s) { s.dbf[32 + 17] = 2; }, "type C cannot have decimals"},
        Damage{"LowerCaseName", [](SoundTable& s) { s.dbf[32] = 'n'; }, "name is not 1 to 10 upper-case"},
        Damage{"EmptyName", [](SoundTable& s) { s.dbf.replace(32, 4, 4, '\0'); }, "field 1 has an empty name"},
        Damage{"DuplicateName", [](SoundTable& s) { s.dbf.replace(kDescOk, 2, "NA"); s.dbf.replace(kDescOk + 2, 2, "ME"); },
               "name occurs twice"},
        Damage{"HeaderDate", [](SoundTable& s) { s.dbf[2] = 13; }, "header date 2026-13-8 is not a valid date"},
        Damage{"DeletionFlag", [](SoundTable& s) { s.dbf[s.table.recordOffset(2)] = 'X'; },
               "record 2: deletion flag is 0x58, not blank or *"},
        Damage{"Truncated", [](SoundTable& s) { s.dbf.resize(s.table.recordOffset(2) + 5); },
               "file is too short: 2 records need 174 bytes, the file has 156 (1 whole records)"},
        Damage{"EndByteMissing", [](SoundTable& s) { s.dbf.pop_back(); }, "end byte 0x1A is missing"},
        Damage{"EndByteWrong", [](SoundTable& s) { s.dbf.back() = 0; }, "byte after the last record is 0x00"},
        Damage{"StaleCount", [](SoundTable& s) { TableBytes::put32(s.dbf, 4, 1); },
               "file holds 1 whole records beyond the header count of 1"},
        Damage{"TrailingGarbage", [](SoundTable& s) { s.dbf += "abc"; }, "4 bytes after the last of the 2 records"},
        Damage{"MemoFlagMissing", [](SoundTable& s) { s.dbf[0] = 0x03; }, "does not announce a memo file"},
        Damage{"MemoFlagWithoutMemo", [](SoundTable& s) { s.dbf[kDescNotes + 11] = 'C'; },
               "announces a memo file but no field is a memo"},
        Damage{"MemoFileMissing", [](SoundTable& s) { s.dbt.clear(); }, "memo file (.dbt) is missing"},
        Damage{"MemoFileShort", [](SoundTable& s) { s.dbt.resize(100); }, "shorter than its 512-byte header"},
        Damage{"MemoPointerGarbage", [](SoundTable& s) { s.dbf.replace(s.table.recordOffset(1) + 12, 10, "   12ab   "); },
               "record 1, field NOTES: memo pointer \"   12ab   \" is not a number"},
        Damage{"MemoPointerOutside", [](SoundTable& s) { s.dbf.replace(s.table.recordOffset(1) + 12, 10, "        99"); },
               "memo block 99 lies outside t.dbt"},
        Damage{"MemoWithoutEndByte", [](SoundTable& s) { s.dbt.resize(512 * 2 + 100); s.dbt.replace(512 * 2, 100, 100, 'z'); },
               "record 2, field NOTES: memo at block 2 runs to the end of the file without the end byte"},
        Damage{"NextFreeZero", [](SoundTable& s) { TableBytes::put32(s.dbt, 0, 0); }, "next free block in the header is 0"},
        Damage{"NextFreeTooLow", [](SoundTable& s) { TableBytes::put32(s.dbt, 0, 2); },
               "memo at block 2 reaches block 3, past the next free block 2"},
        Damage{"NextFreeBeyondEnd", [](SoundTable& s) { TableBytes::put32(s.dbt, 0, 40); },
               "next free block 40 lies beyond the end of the file"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

TEST(TableCheck, RepeatedProblemsAreCutToAFewLinesAndACount)
{
    TempDir dir;
    TableBytes t({{"N", 'N', 2}});
    for (int i = 0; i < 50; ++i)
        t.add({std::to_string(i)});
    std::string bytes = t.build();
    for (int i = 1; i <= 50; ++i)
        bytes[t.recordOffset(i)] = '?';
    auto problems = checkFiles(dir, bytes, nullptr);
    ASSERT_EQ(problems.size(), 11u) << joined(problems);
    EXPECT_EQ(problems.back(), "... and 40 more: deletion flag");
}

TEST(TableCheck, UnreadableFileIsOneProblemNotACrash)
{
    TempDir dir;
    EXPECT_EQ(qb::tools::TableChecker().check(dir.file("none.dbf")),
              std::vector<std::string>{"cannot read: file not found"});
    ::mkdir(dir.file("sub.dbf").c_str(), 0755);
    EXPECT_EQ(qb::tools::TableChecker().check(dir.file("sub.dbf")),
              std::vector<std::string>{"cannot read: is a directory, not a table file"});
}

TEST(CheckCommand, DirectoryChecksEveryTableInAnyCaseAndInSubfolders)
{
    TempDir dir;
    SoundTable s;
    TableBytes plain({{"N", 'N', 2}});
    plain.add({"1"});
    std::string good = plain.build();
    std::string bad = good;
    bad.pop_back();
    qb::test::writeFile(dir.file("a.dbf"), good);
    qb::test::writeFile(dir.file("B.DBF"), bad);
    ::mkdir(dir.file("s").c_str(), 0755);
    qb::test::writeFile(dir.file("s/sh001.Dbf"), bad);
    qb::test::writeFile(dir.file("notes.txt"), "not a table");
    qb::test::writeFile(dir.file("t.dbf"), s.dbf);
    qb::test::writeFile(dir.file("t.dbt"), s.dbt);

    std::ostringstream out, err;
    int status = qb::tools::checkCommand({dir.path()}, out, err);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out.str(), dir.file("B.DBF") + ": end byte 0x1A is missing after the last record\n" + dir.file("s/sh001.Dbf")
                             + ": end byte 0x1A is missing after the last record\n");
    EXPECT_NE(err.str().find("4 tables, 2 problems"), std::string::npos) << err.str();
}

TEST(CheckCommand, SoundFilesExitZeroAndEmptyDirectoryIsReported)
{
    TempDir dir;
    SoundTable s;
    qb::test::writeFile(dir.file("t.dbf"), s.dbf);
    qb::test::writeFile(dir.file("t.dbt"), s.dbt);
    std::ostringstream out, err;
    EXPECT_EQ(qb::tools::checkCommand({dir.file("t.dbf")}, out, err), 0);
    EXPECT_EQ(out.str(), "");

    TempDir empty;
    std::ostringstream out2, err2;
    EXPECT_EQ(qb::tools::checkCommand({empty.path()}, out2, err2), 1);
    EXPECT_EQ(out2.str(), empty.path() + ": no table files (*.dbf) found\n");
    std::ostringstream out3, err3;
    EXPECT_EQ(qb::tools::checkCommand({}, out3, err3), 2);
}
