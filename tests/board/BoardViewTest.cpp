#include "board/BoardView.h"

#include "core/Options.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

using qb::board::Board;
using qb::board::BoardView;
using qb::board::CellStyle;
using qb::board::ColumnWidths;
using qb::board::Rgb;
using qb::board::ViewItem;
namespace opt = qb::admin::opt;

namespace {

struct Person {
    std::string name, remark, group, misc;
    char color = 'w';
    double time = 0.0;
};

double dateOf(int y, int m, int d, int hour = 0, int minute = 0)
{
    return static_cast<double>(qb::platform::daySerial(y, m, d)) + (hour * 60 + minute) / 1440.0;
}

// A board as a load leaves it: record 0 carries the titles.
Board makeBoard(const std::vector<Person>& people, int ownIndex = -1)
{
    Board b;
    b.names = {"Name"};
    b.remarks = {"Remark"};
    b.groups = {"Group"};
    b.miscs = {"Misc"};
    b.colorTexts = {""};
    for (std::size_t i = 0; i < people.size(); ++i) {
        const Person& p = people[i];
        b.names.push_back(p.name);
        b.remarks.push_back(p.remark);
        b.groups.push_back(p.group);
        b.miscs.push_back(p.misc);
        b.colorTexts.push_back(std::string("#") + p.color);
        b.colorCodes[i + 1] = static_cast<std::uint8_t>(p.color);
        b.times[i + 1] = p.time;
        if (p.name != qb::board::kDeletedName && !p.group.empty()) {
            bool known = false;
            for (const auto& g : b.groupList)
                known = known || g == p.group;
            if (!known)
                b.groupList.push_back(p.group);
        }
    }
    std::sort(b.groupList.begin(), b.groupList.end());
    b.ownIndex = ownIndex;
    return b;
}

std::vector<int> shownIndexes(const BoardView& view)
{
    std::vector<int> out;
    for (int r = 1; r < view.gridRowCount(); ++r)
        out.push_back(view.boardIndexAt(r));
    return out;
}

std::vector<Person> office()
{
    return {
        {"carol", "In", "Sales", "", 'l', dateOf(2026, 3, 2, 9, 0)},          // 1
        {"Alice", "Out", "R&D", "lunch", 'r', dateOf(2026, 3, 1, 17, 30)},   // 2
        {"bob", "In", "R+D", "", 'l', dateOf(2026, 3, 3, 8, 15)},            // 3
        {"__", "", "Sales", "", 'w', 0.0},                                   // 4: deleted
        {"Dave", "Back at 3", "Sales", "x", 'y', dateOf(2026, 2, 28, 12, 0)}, // 5
        {"eve", "In", "", "", 'l', dateOf(2026, 3, 2, 10, 0)},               // 6
    };
}

} // namespace

TEST(DisplayOrder, SortsByNameWithoutRegardToCaseAndSkipsDeletedRows)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.rebuild();
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {2, 3, 1, 5, 6}));
    EXPECT_EQ(view.gridRowCount(), 6);
    EXPECT_EQ(view.boardIndexAt(0), 0);
    EXPECT_EQ(view.boardIndexAt(6), -1);
    EXPECT_EQ(view.boardIndexAt(-1), -1);
}

TEST(DisplayOrder, DescendingReadsTheOrderFromItsEnd)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.setSort(0, false);
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {6, 5, 1, 3, 2}));
    EXPECT_EQ(view.gridRowOf(6), 1);
    EXPECT_EQ(view.gridRowOf(2), 5);
    EXPECT_EQ(view.gridRowOf(4), -1);
}

TEST(DisplayOrder, DateColumnSortsByTimeValue)
{
    Board b = makeBoard(office(), 3);
    // Before 1927 day numbers have fewer digits: text order would put it last.
    b.times[6] = dateOf(1910, 1, 1);
    BoardView view(b);
    view.setSort(BoardView::kTimeColumn, true);
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {6, 5, 2, 1, 3}));
}

TEST(DisplayOrder, EqualKeysKeepBoardIndexOrder)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.setSort(BoardView::kRemarkColumn, true);
    // "Back at 3", then the three "In" rows by index, then "Out".
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {5, 1, 3, 6, 2}));
}

