#include "tests/support/TestSupport.h"
#include "tests/tools/MemoBytes.h"
#include "tests/tools/TableBytes.h"
#include "tools/TableCommands.h"
#include "tools/JsonText.h"

#include <gtest/gtest.h>
#include <sstream>

using qb::test::MemoBytes;
using qb::test::TableBytes;
using qb::test::TempDir;
using qb::test::TestField;

namespace {

struct DumpResult {
    int status = 0;
    std::string out;
    std::string err;
};

DumpResult runDump(const std::vector<std::string>& args)
{
    std::ostringstream out, err;
    DumpResult r;
    r.status = qb::tools::dumpCommand(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> v;
    std::istringstream is(text);
    for (std::string l; std::getline(is, l);)
        v.push_back(l);
    return v;
}

} // namespace

TEST(JsonText, EscapesQuotesBackslashesAndControlCharacters)
{
    EXPECT_EQ(qb::tools::JsonText::quote("a\"b\\c"), R"("a\"b\\c")");
    EXPECT_EQ(qb::tools::JsonText::quote("x\ny\r\tz"), R"("x\ny\r\tz")");
    EXPECT_EQ(qb::tools::JsonText::quote(std::string("\x01\x1f", 2)), R"("\u0001\u001f")");
    EXPECT_EQ(qb::tools::JsonText::quote(std::string(1, '\0')), R"("\u0000")");
    EXPECT_EQ(qb::tools::JsonText::quote("M\xC3\xBCller"), "\"M\xC3\xBCller\"");
}

TEST(JsonText, ReplacesBrokenUtf8SoTheOutputStillParses)
{
    EXPECT_EQ(qb::tools::JsonText::quote("a\xFFz"), "\"a\xEF\xBF\xBDz\"");
    EXPECT_EQ(qb::tools::JsonText::quote("\xC3"), "\"\xEF\xBF\xBD\"");       // cut sequence
    EXPECT_EQ(qb::tools::JsonText::quote("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\""); // overlong
}

TEST(JsonText, NumbersAreShortestRoundTripAndNeverNegativeZero)
{
    EXPECT_EQ(qb::tools::JsonText::number(0.1), "0.1");
    EXPECT_EQ(qb::tools::JsonText::number(-0.25), "-0.25");
    EXPECT_EQ(qb::tools::JsonText::number(1234.5), "1234.5");
    EXPECT_EQ(qb::tools::JsonText::number(-0.0), "0");
    EXPECT_EQ(qb::tools::JsonText::number(99.999), "99.999");
}

// One stored field value and the JSON the dump must show for it.
struct ValueCase {
    char type;
    int length;
    int decimals;
    std::string stored;
    std::string json;
    bool unreadable = false;
};

class DumpValue : public ::testing::TestWithParam<ValueCase> {};

TEST_P(DumpValue, ShowsTheStoredValueAsJson)
{
    const ValueCase& c = GetParam();
    TempDir dir;
    TableBytes t({{"V", c.type, c.length, c.decimals}});
    std::string bytes = t.add({}).build();
    bytes.replace(t.recordOffset(1) + 1, static_cast<std::size_t>(c.length), c.stored);
    qb::test::writeFile(dir.file("v.dbf"), bytes);
    if (c.type == 'M')
        qb::test::writeFile(dir.file("v.dbt"), MemoBytes().build());

    DumpResult r = runDump({dir.file("v.dbf"), "--json"});
    EXPECT_EQ(r.out, "{\"_recno\": 1, \"_deleted\": false, \"v\": " + c.json + "}\n");
    EXPECT_EQ(r.status, c.unreadable ? 1 : 0) << r.err;
    EXPECT_EQ(r.err.find("field V") != std::string::npos, c.unreadable) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    FieldTypes, DumpValue,
    ::testing::Values(ValueCase{'C', 6, 0, "abc   ", R"("abc")"}, ValueCase{'C', 6, 0, "  x   ", R"("  x")"},
                      ValueCase{'C', 4, 0, "    ", R"("")"}, ValueCase{'C', 4, 0, "a\"\\b", R"("a\"\\b")"},
                      ValueCase{'N', 4, 0, "  42", "42"}, ValueCase{'N', 4, 0, "    ", "0"},
                      ValueCase{'N', 4, 0, "  -7", "-7"}, ValueCase{'N', 4, 0, "0042", "42"},
                      ValueCase{'N', 4, 0, "****", "0"}, ValueCase{'N', 4, 0, " 1.5", "0", true},
                      ValueCase{'N', 4, 0, "  x1", "0", true}, ValueCase{'F', 3, 0, " 12", "12"},
                      ValueCase{'N', 22, 0, "1234567890123456789012", "1234567890123456789012"},
                      ValueCase{'N', 6, 2, " 12.50", "12.5"}, ValueCase{'N', 6, 2, "  -.50", "-0.5"},
                      ValueCase{'N', 6, 2, "  0.00", "0"}, ValueCase{'N', 6, 2, "      ", "0"},
                      ValueCase{'F', 10, 5, "  16.66667", "16.66667"}, ValueCase{'N', 6, 2, "   nan", "0", true},
                      ValueCase{'L', 1, 0, "T", "true"}, ValueCase{'L', 1, 0, "t", "true"},
                      ValueCase{'L', 1, 0, "Y", "true"}, ValueCase{'L', 1, 0, "y", "true"},
                      ValueCase{'L', 1, 0, "F", "false"}, ValueCase{'L', 1, 0, "?", "false"},
                      ValueCase{'L', 1, 0, " ", "false"}, ValueCase{'D', 8, 0, "20261208", R"("20261208")"},
                      ValueCase{'D', 8, 0, "        ", R"("")"}, ValueCase{'D', 8, 0, "2026-1-8", R"("")", true},
                      ValueCase{'M', 10, 0, "          ", R"("")"}, ValueCase{'M', 10, 0, "         0", R"("")"}));

TEST(DumpJson, ListsEveryRecordInFileOrderWithDeletedOnes)
{
    TempDir dir;
    TableBytes t({{"NAME", 'C', 10}, {"N", 'N', 3}});
    t.add({"Ann", "1"}).add({"Bob", "2"}, true).add({"Cy", "3"});
    qb::test::writeFile(dir.file("p.dbf"), t.build());

    DumpResult r = runDump({dir.file("p.dbf"), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                R"({"_recno": 1, "_deleted": false, "name": "Ann", "n": 1})",
                                R"({"_recno": 2, "_deleted": true, "name": "Bob", "n": 2})",
                                R"({"_recno": 3, "_deleted": false, "name": "Cy", "n": 3})",
                            }));
}

TEST(DumpJson, ConvertsStoredTextFromTheChosenCodePage)
{
    TempDir dir;
    TableBytes t({{"NAME", 'C', 8}});
    t.add({"M\x81ller"}).add({"\x92r\x9B"}); // CP437 ü; CP850 Æ r ø
    qb::test::writeFile(dir.file("p.dbf"), t.build());

    DumpResult r437 = runDump({dir.file("p.dbf"), "--json"});
    ASSERT_EQ(lines(r437.out).size(), 2u);
    EXPECT_NE(lines(r437.out)[0].find("\"M\xC3\xBCller\""), std::string::npos);
    DumpResult r850 = runDump({dir.file("p.dbf"), "--json", "--codepage", "850"});
    EXPECT_NE(lines(r850.out)[1].find("\"\xC3\x86r\xC3\xB8\""), std::string::npos) << r850.out;
    DumpResult r1252 = runDump({dir.file("p.dbf"), "--json", "--codepage=1252"});
    EXPECT_NE(lines(r1252.out)[0].find("\"M\xC2\x81ller\""), std::string::npos) << r1252.out;
}

TEST(DumpJson, JoinsMemoLinesAndFollowsBlocksPastTheFirst)
{
    TempDir dir;
    MemoBytes m;
    int first = m.add("one\r\ntwo\rthree\x8D\nfour Citt\x8D");
    std::string longText(700, 'x');
    int second = m.add(longText);
    TableBytes t({{"NOTES", 'M', 10}});
    t.add({std::to_string(first)}).add({std::to_string(second)}).add({"0"});
    qb::test::writeFile(dir.file("m.dbf"), t.build());
    qb::test::writeFile(dir.file("m.dbt"), m.build());

    DumpResult r = runDump({dir.file("m.dbf"), "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto l = lines(r.out);
    ASSERT_EQ(l.size(), 3u);
    // The bare 0x8D at the end is the letter ì, not a line break.
    EXPECT_NE(l[0].find("\"notes\": \"one\\ntwo\\nthree\\nfour Citt\xC3\xAC\""), std::string::npos) << l[0];
    EXPECT_NE(l[1].find("\"notes\": \"" + longText + "\""), std::string::npos);
    EXPECT_NE(l[2].find(R"("notes": "")"), std::string::npos);
}

TEST(DumpJson, FindsTheMemoFileWhateverTheCaseOfItsName)
{
    TempDir dir;
    MemoBytes m;
    int b = m.add("hello");
    TableBytes t({{"NOTES", 'M', 10}});
    t.add({std::to_string(b)});
    qb::test::writeFile(dir.file("MSG1.DBF"), t.build());
    qb::test::writeFile(dir.file("Msg1.Dbt"), m.build());

    DumpResult r = runDump({dir.file("MSG1.DBF"), "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(R"("notes": "hello")"), std::string::npos) << r.out;
}

TEST(DumpJson, MissingMemoFileStillDumpsTheRecordsButFails)
{
    TempDir dir;
    TableBytes t({{"NAME", 'C', 3}, {"NOTES", 'M', 10}});
    t.add({"abc", "1"});
    qb::test::writeFile(dir.file("m.dbf"), t.build());

    DumpResult r = runDump({dir.file("m.dbf"), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(dir.file("m.dbf") + ": memo file (.dbt) is missing"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "{\"_recno\": 1, \"_deleted\": false, \"name\": \"abc\", \"notes\": \"\"}\n");
}

TEST(DumpJson, ShowsRecordsAppendedBeyondAStaleHeaderCount)
{
    // A station that appended but has not yet rewritten the header: the
    // other stations count records from the file size, and so does dump.
    TempDir dir;
    TableBytes t({{"N", 'N', 2}});
    std::string bytes = t.add({"1"}).add({"2"}).build();
    TableBytes::put32(bytes, 4, 1);
    qb::test::writeFile(dir.file("t.dbf"), bytes);

    DumpResult r = runDump({dir.file("t.dbf"), "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out).size(), 2u);
}

TEST(DumpJson, TruncatedFileDumpsWhatIsThereAndSaysSo)
{
    TempDir dir;
    TableBytes t({{"N", 'N', 2}});
    std::string bytes = t.add({"1"}).add({"2"}).add({"3"}).build();
    bytes.resize(t.recordOffset(2) + 1);
    qb::test::writeFile(dir.file("t.dbf"), bytes);

    DumpResult r = runDump({dir.file("t.dbf"), "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(lines(r.out).size(), 1u);
    EXPECT_NE(r.err.find("header says 3 records, the file holds 1"), std::string::npos) << r.err;
}

TEST(DumpTable, PrintsAlignedColumnsWithDeletionMarks)
{
    TempDir dir;
    TableBytes t({{"NAME", 'C', 10}, {"N", 'N', 4}, {"OK", 'L', 1}});
    t.add({"Ann", "7", "T"}).add({"Bob", "1234", "F"}, true);
    qb::test::writeFile(dir.file("p.dbf"), t.build());

    DumpResult r = runDump({dir.file("p.dbf")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                "#  del  NAME     N  OK",
                                "1       Ann      7  T",
                                "2  *    Bob   1234  F",
                                "(2 records)",
                            }));
}

TEST(DumpArguments, RejectsUnknownOptionsAndCodePages)
{
    EXPECT_EQ(runDump({}).status, 2);
    EXPECT_EQ(runDump({"x.dbf", "--xml"}).status, 2);
    DumpResult r = runDump({"x.dbf", "--codepage", "1250"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("1250"), std::string::npos);
    EXPECT_EQ(runDump({"x.dbf", "--codepage"}).status, 2);
    EXPECT_EQ(runDump({"a.dbf", "b.dbf"}).status, 2);
}

TEST(DumpJson, ReadsTheOlderDbase2Layout)
{
    // Fixed 521-byte header, 16-byte descriptors ended by 0x0D, the count as
    // 16 bits at offset 1 and the date as month, day, year.
    std::string h(521, '\0');
    h[0] = 0x02;
    TableBytes::put16(h, 1, 2);
    h[3] = 7;
    h[4] = 4;
    h[5] = 86;
    TableBytes::put16(h, 6, 1 + 5 + 3);
    h.replace(8, 4, "NAME");
    h[8 + 11] = 'C';
    h[8 + 12] = 5;
    h.replace(24, 3, "QTY");
    h[24 + 11] = 'N';
    h[24 + 12] = 3;
    h[40] = '\x0D';
    std::string bytes = h + " Ann    4*Bob   12" + '\x1A';
    TempDir dir;
    qb::test::writeFile(dir.file("old.dbf"), bytes);

    DumpResult r = runDump({dir.file("old.dbf"), "--json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{
                                R"({"_recno": 1, "_deleted": false, "name": "Ann", "qty": 4})",
                                R"({"_recno": 2, "_deleted": true, "name": "Bob", "qty": 12})",
                            }));
    std::ostringstream out, err;
    EXPECT_EQ(qb::tools::checkCommand({dir.file("old.dbf")}, out, err), 0) << out.str();
}
