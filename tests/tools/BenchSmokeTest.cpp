// A short run of every qbbench command, checked against the checksum worked
// out here from the definition of the benchmark table.
#include "tests/support/TestSupport.h"

#include <cmath>
#include <gtest/gtest.h>

using qb::test::TempDir;

namespace {

int bench(const std::string& args, std::string* out = nullptr)
{
    return qb::test::runCommand(std::string(QB_QBBENCH) + " " + args + " 2>/dev/null", out);
}

// The table after create n and replace k, as the definition says, summed.
std::string expectedScan(std::int64_t n, std::int64_t k)
{
    static const char* const colors[] = {"red", "green", "blue", "white", "black"};
    std::vector<std::size_t> remarkLen(static_cast<std::size_t>(n) + 1);
    std::vector<std::int64_t> timeScaled(static_cast<std::size_t>(n) + 1);
    std::uint64_t sum = 0;
    for (std::int64_t i = 1; i <= n; ++i) {
        sum += static_cast<std::uint64_t>(i % 10000 + i % 1000 + (7 * i) % 10000 + (i % 3 != 0 ? 1 : 0));
        sum += std::to_string(i).size() + 7 + std::to_string(i % 17).size() + 6 + std::string(colors[i % 5]).size()
               + std::to_string(i % 100000).size() + 2;
        remarkLen[static_cast<std::size_t>(i)] = i % 2 ? 2 : 3;
        // Stored with five decimals, then scaled: round half away from zero.
        timeScaled[static_cast<std::size_t>(i)] = std::llround((i % 1440) * 100000.0 / 60.0);
    }
    std::uint64_t x = 20240601;
    for (std::int64_t s = 0; s < k; ++s) {
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        auto r = static_cast<std::size_t>(1 + (x >> 33) % static_cast<std::uint64_t>(n));
        remarkLen[r] = ("Back " + std::to_string(s)).size();
        timeScaled[r] = std::llround(((13 * s) % 1440) * 100000.0 / 60.0);
    }
    for (std::int64_t i = 1; i <= n; ++i)
        sum += remarkLen[static_cast<std::size_t>(i)] + static_cast<std::uint64_t>(timeScaled[static_cast<std::size_t>(i)]);
    return "records=" + std::to_string(n) + " checksum=" + std::to_string(sum) + "\n";
}

} // namespace

TEST(BenchSmoke, EveryCommandRunsAndTheChecksumFollowsTheDefinition)
{
    TempDir dir;
    std::string file = dir.file("bench.dbf");
    std::string out;
    ASSERT_EQ(bench("create " + file + " 60"), 0);
    EXPECT_EQ(qb::test::readFile(file).size(), 385u + 60u * 233u + 1u);
    ASSERT_EQ(bench("scan " + file, &out), 0);
    EXPECT_EQ(out, expectedScan(60, 0));
    ASSERT_EQ(bench("replace " + file + " 25"), 0);
    ASSERT_EQ(bench("scan " + file, &out), 0);
    EXPECT_EQ(out, expectedScan(60, 25));
    ASSERT_EQ(bench("reload " + file + " 2", &out), 0);
    EXPECT_EQ(out, expectedScan(60, 25));
    ASSERT_EQ(bench("appendlocked " + file + " 5", &out), 0);
    EXPECT_EQ(out, "appended=5\n");
    ASSERT_EQ(bench("scan " + file, &out), 0);
    EXPECT_EQ(out.substr(0, 11), "records=65 ");
}

TEST(BenchSmoke, ReloadReportsItsMedianOnStderr)
{
    TempDir dir;
    std::string file = dir.file("bench.dbf");
    ASSERT_EQ(bench("create " + file + " 10"), 0);
    std::string err;
    ASSERT_EQ(qb::test::runCommand(std::string(QB_QBBENCH) + " reload " + file + " 3 2>&1 >/dev/null", &err), 0);
    EXPECT_EQ(err.rfind("reload_ns_median=", 0), 0u) << err;
}

TEST(BenchSmoke, UnsupportedCommandExitsThree)
{
    EXPECT_EQ(bench("index x.dbf"), 3);
    EXPECT_EQ(bench("create"), 2);
    EXPECT_EQ(bench("create x.dbf many"), 2);
}