TEST(DisplayOrder, CaseFoldingCoversAccentedLetters)
{
    EXPECT_TRUE(BoardView::lessNoCase("\xC3\x89mile", "\xC3\xA9mz")); // Émile < émz
    EXPECT_FALSE(BoardView::lessNoCase("\xC3\xA9mz", "\xC3\x89MILE"));
    EXPECT_TRUE(BoardView::lessNoCase("ABC", "abd"));
    EXPECT_FALSE(BoardView::lessNoCase("abc", "ABC"));
}

TEST(ViewFilter, OwnRowShowsWhateverTheFilter)
{
    Board b = makeBoard(office(), 3); // own row: bob, group R+D
    BoardView view(b);
    view.setFilter("Sales");
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {3, 1, 5}));
    view.setFilter("No such group");
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {3}));
    view.setFilter(BoardView::kOwnRowFilter);
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {3}));
    view.setFilter("");
    EXPECT_EQ(shownIndexes(view).size(), 5u);
}

TEST(ViewFilter, GroupMatchIsExactAndTheOwnMarkerIsNoGroup)
{
    std::vector<Person> people = office();
    people.push_back({"zed", "In", "sales", "", 'l', 0.0});  // 7
    people.push_back({"tilde", "In", "~~", "", 'l', 0.0});   // 8
    Board b = makeBoard(people, 6);
    BoardView view(b);
    view.setFilter("Sales");
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {1, 5, 6}));
    view.setFilter("~~");
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {6}));
}

TEST(ViewFilter, IsCutToHundredTwentyCharacters)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    std::string longText;
    for (int i = 0; i < 130; ++i)
        longText += "\xC3\xA9"; // two bytes each
    EXPECT_TRUE(view.setFilter(longText));
    EXPECT_EQ(view.filter().size(), 240u);
    EXPECT_FALSE(view.setFilter(longText)); // same after the cut: no change
}

TEST(ViewFilter, AdministratorSeesNoOwnRow)
{
    Board b = makeBoard(office(), 0);
    b.adminMode = true;
    BoardView view(b);
    view.setFilter(BoardView::kOwnRowFilter);
    EXPECT_TRUE(shownIndexes(view).empty());
}

TEST(ViewMenu, AmpersandGroupGetsPlusCaptionAndFiltersByItsRealName)
{
    Board b = makeBoard(office(), 6); // eve, no group
    BoardView view(b);
    view.rebuild();
    const std::vector<ViewItem> items = view.viewItems();
    ASSERT_EQ(items.size(), 3u); // "R&D", "R+D", "Sales" in the board's order
    EXPECT_EQ(items[0], (ViewItem {"R+D", "R&D", "F3"}));
    EXPECT_EQ(items[1], (ViewItem {"R+D", "R+D", "F4"}));
    EXPECT_EQ(items[2], (ViewItem {"Sales", "Sales", "F5"}));

    // The two items look alike but each shows exactly its own group.
    EXPECT_TRUE(view.chooseViewItem(&items[0]));
    EXPECT_EQ(view.filter(), "R&D");
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {2, 6}));
    EXPECT_TRUE(view.chooseViewItem(&items[1]));
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {3, 6}));
    EXPECT_TRUE(view.chooseViewItem(nullptr));
    EXPECT_EQ(view.filter(), "");
    EXPECT_FALSE(view.chooseViewItem(nullptr));
}

TEST(ViewMenu, ShortcutsByPosition)
{
    EXPECT_EQ(BoardView::shortcutFor(1), "F3");
    EXPECT_EQ(BoardView::shortcutFor(10), "F12");
    EXPECT_EQ(BoardView::shortcutFor(11), "Shift+F1");
    EXPECT_EQ(BoardView::shortcutFor(22), "Shift+F12");
    EXPECT_EQ(BoardView::shortcutFor(23), "Ctrl+F1");
    EXPECT_EQ(BoardView::shortcutFor(34), "Ctrl+F12");
    EXPECT_EQ(BoardView::shortcutFor(35), "");
    EXPECT_EQ(BoardView::shortcutFor(0), "");
}

