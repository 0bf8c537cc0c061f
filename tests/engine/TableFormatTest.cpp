// Bytes of created tables and memo files, value encoding, refused and damaged
// files, and the read-only dBASE II layout.
#include "EngineTestSupport.h"

#include <gtest/gtest.h>

#include "engine/RecordCodec.h"
#include "platform/FileOps.h"
#include "tests/support/FakeClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <thread>
#include <unistd.h>

using namespace qb::engine;
using namespace qb::engine::test;
using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;

namespace {

class TableFormat : public ::testing::Test {
protected:
    TempDir dir;
    qb::test::FakeClock clock{fixedDay()};
    Engine e{clock};
};

TEST_F(TableFormat, NamesTableHeaderBytes)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("names"), namesFields())) << e.lastErrorText();
    std::string b = readFile(dir.file("names.dbf"));
    ASSERT_EQ(b.size(), 98u);
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x03);
    EXPECT_EQ(static_cast<unsigned char>(b[1]), 126); // 2026
    EXPECT_EQ(b[2], 3);
    EXPECT_EQ(b[3], 14);
    EXPECT_EQ(u32At(b, 4), 0u);
    EXPECT_EQ(u16At(b, 8), 97);
    EXPECT_EQ(u16At(b, 10), 6);
    EXPECT_EQ(std::string(b.data() + 32, 11), std::string("IDENT\0\0\0\0\0\0", 11));
    EXPECT_EQ(b[32 + 11], 'N');
    EXPECT_EQ(b[32 + 16], 4);
    EXPECT_EQ(std::string(b.data() + 64, 5), "INUSE");
    EXPECT_EQ(b[64 + 11], 'L');
    EXPECT_EQ(b[64 + 16], 1);
    EXPECT_EQ(static_cast<unsigned char>(b[96]), 0x0D);
    EXPECT_EQ(static_cast<unsigned char>(b[97]), 0x1A);

    ASSERT_TRUE(e.USE(dir.file("names.dbf")));
    EXPECT_EQ(e.headerLength(), 97);
    EXPECT_EQ(e.recordLength(), 6);
    EXPECT_EQ(e.RecCount(), 0);
    EXPECT_TRUE(e.dEOF());
    EXPECT_TRUE(e.dBOF());
    EXPECT_EQ(e.RecNo(), 0);
    EXPECT_EQ(e.lastUpdate(), "03/14/26");
}

TEST_F(TableFormat, MemoTableGetsVersion83AndEmptyMemoFile)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("info.dbf"), mixedFields()));
    std::string b = readFile(dir.file("info.dbf"));
    EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x83);
    std::string m = readFile(dir.file("info.dbt"));
    ASSERT_EQ(m.size(), 513u);
    EXPECT_EQ(u32At(m, 0), 1u);
    EXPECT_EQ(m.substr(4, 508), std::string(508, '\0'));
    EXPECT_EQ(static_cast<unsigned char>(m[512]), 0x1A);
}

TEST_F(TableFormat, CreationNormalisesAndRefusesDefinitions)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("norm"), {{"  verylongfieldname ", 'c', 5, 3},
                                               {"d", 'D', 0, 2},
                                               {"flag", 'L', 9, 0},
                                               {"m", 'm', 1, 0},
                                               {"amount", 'F', 9, 3}}));
    ASSERT_TRUE(e.USE(dir.file("norm")));
    EXPECT_EQ(e.Field(1), "VERYLONGFI");
    EXPECT_EQ(e.FieldType(1), 'C');
    EXPECT_EQ(e.FieldDec(1), 0);
    EXPECT_EQ(e.FieldLen(2), 8);
    EXPECT_EQ(e.FieldLen(3), 1);
    EXPECT_EQ(e.FieldType(4), 'M');
    EXPECT_EQ(e.FieldLen(4), 10);
    EXPECT_EQ(e.FieldDec(5), 3);
    EXPECT_EQ(e.recordLength(), 1 + 5 + 8 + 1 + 10 + 9);
    e.CloseDbf();

    EXPECT_FALSE(e.CreateDbf(dir.file("bad1"), {{"a", 'C', 0, 0}}));
    EXPECT_EQ(e.lastError(), 211);
    EXPECT_EQ(e.lastErrorText(), "Invalid dBASE field definition [CreateDBF]");
    EXPECT_FALSE(e.CreateDbf(dir.file("bad2"), {{"a", 'C', 3, 0}, {"b", 'X', 3, 0}}));
    EXPECT_EQ(e.lastError(), 211);
    EXPECT_FALSE(e.CreateDbf(dir.file("bad3"), {{"   ", 'C', 3, 0}}));
    EXPECT_EQ(e.lastError(), 220);
    EXPECT_EQ(e.lastErrorText().rfind("Empty field name [CreateDbf(" + dir.file("bad3"), 0), 0u);
    EXPECT_FALSE(qb::platform::fileExists(dir.file("bad1.dbf")));
    EXPECT_FALSE(qb::platform::fileExists(dir.file("bad2.dbf")));
}

