// The comparison with shapelib is only meaningful while both programs work on
// the same bytes and agree on the result: same file apart from the header
// date and language byte, same records and checksum after the same replaces.
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

using qb::test::TempDir;

std::string run(const std::string& program, const std::string& args)
{
    std::string out;
    EXPECT_EQ(qb::test::runCommand(std::string(program) + " " + args + " 2>/dev/null", &out), 0) << args;
    return out;
}

TEST(ShapelibComparison, BothProgramsWriteTheSameTableAndAgreeOnTheChecksum)
{
    TempDir dir;
    const std::string qb = dir.file("qb.dbf"), shp = dir.file("shp.dbf");
    run(QB_QBBENCH, "create " + qb + " 777");
    run(QB_SHPBENCH, "create " + shp + " 777");
    std::string a = qb::test::readFile(qb), b = qb::test::readFile(shp);
    ASSERT_EQ(a.size(), b.size());
    ASSERT_GT(a.size(), 32u);
    for (std::size_t i = 0; i < a.size(); ++i) {
        if ((i >= 1 && i <= 3) || i == 29)
            continue; // date of the last update; shapelib's language driver id
        ASSERT_EQ(a[i], b[i]) << "first difference at byte " << i;
    }
    const std::string scanQb = run(QB_QBBENCH, "scan " + qb);
    EXPECT_EQ(scanQb.rfind("records=777 checksum=", 0), 0u) << scanQb;
    EXPECT_EQ(scanQb, run(QB_SHPBENCH, "scan " + qb)) << "shapelib reads our file alike";
    EXPECT_EQ(scanQb, run(QB_SHPBENCH, "scan " + shp));
}

TEST(ShapelibComparison, SameReplaceSequenceGivesTheSameTable)
{
    TempDir dir;
    const std::string qb = dir.file("qb.dbf"), shp = dir.file("shp.dbf");
    run(QB_QBBENCH, "create " + qb + " 300");
    run(QB_SHPBENCH, "create " + shp + " 300");
    const std::string before = run(QB_QBBENCH, "scan " + qb);
    run(QB_QBBENCH, "replace " + qb + " 250");
    run(QB_SHPBENCH, "replace " + shp + " 250");
    const std::string after = run(QB_QBBENCH, "scan " + qb);
    EXPECT_NE(after, before) << "the replaces changed nothing";
    EXPECT_EQ(after, run(QB_SHPBENCH, "scan " + shp));
    EXPECT_EQ(run(QB_QBBENCH, "reload " + shp + " 2"), after);
}

TEST(ShapelibComparison, UnknownCommandIsUnsupported)
{
    EXPECT_EQ(qb::test::runCommand(std::string(QB_SHPBENCH) + " appendlocked x 1 2>/dev/null"), 3);
}

} // namespace