TEST(TitleClicks, NewTitleFlipsDirectionThenSortsByIt)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.rebuild();
    EXPECT_TRUE(view.clickTitle(BoardView::kGroupColumn));
    EXPECT_EQ(view.sortColumn(), BoardView::kGroupColumn);
    EXPECT_FALSE(view.ascending());
    // Groups descending: Sales (1, 5), R+D (3), R&D (2), none (6).
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {5, 1, 3, 2, 6}));

    EXPECT_TRUE(view.clickTitle(BoardView::kGroupColumn)); // same title: direction only
    EXPECT_TRUE(view.ascending());
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {6, 2, 3, 1, 5}));
}

TEST(TitleClicks, IgnoredForTheAdministrator)
{
    Board b = makeBoard(office(), 0);
    b.adminMode = true;
    BoardView view(b);
    view.rebuild();
    const std::vector<int> before = shownIndexes(view);
    EXPECT_FALSE(view.clickTitle(BoardView::kRemarkColumn));
    EXPECT_EQ(view.sortColumn(), 0);
    EXPECT_TRUE(view.ascending());
    EXPECT_EQ(shownIndexes(view), before);
}

TEST(GroupCellClicks, LeftClickSequenceOnOwnRow)
{
    Board b = makeBoard(office(), 1); // carol, Sales
    BoardView view(b);
    view.rebuild();
    EXPECT_TRUE(view.clickGroupCell(2, false)); // another group's row
    EXPECT_EQ(view.filter(), "R&D");
    EXPECT_TRUE(view.clickGroupCell(1, false)); // own row, other group
    EXPECT_EQ(view.filter(), "Sales");
    EXPECT_TRUE(view.clickGroupCell(1, false)); // own row again: only it
    EXPECT_EQ(view.filter(), "~~");
    EXPECT_EQ(shownIndexes(view), (std::vector<int> {1}));
    EXPECT_TRUE(view.clickGroupCell(1, false)); // again: all
    EXPECT_EQ(view.filter(), "");
    EXPECT_EQ(shownIndexes(view).size(), 5u);
}

TEST(GroupCellClicks, SameGroupOtherRowClearsAndRightButtonAlwaysFilters)
{
    Board b = makeBoard(office(), 1);
    BoardView view(b);
    view.setFilter("Sales");
    EXPECT_TRUE(view.clickGroupCell(5, false)); // Dave, same group, not own
    EXPECT_EQ(view.filter(), "");
    view.setFilter("~~");
    EXPECT_TRUE(view.clickGroupCell(1, true));
    EXPECT_EQ(view.filter(), "Sales");
    EXPECT_FALSE(view.clickGroupCell(5, true)); // already that group
    EXPECT_TRUE(view.clickGroupCell(6, true));  // no group: all rows
    EXPECT_EQ(view.filter(), "");
}

TEST(GroupCellClicks, IgnoredForAdministratorAndInvalidRows)
{
    Board b = makeBoard(office(), 1);
    BoardView view(b);
    EXPECT_FALSE(view.clickGroupCell(0, false));
    EXPECT_FALSE(view.clickGroupCell(99, false));
    b.adminMode = true;
    EXPECT_FALSE(view.clickGroupCell(2, false));
    EXPECT_EQ(view.filter(), "");
}

TEST(CellPainting, TitleRowColoursAndSortMarker)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.rebuild();
    // The sort column shows in its colour; the arrow is the grid's to draw.
    EXPECT_EQ(view.cell(0, 0), (CellStyle {"Name", BoardView::kSortTitleColor, BoardView::kBlack}));
    EXPECT_EQ(view.cell(0, 1), (CellStyle {"Remark", BoardView::kTitleColor, BoardView::kBlack}));
    EXPECT_EQ(view.cell(0, 4).text, "Date/Time");
    view.clickTitle(4);
    EXPECT_EQ(view.cell(0, 4).text, "Date/Time");
    EXPECT_EQ(view.sortColumn(), 4);
    EXPECT_FALSE(view.ascending());
    EXPECT_EQ(view.cell(0, 4).background, BoardView::kSortTitleColor);
    EXPECT_EQ(view.cell(0, 0).text, "Name");

    b.adminMode = true;
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(view.cell(0, c).background, BoardView::kAdminTitleColor) << c;
}