TEST_F(TableFormat, AppendToEmptySharedTable)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("names"), namesFields()));
    ASSERT_TRUE(e.USE(dir.file("names") + " ALIAS names"));
    EXPECT_TRUE(appendWith(e, [](TypedRecord& r) {
        r.fields[0].integer = 7;
        r.fields[1].logical = true;
    }));
    e.CloseDbf();
    std::string b = readFile(dir.file("names.dbf"));
    ASSERT_EQ(b.size(), 97u + 6u + 1u);
    EXPECT_EQ(u32At(b, 4), 1u);
    EXPECT_EQ(b.substr(97, 6), "    7T");
    EXPECT_EQ(static_cast<unsigned char>(b[103]), 0x1A);
}

TEST_F(TableFormat, OverflowingNumbersAreAsterisksAndReadBackZero)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("t"), mixedFields()));
    ASSERT_TRUE(e.USE(dir.file("t")));
    ASSERT_TRUE(appendWith(e, [](TypedRecord& r) {
        r.fields[0].integer = 12345;
        r.fields[2].real = 123456.789;
    }));
    EXPECT_EQ(e.Peek(1, 1), "****");
    EXPECT_EQ(e.Peek(3, 1), "********");
    e.GO(1);
    EXPECT_EQ(e.record()->fields[0].integer, 0);
    EXPECT_EQ(e.record()->fields[2].real, 0.0);
}

TEST(NumberText, ExactTiesRoundAwayFromZero)
{
    struct Row {
        double value;
        int width, decimals;
        const char* text;
    };
    for (Row r : {Row{0.125, 6, 2, "  0.13"}, Row{-0.125, 6, 2, " -0.13"}, Row{0.375, 6, 2, "  0.38"},
                  Row{2.5, 4, 0, "   3"}, Row{-2.5, 4, 0, "  -3"}, Row{999.5, 5, 0, " 1000"}, Row{-99.5, 5, 0, " -100"},
                  Row{9.875, 5, 2, " 9.88"}, Row{0.0625, 6, 3, " 0.063"}, Row{0.5, 3, 0, "  1"},
                  // Not ties: correctly rounded as before (1.005 is 1.00499... in binary).
                  Row{1.005, 6, 2, "  1.00"}, Row{0.12500001, 6, 2, "  0.13"}, Row{0.1249, 6, 2, "  0.12"},
                  Row{1.0 / 3, 6, 2, "  0.33"}, Row{-0.001, 6, 2, "  0.00"}, Row{9.5, 1, 0, "*"}}) {
        SCOPED_TRACE(r.value);
        EXPECT_EQ(Engine::formatNumber(r.value, r.width, r.decimals), r.text);
    }
}

