// Where the lines of "Print Names" land: tab stops, lines wider than the
// page, pages. Widths are counted as 10 pixels per (UTF-8) character.
#include "board/NamesPrintout.h"

#include <gtest/gtest.h>

namespace {

using qb::board::layoutPrintLines;
using qb::board::PrintGeometry;
using qb::board::PrintRun;

int tenPerChar(std::string_view s)
{
    int chars = 0;
    for (unsigned char c : s)
        chars += (c & 0xC0) != 0x80;
    return chars * 10;
}

struct LayoutCase {
    const char* name;
    std::vector<std::string> lines;
    PrintGeometry geometry;
    std::vector<PrintRun> runs;
};

class NamesPrintoutLayout : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(NamesPrintoutLayout, PlacesEveryRun)
{
    EXPECT_EQ(layoutPrintLines(GetParam().lines, GetParam().geometry, tenPerChar), GetParam().runs);
}

INSTANTIATE_TEST_SUITE_P(
    Print, NamesPrintoutLayout,
    ::testing::Values(
        // Title, the blank line and one person: TABs go to the stops at 80 px.
        LayoutCase {"TitleBlankAndPerson",
                    {"\tQuellboard Pro", " ", "\tBob\t\t\t\t  In"},
                    {1000, 1000, 12, 80},
                    {{0, 80, 0, "Quellboard Pro"}, {0, 0, 12, " "}, {0, 80, 24, "Bob"}, {0, 400, 24, "  In"}}},
        // A line wider than the page goes on at the left edge of the next line.
        LayoutCase {"WideLineContinues",
                    {"abcdefghij", "k"},
                    {60, 1000, 12, 80},
                    {{0, 0, 0, "abcdef"}, {0, 0, 12, "ghij"}, {0, 0, 24, "k"}}},
        // A tab stop beyond the right edge moves to the next line.
        LayoutCase {"TabPastTheEdge", {"ab\tc"}, {70, 1000, 12, 80}, {{0, 0, 0, "ab"}, {0, 0, 12, "c"}}},
        // Three lines of 12 fit a page of 36; the fourth starts page 2 at the top.
        LayoutCase {"NewPageWhenTheNextLineDoesNotFit",
                    {"a", "b", "c", "d", " ", "e"},
                    {100, 36, 12, 80},
                    {{0, 0, 0, "a"}, {0, 0, 12, "b"}, {0, 0, 24, "c"}, {1, 0, 0, "d"}, {1, 0, 12, " "},
                     {1, 0, 24, "e"}}},
        // Wrapped pieces break pages like whole lines, between UTF-8 characters.
        LayoutCase {"WrapAcrossPages",
                    {"a\xc3\xa4" "bc"},
                    {20, 12, 12, 80},
                    {{0, 0, 0, "a\xc3\xa4"}, {1, 0, 0, "bc"}}}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