TEST(CellPainting, AlternateRowsOwnNameAndRemarkColour)
{
    Board b = makeBoard(office(), 3); // rows: Alice 2, bob 3 (own), carol 1, Dave 5, eve 6
    BoardView view(b);
    const Rgb face {240, 240, 240};
    view.setSystemColors(BoardView::kBlack, face);
    b.options.set(opt::kAlternateRows, true);
    view.rebuild();
    EXPECT_EQ(view.cell(1, 2).background, face); // odd row
    EXPECT_EQ(view.cell(2, 2).background, BoardView::kWhite);
    EXPECT_EQ(view.cell(3, 3).background, face);
    EXPECT_EQ(view.cell(2, 0), (CellStyle {"bob", BoardView::kOwnNameColor, BoardView::kBlack}));
    EXPECT_EQ(view.cell(1, 0).background, face);
    EXPECT_EQ(view.cell(1, 1), (CellStyle {"Out", Rgb {255, 0, 0}, BoardView::kWhite})); // white reads better on red
    EXPECT_EQ(view.cell(4, 1).background, (Rgb {255, 255, 0})); // Dave, "y"
    b.options.set(opt::kAlternateRows, false);
    EXPECT_EQ(view.cell(1, 2).background, BoardView::kWhite);
}

TEST(CellPainting, PackedColourCodeAndReadableTextOnDarkColours)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.rebuild();
    b.colorCodes[2] = qb::board::packColor({255, 128, 64}); // row 1: Alice
    EXPECT_EQ(view.cell(1, 1).background, qb::board::unpackColor(b.colorCodes[2]));
    EXPECT_EQ(view.cell(1, 1).background, (Rgb {252, 144, 72}));
    EXPECT_EQ(view.cell(1, 1).foreground, BoardView::kBlack);
    b.colorCodes[2] = 0; // never written: black
    EXPECT_EQ(view.cell(1, 1).background, (Rgb {0, 0, 0}));
    EXPECT_EQ(view.cell(1, 1).foreground, BoardView::kWhite);
    b.colorCodes[2] = 'a'; // letters win over their packed reading
    EXPECT_EQ(view.cell(1, 1).background, (Rgb {0, 255, 255}));
}

TEST(CellPainting, MissingEntriesAndOutOfRangeCells)
{
    Board b = makeBoard(office(), 3);
    b.miscs.resize(3); // fewer misc texts than rows
    BoardView view(b);
    view.rebuild();
    EXPECT_EQ(view.cell(4, 3).text, " "); // Dave, index 5
    EXPECT_EQ(view.cell(99, 0), (CellStyle {" ", BoardView::kWhite, BoardView::kBlack}));
    EXPECT_EQ(view.cell(1, 5).text, " ");
}

TEST(CellPainting, DateColumnFollowsOptionFourteen)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.rebuild();
    b.options.set(opt::kInternationalDates, false);
    EXPECT_EQ(view.cell(1, 4).text, "5:30 PM 03/01/2026");
    b.options.set(opt::kInternationalDates, true);
    EXPECT_EQ(view.cell(1, 4).text, "2026-03-01 17:30");
}

TEST(DateFormats, MidnightNoonAndLimits)
{
    EXPECT_EQ(BoardView::formatDateTime(dateOf(2026, 12, 8, 0, 0), false), "12:00 AM 12/08/2026");
    EXPECT_EQ(BoardView::formatDateTime(dateOf(2026, 12, 8, 12, 0), false), "12:00 PM 12/08/2026");
    EXPECT_EQ(BoardView::formatDateTime(dateOf(2026, 12, 8, 0, 5), true), "2026-12-08 00:05");
    EXPECT_EQ(BoardView::formatDateTime(dateOf(2026, 12, 8, 23, 59), false), "11:59 PM 12/08/2026");
    EXPECT_EQ(BoardView::formatDateTime(dateOf(2026, 12, 8, 9, 7), false), "9:07 AM 12/08/2026");
    // A value a hair below midnight rounds to the next day, not to hour 24.
    EXPECT_EQ(BoardView::formatDateTime(dateOf(2026, 12, 9) - 1e-10, true), "2026-12-09 00:00");
    // Stored time 0.00000 reads back as day 37200.
    EXPECT_EQ(BoardView::formatDateTime(37200.0, true), "2001-11-05 00:00");
    // Before 1899-12-30 the fraction is the time of the day named by the whole part.
    EXPECT_EQ(BoardView::formatDateTime(-1.25, true), "1899-12-29 06:00");
    EXPECT_EQ(BoardView::formatDateTime(std::numeric_limits<double>::quiet_NaN(), true), " ");
    EXPECT_EQ(BoardView::formatDateTime(std::numeric_limits<double>::infinity(), false), " ");
    EXPECT_EQ(BoardView::formatDateTime(1e9, true), " ");
    EXPECT_EQ(BoardView::formatDateTime(-700000.0, true), " ");
    EXPECT_EQ(BoardView::formatDateTime(dateOf(9999, 12, 31, 23, 0), true), "9999-12-31 23:00");
}