TEST(NumberText, StoredNumbersReadAsTheCLibraryReadsThem)
{
    struct Row {
        const char* stored;
        std::int64_t integer; // read as N n 0
        double real;          // read as N n d
    };
    const Row rows[] = {
        {"  42", 42, 42.0},         {" -42", -42, -42.0},         {"+7", 7, 7.0},
        {"  -0.50", 0, -0.5},       {"1.", 0, 1.0},               {".5", 0, 0.5},
        {"    ", 0, 0.0},           {"-", 0, 0.0},                {"1e5", 0, 100000.0},
        {"\t5", 5, 5.0},            {"--5", 0, 0.0},              {"+-5", -5, -5.0},
        {"1.2.3", 0, 0.0},          {"12 3", 0, 0.0},             {"****", 0, 0.0},
        {"999999999999999999", 999999999999999999, 1e18},
        {"-9223372036854775808", INT64_MIN, -9223372036854775808.0},
        {"9223372036854775808", 0, 9223372036854775808.0},
        {"123456789012.345", 0, 123456789012.345}, {"0.1234567890123456789", 0, 0.1234567890123456789},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.stored);
        EXPECT_EQ(RecordCodec::parseInteger(r.stored), r.integer);
        EXPECT_EQ(RecordCodec::parseReal(r.stored), r.real);
    }
    // Every width and number of decimals a field can have, against strtod:
    // the same double to the last bit.
    std::mt19937_64 rng(20260314);
    char text[64];
    for (int i = 0; i < 200000; ++i) {
        const int decimals = static_cast<int>(rng() % 16);
        const int width = decimals + 2 + static_cast<int>(rng() % 16);
        const double magnitude = std::pow(10.0, static_cast<double>(rng() % 16) - 4);
        const double v = (static_cast<double>(rng() % 2000001) - 1000000.0) / 1000000.0 * magnitude;
        std::snprintf(text, sizeof text, "%*.*f", width, decimals, v);
        const double expected = std::strtod(text, nullptr);
        const double got = RecordCodec::parseReal(text);
        ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << '"' << text << "\" read as " << got;
    }
}

TEST_F(TableFormat, ValuesRoundTripThroughStoredText)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("v"), {{"c", 'C', 6, 0},
                                            {"n", 'N', 10, 0},
                                            {"r", 'N', 9, 3},
                                            {"f", 'F', 7, 2},
                                            {"l", 'L', 1, 0},
                                            {"d", 'D', 8, 0}}));
    ASSERT_TRUE(e.USE(dir.file("v") + " EXCLUSIVE"));
    struct Row {
        std::string c;
        std::int64_t n;
        double r, f;
        bool l;
        std::string d;
    };
    const std::vector<Row> rows = {{"abc", -123456789, -12.345, 0.01, true, "12/31/26"},
                                   {"sixsix", 0, 0.0, -99.99, false, "  /  /  "},
                                   {"x", 9999999999, 99999.999, 1234.56, true, "02/29/24"}};
    for (const Row& row : rows) {
        e.ClearRecord();
        auto& f = e.record()->fields;
        f[0].text = row.c;
        f[1].integer = row.n;
        f[2].real = row.r;
        f[3].real = row.f;
        f[4].logical = row.l;
        f[5].text = row.d;
        e.Append();
        ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
    }
    EXPECT_EQ(e.Peek(1, 1), "abc   ");
    EXPECT_EQ(e.Peek(2, 1), "-123456789");
    EXPECT_EQ(e.Peek(3, 1), "  -12.345");
    EXPECT_EQ(e.Peek(4, 1), "   0.01");
    EXPECT_EQ(e.Peek(5, 1), "T");
    EXPECT_EQ(e.Peek(6, 1), "20261231");
    EXPECT_EQ(e.Peek(6, 2), "        ");
    EXPECT_EQ(e.Peek(3, 2), "    0.000");
    for (std::size_t i = 0; i < rows.size(); ++i) {
        e.GO(static_cast<std::int64_t>(i) + 1);
        const auto& f = e.record()->fields;
        std::string padded = rows[i].c;
        padded.resize(6, ' ');
        EXPECT_EQ(f[0].text, padded);
        EXPECT_EQ(f[1].integer, rows[i].n);
        EXPECT_DOUBLE_EQ(f[2].real, rows[i].r);
        EXPECT_DOUBLE_EQ(f[3].real, rows[i].f);
        EXPECT_EQ(f[4].logical, rows[i].l);
        EXPECT_EQ(f[5].text, rows[i].d);
    }
    e.GO(1);
    EXPECT_EQ(e.SField(3), "  -12.345");
    e.decimalSeparator = ',';
    EXPECT_EQ(e.SField(3), "  -12,345");
    EXPECT_EQ(e.SField(5), "Y");
}