TEST(ColumnLayout, RemarkTakesTheRoomLeftWhenFourthColumnHiddenAndTimeShown)
{
    Board b = makeBoard(office(), 3);
    b.options.set(opt::kHideFourthColumn, true);
    b.options.set(opt::kShowTime, true);
    BoardView view(b);
    const ColumnWidths w = view.layoutColumns({140, 170, 77, 0, 74}, 600);
    EXPECT_EQ(w, (ColumnWidths {140, 600 - 140 - 77 - 74, 77, 0, 74}));
}

TEST(ColumnLayout, ResetsToDefaultWhenColumnsDisagreeWithOptions)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    b.options.set(opt::kShowTime, true);
    b.options.set(opt::kHideFourthColumn, false);
    // Widths that agree stay as they are.
    EXPECT_EQ(view.layoutColumns({140, 170, 77, 190, 74}, 600), (ColumnWidths {140, 170, 77, 190, 74}));
    // Fourth column narrower than 4 while shown: default layout, t = 60.
    EXPECT_EQ(view.layoutColumns({140, 170, 77, 3, 74}, 600), (ColumnWidths {120, 184, 60, 120, 120}));
    // Any negative width: default.
    EXPECT_EQ(view.layoutColumns({-1, 170, 77, 190, 74}, 600), (ColumnWidths {120, 184, 60, 120, 120}));
    // Time column has width while option 9 is off: default, then hidden.
    b.options.set(opt::kShowTime, false);
    EXPECT_EQ(view.layoutColumns({140, 170, 77, 190, 74}, 600), (ColumnWidths {120, 600 - 120 - 60 - 120, 60, 120, 0}));
    // Both hidden: remark takes everything but name and group.
    b.options.set(opt::kHideFourthColumn, true);
    EXPECT_EQ(view.layoutColumns({140, 170, 77, 0, 0}, 600), (ColumnWidths {140, 383, 77, 0, 0}));
}

TEST(ColumnLayout, AdministratorAlwaysShowsTheTimeColumn)
{
    Board b = makeBoard(office(), 0);
    b.adminMode = true;
    b.options.set(opt::kShowTime, false);
    BoardView view(b);
    EXPECT_TRUE(view.showsTimeColumn());
    EXPECT_EQ(view.layoutColumns({140, 170, 77, 190, 74}, 600), (ColumnWidths {140, 170, 77, 190, 74}));
}

TEST(ColumnLayout, OptionsLoadedShareTheRestBetweenFourthAndTime)
{
    Board b = makeBoard(office(), 3);
    BoardView view(b);
    b.options.set(opt::kShowTime, true);
    // rest = 600 - 387 = 213, h = 106.
    EXPECT_EQ(view.shareAfterOptionsLoaded({140, 170, 77, 190, 74}, 600), (ColumnWidths {140, 170, 77, 190, 106}));
    EXPECT_EQ(view.shareAfterOptionsLoaded({140, 170, 77, 0, 74}, 600), (ColumnWidths {140, 170, 77, 0, 212}));
    EXPECT_EQ(view.shareAfterOptionsLoaded({400, 170, 77, 0, 74}, 600), (ColumnWidths {400, 170, 77, 0, 40}));
    b.options.set(opt::kShowTime, false);
    EXPECT_EQ(view.shareAfterOptionsLoaded({140, 170, 77, 190, 74}, 600), (ColumnWidths {140, 170, 77, 212, 0}));
}

TEST(ColumnLayout, AutosizeMeasuresEveryRowAndGivesTimeTheRest)
{
    Board b = makeBoard(office(), 3);
    b.options.set(opt::kShowTime, true);
    b.options.set(opt::kHideFourthColumn, false);
    BoardView view(b);
    view.setFilter("Sales"); // the filter does not narrow the measured rows
    auto bytes = [](const std::string& s) -> std::optional<int> { return static_cast<int>(s.size()) * 10; };
    auto title = [](const std::string& s) -> std::optional<int> { return static_cast<int>(s.size()) * 10 + 5; };
    // Widest: name "carol" 50 / title "Name" 45; remark "Back at 3" 90;
    // group "Group" 55; misc "lunch" 50 / "Misc" 45; date "h:mm AM mm/dd/yyyy".
    std::size_t longestDate = 0;
    for (int i : {1, 2, 3, 5, 6})
        longestDate = std::max(longestDate, BoardView::formatDateTime(b.times[static_cast<std::size_t>(i)], false).size());
    const int date = static_cast<int>(longestDate) * 10;
    const ColumnWidths natural = view.naturalWidths(bytes, title);
    EXPECT_EQ(natural, (ColumnWidths {50, 90, 55, 50, date}));
    // Room to spare goes to the date/time column.
    EXPECT_EQ(view.autosizeColumns(600, bytes, title, 30), (ColumnWidths {50, 90, 55, 50, 600 - 245}));

    auto broken = [](const std::string&) -> std::optional<int> { return std::nullopt; };
    EXPECT_EQ(view.autosizeColumns(600, broken, broken, 30)[2], 40);
}

TEST(ColumnLayout, ShortRoomCutsRemarkThenFourthNameGroupButNeverTheDate)
{
    Board b = makeBoard(office(), 3);
    b.options.set(opt::kShowTime, true);
    b.options.set(opt::kHideFourthColumn, false);
    BoardView view(b);
    const ColumnWidths natural {100, 200, 80, 150, 180};
    struct Case {
        int client;
        ColumnWidths expected;
    };
    const Case cases[] = {
        {710, {100, 200, 80, 150, 180}},  // exactly enough
        {650, {100, 140, 80, 150, 180}},  // the remark gives way first
        {500, {100, 40, 80, 100, 180}},   // down to the minimum, then the fourth column
        {380, {40, 40, 80, 40, 180}},     // then the name
        {340, {40, 40, 40, 40, 180}},     // then the group
        {300, {40, 40, 40, 40, 180}},     // too narrow even so: only then a scroll bar
    };
    for (const Case& k : cases)
        EXPECT_EQ(view.fitColumns(natural, k.client, 40), k.expected) << k.client;
}

TEST(ColumnLayout, AutosizeLeavesHiddenColumnsEmptyAndGivesTheRoomToTheRemark)
{
    Board b = makeBoard(office(), 3);
    b.options.set(opt::kShowTime, false);
    b.options.set(opt::kHideFourthColumn, true);
    BoardView view(b);
    auto bytes = [](const std::string& s) -> std::optional<int> { return static_cast<int>(s.size()) * 10; };
    const ColumnWidths w = view.autosizeColumns(600, bytes, bytes, 30);
    EXPECT_EQ(w, (ColumnWidths {50, 600 - 50 - 50, 50, 0, 0}));
    EXPECT_EQ(view.layoutColumns(w, 600), w);
}

TEST(FitHeight, EveryRowExactlyWithinTheScreen)
{
    // Title row and five rows of 20 pixels, nothing more.
    EXPECT_EQ(BoardView::fitHeight(20, 5, 0, 1000, false).clientHeight, 6 * 20);
    EXPECT_EQ(BoardView::fitHeight(20, 5, 17, 1000, false).clientHeight, 6 * 20 + 17); // a horizontal bar
    const auto capped = BoardView::fitHeight(20, 100, 0, 1000, false);
    EXPECT_EQ(capped.clientHeight, 910);
    EXPECT_TRUE(capped.capped);
    EXPECT_FALSE(BoardView::fitHeight(20, 5, 0, 1000, false).capped);
    EXPECT_EQ(BoardView::fitHeight(20, 5, 0, 1000, true).clientHeight, 995);

    Board b = makeBoard(office(), 3);
    BoardView view(b);
    view.rebuild();
    EXPECT_EQ(view.fitHeight(32, 0, 1000, false).clientHeight, 6 * 32);
}

TEST(FontSize, ClampedToEightThroughTwentyFour)
{
    Board b;
    BoardView view(b);
    EXPECT_EQ(view.setFontSize(3), 8);
    EXPECT_EQ(view.setFontSize(14), 14);
    EXPECT_EQ(view.setFontSize(200), 24);
}