TEST_F(TableFormat, LogicalAndDateReading)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("l"), {{"l", 'L', 1, 0}, {"d", 'D', 8, 0}}));
    std::string b = readFile(dir.file("l.dbf"));
    b.pop_back(); // end byte
    const std::string values = "TtYyFN? ";
    for (char c : values)
        b += std::string(" ") + c + "19251231";
    b += '\x1A';
    b[4] = static_cast<char>(values.size());
    writeFile(dir.file("l.dbf"), b);
    ASSERT_TRUE(e.USE(dir.file("l") + " EXCLUSIVE"));
    for (std::size_t i = 0; i < values.size(); ++i) {
        e.GO(static_cast<std::int64_t>(i) + 1);
        EXPECT_EQ(e.record()->fields[0].logical, i < 4) << "byte " << values[i];
    }
    // A two-digit year written back keeps the century it was read with.
    e.GO(1);
    EXPECT_EQ(e.record()->fields[1].text, "12/31/25");
    e.Replace();
    EXPECT_EQ(e.Peek(2, 1), "19251231");
    e.record()->fields[1].text = "01/02/25";
    e.Replace();
    EXPECT_EQ(e.Peek(2, 1), "20250102");

    e.century = true;
    e.dateOrder = DateOrder::DayMonthYearDot;
    e.GO(2);
    EXPECT_EQ(e.record()->fields[1].text, "31.12.1925");
    e.dateOrder = DateOrder::YearMonthDay;
    e.GO(2);
    EXPECT_EQ(e.record()->fields[1].text, "1925.12.31");
    e.record()->fields[1].text = "    .  .  ";
    e.Replace();
    EXPECT_EQ(e.Peek(2, 2), "        ");
    EXPECT_EQ(e.record()->fields[1].text, "    .  .  ");
}

// Refuses hard links while alive, as a share without them does.
struct NoHardLinks {
    NoHardLinks() { qb::platform::refuseHardLinksForTests(true); }
    ~NoHardLinks() { qb::platform::refuseHardLinksForTests(false); }
    NoHardLinks(const NoHardLinks&) = delete;
    NoHardLinks& operator=(const NoHardLinks&) = delete;
};

std::vector<std::string> entriesOf(const std::string& path)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Where link() is refused, a missing table and its memo file are published
// by an exclusive create of the final name: the same bytes, no temporary
// left behind, and a table that exists by then is never overwritten.
TEST_F(TableFormat, CreationWithoutHardLinks)
{
    TempDir linked;
    ASSERT_TRUE(e.CreateDbfIfMissing(linked.file("t"), mixedFields())) << e.lastErrorText();
    NoHardLinks noLinks;
    ASSERT_TRUE(e.CreateDbfIfMissing(dir.file("t"), mixedFields())) << e.lastErrorText();
    EXPECT_EQ(readFile(dir.file("t.dbf")), readFile(linked.file("t.dbf")));
    EXPECT_EQ(readFile(dir.file("t.dbt")), readFile(linked.file("t.dbt")));
    EXPECT_EQ(entriesOf(dir.path()), (std::vector<std::string>{"t.dbf", "t.dbt"}));

    ASSERT_TRUE(e.USE(dir.file("t")));
    ASSERT_TRUE(appendIdent(e, 7, "kept"));
    e.CloseDbf();
    const std::string withRecord = readFile(dir.file("t.dbf"));
    EXPECT_TRUE(e.CreateDbfIfMissing(dir.file("t"), mixedFields())) << "a table that exists is no failure";
    EXPECT_EQ(readFile(dir.file("t.dbf")), withRecord);
    EXPECT_EQ(readFile(dir.file("t.dbt")), readFile(linked.file("t.dbt")));
}

// Between the exclusive create and its one write a new table is empty for a
// moment; a station opening it then waits for the header instead of failing.
TEST_F(TableFormat, OpeningATableAtTheMomentOfItsCreationWaitsForTheHeader)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("model"), namesFields()));
    const std::string header = readFile(dir.file("model.dbf"));
    const std::string path = dir.file("new.dbf");
    writeFile(path, "");
    std::thread creator([&] {
        // Writes once the reader has the empty file open.
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (qb::test::descriptorsOn(path) == 0 && std::chrono::steady_clock::now() < giveUp)
            std::this_thread::yield();
        int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
        [[maybe_unused]] ssize_t n = ::pwrite(fd, header.data(), header.size(), 0);
        ::close(fd);
    });
    Engine reader{clock};
    EXPECT_TRUE(reader.USE(path)) << reader.lastErrorText();
    creator.join();
    EXPECT_EQ(reader.FieldCount(), 2);
}

TEST_F(TableFormat, RefusedFilesHaveExactTexts)
{
    const std::string shortFile = dir.file("short.dbf");
    writeFile(shortFile, std::string(20, '\x03'));
    EXPECT_FALSE(e.USE(shortFile));
    EXPECT_EQ(e.lastError(), 210);
    EXPECT_EQ(e.lastErrorText(), shortFile + " is not a dBASE database. (Prolog is less than 32 bytes) [USE/OpenDBF]");
    EXPECT_FALSE(e.isOpen(1));

    ASSERT_TRUE(e.CreateDbf(dir.file("v4"), namesFields()));
    std::string b = readFile(dir.file("v4.dbf"));
    b[0] = 0x04;
    writeFile(dir.file("v4.dbf"), b);
    EXPECT_FALSE(e.USE(dir.file("v4.dbf")));
    EXPECT_EQ(e.lastError(), 210);
    EXPECT_EQ(e.lastErrorText(), dir.file("v4.dbf") + " is not a dBASE database.(Invalid version byte)+ [USE/OpenDBF]");

    b[0] = 0x03;
    b[32 + 11] = 'X';
    writeFile(dir.file("v4.dbf"), b);
    EXPECT_FALSE(e.USE(dir.file("v4.dbf")));
    EXPECT_EQ(e.lastError(), 211);
    EXPECT_EQ(e.lastErrorText(), "Field: IDENT [X] in " + dir.file("v4.dbf") + " is not a valid field type");

    b[32 + 11] = 'N';
    b[8] = 33;
    b[9] = 0;
    writeFile(dir.file("v4.dbf"), b);
    EXPECT_FALSE(e.USE(dir.file("v4.dbf")));
    EXPECT_EQ(e.lastErrorText(),
              dir.file("v4.dbf") + " is not a dBASE database. (Number of fields is out of range) [Use/OpenDbf]");

    EXPECT_FALSE(e.USE(dir.file("missing")));
    EXPECT_EQ(e.lastError(), 2);
    EXPECT_EQ(e.lastErrorText(), "Failure to open " + dir.file("missing.dbf") + " [USE/OpenDbf]");

    ASSERT_TRUE(e.CreateDbf(dir.file("memo"), mixedFields()));
    std::remove(dir.file("memo.dbt").c_str());
    EXPECT_FALSE(e.USE(dir.file("memo")));
    EXPECT_EQ(e.lastErrorText().rfind("Memo file not found:", 0), 0u);
    EXPECT_FALSE(e.isOpen(1));
}

TEST_F(TableFormat, DamagedHeadersNeverReadOutOfBounds)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("d"), namesFields()));
    std::string b = readFile(dir.file("d.dbf"));
    b[10] = 3; // record length shorter than the fields
    writeFile(dir.file("d.dbf"), b);
    EXPECT_FALSE(e.USE(dir.file("d")));
    EXPECT_EQ(e.lastError(), 210);

    b = readFile(dir.file("d.dbf"));
    b[10] = 6;
    b[4] = 50; // count far beyond the data
    writeFile(dir.file("d.dbf"), b);
    EXPECT_FALSE(e.USE(dir.file("d")));
    EXPECT_EQ(e.lastError(), 213);
    e.autoFixRecCount = true;
    ASSERT_TRUE(e.USE(dir.file("d")));
    EXPECT_EQ(e.RecCount(), 0);
    e.autoFixRecCount = false;
    e.CloseDbf();

    b[8] = static_cast<char>(0xFF); // header far longer than the file
    b[9] = 0x7F;
    writeFile(dir.file("d.dbf"), b);
    EXPECT_FALSE(e.USE(dir.file("d")));
    EXPECT_EQ(e.lastError(), 100);
    EXPECT_EQ(e.lastErrorText().rfind("Error reading " + dir.file("d.dbf"), 0), 0u);
}

// Random damage to the header and memo of a small table: whatever happens,
// opening, moving and reading memos must stay inside the buffers (run under
// the sanitizers).
TEST_F(TableFormat, RandomlyDamagedFilesAreHandled)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("f"), mixedFields()));
    ASSERT_TRUE(e.USE(dir.file("f") + " EXCLUSIVE"));
    for (int i = 0; i < 3; ++i) {
        e.ClearRecord();
        e.record()->fields[0].integer = i;
        e.SetMemo(4, {"memo line " + std::to_string(i), std::string(700, 'x')});
        e.Append();
    }
    e.CloseDbf();
    const std::string good = readFile(dir.file("f.dbf"));
    const std::string goodMemo = readFile(dir.file("f.dbt"));
    std::mt19937 rng(1234);
    for (int round = 0; round < 150; ++round) {
        std::string b = good, m = goodMemo;
        int flips = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < flips; ++k) {
            b[rng() % 200] = static_cast<char>(rng());
            m[rng() % m.size()] = static_cast<char>(rng());
        }
        if (round % 3 == 0)
            b.resize(rng() % b.size());
        writeFile(dir.file("f.dbf"), b);
        writeFile(dir.file("f.dbt"), m);
        if (!e.USE(dir.file("f") + " EXCLUSIVE"))
            continue;
        for (e.GoTop(); !e.dEOF(); e.Skip(1)) {
            for (int n = 1; n <= e.FieldCount(); ++n) {
                (void)e.SField(n);
                if (e.FieldType(n) == 'M')
                    (void)e.GetMemo(n);
            }
        }
        e.GoBottom();
        int field = 0;
        e.Search("LINE", field, true);
        e.CloseDbf();
    }
}

// dBASE II: 521-byte header, 16-byte descriptors; opened read-only.
TEST_F(TableFormat, DbaseTwoOpensReadOnly)
{
    std::string h(521, '\0');
    h[0] = 0x02;
    h[1] = 2; // count
    h[3] = 7; // month
    h[4] = 4; // day
    h[5] = 84; // year
    h[6] = 1 + 8 + 4; // record length
    auto desc = [&](int i, const char* name, char type, int len, int dec) {
        std::size_t o = 8 + 16 * static_cast<std::size_t>(i);
        std::copy(name, name + std::strlen(name), h.begin() + static_cast<std::ptrdiff_t>(o));
        h[o + 11] = type;
        h[o + 12] = static_cast<char>(len);
        h[o + 15] = static_cast<char>(dec);
    };
    desc(0, "NAME", 'C', 8, 0);
    desc(1, "AGE", 'N', 4, 0);
    h[8 + 32] = 0x0D;
    writeFile(dir.file("old.dbf"), h + " Alice     42" + "*Bob        7" + "\x1A");
    ASSERT_TRUE(e.USE(dir.file("old.dbf"))) << e.lastErrorText();
    EXPECT_EQ(e.version(), 2);
    EXPECT_EQ(e.headerLength(), 521);
    EXPECT_EQ(e.RecCount(), 2);
    EXPECT_EQ(e.lastUpdate(), "07/04/84");
    EXPECT_EQ(e.FieldCount(), 2);
    EXPECT_EQ(e.record()->fields[0].text, "Alice   ");
    EXPECT_EQ(e.record()->fields[1].integer, 42);
    e.Skip(1);
    EXPECT_TRUE(e.Deleted());
    EXPECT_EQ(e.record()->fields[1].integer, 7);
    EXPECT_TRUE(e.RLock());
    e.Replace();
    EXPECT_EQ(e.lastError(), 5);
    e.UnLock();
    e.CloseDbf();
    EXPECT_EQ(readFile(dir.file("old.dbf")).substr(521), " Alice     42*Bob        7\x1A");

    writeFile(dir.file("tiny.dbf"), h.substr(0, 300));
    EXPECT_FALSE(e.USE(dir.file("tiny.dbf")));
    EXPECT_EQ(e.lastErrorText(), dir.file("tiny.dbf") + " is not a dBASE database. (Header is less than 521 bytes) [USE/OpenDBF]");
}

TEST_F(TableFormat, FileNamesMatchWithoutRegardToCase)
{
    ASSERT_TRUE(e.CreateDbf(dir.file("Mixed"), mixedFields()));
    EXPECT_EQ(readFile(dir.file("Mixed.dbt")).size(), 513u);
    ASSERT_TRUE(e.USE(dir.file("MIXED")));
    EXPECT_EQ(e.alias(), "MIXED");
    EXPECT_EQ(e.fileName(), dir.file("Mixed.dbf"));
}

} // namespace
