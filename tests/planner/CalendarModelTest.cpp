#include "planner/CalendarGeometry.h"
#include "planner/CalendarModel.h"
#include "platform/Clock.h"

#include <gtest/gtest.h>

#include <limits>

#include <string>
#include <tuple>
#include <vector>

using qb::planner::CalendarGeometry;
using qb::planner::CalendarModel;
using qb::planner::CalendarMove;

namespace {

double dateOf(int y, int m, int d, double timeOfDay = 0.0)
{
    return static_cast<double>(qb::platform::daySerial(y, m, d)) + timeOfDay;
}

std::tuple<int, int, int> ymd(const CalendarModel& model)
{
    return { model.year(), model.month(), model.day() };
}

CalendarModel modelAt(int y, int m, int d, int startOfWeek = 1, double timeOfDay = 0.0)
{
    CalendarModel model;
    model.setStartOfWeek(startOfWeek);
    model.setDate(dateOf(y, m, d, timeOfDay));
    return model;
}

} // namespace

TEST(CalendarRules, LeapYearsFollowTheGregorianCentury)
{
    EXPECT_TRUE(CalendarModel::isLeapYear(2024));
    EXPECT_TRUE(CalendarModel::isLeapYear(2000));
    EXPECT_FALSE(CalendarModel::isLeapYear(2023));
    EXPECT_FALSE(CalendarModel::isLeapYear(1900));
    EXPECT_FALSE(CalendarModel::isLeapYear(2100));
}

TEST(CalendarRules, MonthLengths)
{
    EXPECT_EQ(CalendarModel::daysInMonth(2023, 2), 28);
    EXPECT_EQ(CalendarModel::daysInMonth(2024, 2), 29);
    EXPECT_EQ(CalendarModel::daysInMonth(1900, 2), 28);
    EXPECT_EQ(CalendarModel::daysInMonth(2000, 2), 29);
    EXPECT_EQ(CalendarModel::daysInMonth(2023, 4), 30);
    EXPECT_EQ(CalendarModel::daysInMonth(2023, 12), 31);
    EXPECT_EQ(CalendarModel::daysInMonth(2023, 0), 0);
    EXPECT_EQ(CalendarModel::daysInMonth(2023, 13), 0);
}

TEST(CalendarRules, WeekdayOfKnownDays)
{
    EXPECT_EQ(CalendarModel::weekdayMondayFirst(45292), 1); // Monday 1 January 2024
    EXPECT_EQ(CalendarModel::weekdayMondayFirst(45291), 7); // Sunday 31 December 2023
    EXPECT_EQ(CalendarModel::weekdayMondayFirst(1), 7);     // Sunday 31 December 1899
    EXPECT_EQ(CalendarModel::weekdayMondayFirst(0), 6);     // Saturday 30 December 1899
    EXPECT_EQ(CalendarModel::weekdayMondayFirst(-1), 5);    // before the epoch too
}

// year, month, StartOfWeek, cell of day 1
class MonthLayout : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

TEST_P(MonthLayout, FirstDayCellAndFilledCells)
{
    auto [year, month, sow, firstCell] = GetParam();
    CalendarModel model = modelAt(year, month, 1, sow);
    int days = CalendarModel::daysInMonth(year, month);
    for (int cell = 0; cell < CalendarModel::kCells; ++cell) {
        int expected = cell >= firstCell && cell < firstCell + days ? cell - firstCell + 1 : 0;
        EXPECT_EQ(model.dayInCell(cell), expected) << "cell " << cell;
    }
    EXPECT_EQ(model.selectedCell(), firstCell);
}

INSTANTIATE_TEST_SUITE_P(Calendar, MonthLayout,
    ::testing::Values(
        std::make_tuple(2024, 9, 7, 0),  // 1 September 2024 is a Sunday
        std::make_tuple(2024, 6, 7, 6),  // 1 June 2024 is a Saturday
        std::make_tuple(2024, 1, 7, 1),  // Monday
        std::make_tuple(2024, 9, 1, 6),  // Sunday last when weeks start on Monday
        std::make_tuple(2024, 1, 1, 0),
        std::make_tuple(2024, 6, 3, 3),  // weeks from Wednesday: Saturday is the fourth
        std::make_tuple(2026, 2, 7, 0),  // 28-day February filling exactly four rows
        std::make_tuple(2020, 8, 7, 6))); // 31 days from the seventh cell use the sixth row

TEST(CalendarLayout, StartOfWeekChangeLaysOutAgain)
{
    CalendarModel model = modelAt(2024, 9, 10);
    EXPECT_EQ(model.dayInCell(6), 1);
    EXPECT_TRUE(model.setStartOfWeek(7));
    EXPECT_EQ(model.dayInCell(0), 1);
    EXPECT_EQ(model.selectedCell(), 9);
    EXPECT_FALSE(model.setStartOfWeek(0));
    EXPECT_FALSE(model.setStartOfWeek(8));
    EXPECT_EQ(model.startOfWeek(), 7);
}

TEST(CalendarLayout, HooksRunAroundEachNewMonthOnly)
{
    CalendarModel model = modelAt(2023, 1, 30);
    std::vector<std::string> events;
    model.beforeNewMonth = [&] { events.push_back("before:" + std::to_string(model.dayInCell(0))); };
    model.afterNewMonth = [&] { events.push_back("after:" + std::to_string(model.dayInCell(2))); };

    model.move(CalendarMove::DayForward); // 31 January: same month
    EXPECT_TRUE(events.empty());
    model.move(CalendarMove::DayForward); // 1 February 2023, a Wednesday: cell 2 with Monday weeks
    // January 2023 starts on a Sunday, in cell 6: cell 0 is still empty before the fill.
    EXPECT_EQ(events, (std::vector<std::string> { "before:0", "after:1" }));
}

TEST(CalendarNavigation, PageDownAddsTheDaysOfTheCurrentMonth)
{
    CalendarModel model = modelAt(2023, 1, 31);
    EXPECT_TRUE(model.move(CalendarMove::MonthForward));
    EXPECT_EQ(ymd(model), std::make_tuple(2023, 3, 3));

    CalendarModel leap = modelAt(2024, 1, 31);
    leap.move(CalendarMove::MonthForward);
    EXPECT_EQ(ymd(leap), std::make_tuple(2024, 3, 2));

    CalendarModel mid = modelAt(2023, 2, 15);
    mid.move(CalendarMove::MonthForward);
    EXPECT_EQ(ymd(mid), std::make_tuple(2023, 3, 15));
}

TEST(CalendarNavigation, PageUpSubtractsTheDaysOfThePreviousMonth)
{
    CalendarModel model = modelAt(2023, 3, 15);
    model.move(CalendarMove::MonthBack);
    EXPECT_EQ(ymd(model), std::make_tuple(2023, 2, 15));

    CalendarModel endOfMarch = modelAt(2023, 3, 31);
    endOfMarch.move(CalendarMove::MonthBack); // February has 28 days
    EXPECT_EQ(ymd(endOfMarch), std::make_tuple(2023, 3, 3));

    CalendarModel january = modelAt(2024, 1, 10);
    january.move(CalendarMove::MonthBack); // December of the year before
    EXPECT_EQ(ymd(january), std::make_tuple(2023, 12, 10));
}

TEST(CalendarNavigation, YearStepsCount366DaysInLeapYearsOutsideMarch)
{
    CalendarModel forward = modelAt(2024, 1, 15);
    forward.move(CalendarMove::YearForward);
    EXPECT_EQ(ymd(forward), std::make_tuple(2025, 1, 15));

    CalendarModel back = modelAt(2024, 1, 15);
    back.move(CalendarMove::YearBack); // 366 days back from a leap January
    EXPECT_EQ(ymd(back), std::make_tuple(2023, 1, 14));

    CalendarModel march = modelAt(2024, 3, 15);
    march.move(CalendarMove::YearBack); // 365 days in March
    EXPECT_EQ(ymd(march), std::make_tuple(2023, 3, 16));

    CalendarModel plain = modelAt(2023, 6, 1);
    plain.move(CalendarMove::YearForward);
    EXPECT_EQ(ymd(plain), std::make_tuple(2024, 5, 31)); // 365 days across 29 February
}

TEST(CalendarNavigation, DayAndWeekStepsCrossMonthsAndKeepTheTime)
{
    CalendarModel model = modelAt(2023, 12, 31, 1, 0.75);
    model.move(CalendarMove::DayForward);
    EXPECT_EQ(ymd(model), std::make_tuple(2024, 1, 1));
    model.move(CalendarMove::WeekBack);
    EXPECT_EQ(ymd(model), std::make_tuple(2023, 12, 25));
    model.move(CalendarMove::WeekForward);
    model.move(CalendarMove::DayBack);
    EXPECT_EQ(ymd(model), std::make_tuple(2023, 12, 31));
    EXPECT_DOUBLE_EQ(model.date() - static_cast<double>(model.daySerial()), 0.75);
}

TEST(CalendarNavigation, MovesOutsideTheSupportedYearsAreRefused)
{
    CalendarModel first = modelAt(1, 1, 5);
    EXPECT_FALSE(first.move(CalendarMove::WeekBack));
    EXPECT_FALSE(first.move(CalendarMove::MonthBack));
    EXPECT_EQ(ymd(first), std::make_tuple(1, 1, 5));

    CalendarModel last = modelAt(9999, 12, 30);
    EXPECT_FALSE(last.move(CalendarMove::YearForward));
    EXPECT_TRUE(last.move(CalendarMove::DayForward));
    EXPECT_FALSE(last.move(CalendarMove::DayForward));
    EXPECT_EQ(ymd(last), std::make_tuple(9999, 12, 31));
}

TEST(CalendarDate, SetDateReportsChangesAndRejectsNonsense)
{
    CalendarModel model = modelAt(2024, 5, 6, 1, 0.5);
    EXPECT_FALSE(model.setDate(dateOf(2024, 5, 6, 0.5)));
    EXPECT_TRUE(model.setDate(dateOf(2024, 5, 6, 0.25))); // same day, other time
    EXPECT_FALSE(model.setDate(dateOf(10000, 1, 1)));
    EXPECT_FALSE(model.setDate(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_FALSE(model.setDate(std::numeric_limits<double>::infinity()));
    EXPECT_EQ(ymd(model), std::make_tuple(2024, 5, 6));
}

TEST(CalendarDate, SelectingACellMovesByTheDifferenceInDays)
{
    CalendarModel model = modelAt(2024, 9, 10, 7, 0.4); // 1 September in cell 0
    EXPECT_TRUE(model.selectCell(19));
    EXPECT_EQ(ymd(model), std::make_tuple(2024, 9, 20));
    EXPECT_DOUBLE_EQ(model.date(), dateOf(2024, 9, 20, 0.4));
    EXPECT_FALSE(model.selectCell(30)); // after 30 September: empty
    EXPECT_FALSE(model.selectCell(19)); // already selected
    EXPECT_FALSE(model.selectCell(-1));
    EXPECT_FALSE(model.selectCell(42));
    EXPECT_EQ(model.day(), 20);
}

TEST(CalendarDate, HoverIsOnlyOnFilledCellsAndClearedByANewMonth)
{
    CalendarModel model = modelAt(2024, 9, 10, 7);
    EXPECT_TRUE(model.setHoverCell(3));
    EXPECT_FALSE(model.setHoverCell(3));
    EXPECT_TRUE(model.setHoverCell(40)); // empty: no hover
    EXPECT_EQ(model.hoverCell(), CalendarModel::kNoCell);
    model.setHoverCell(5);
    model.move(CalendarMove::MonthForward);
    EXPECT_EQ(model.hoverCell(), CalendarModel::kNoCell);
}

TEST(CalendarGeometry, HitTestFindsEveryPart)
{
    CalendarGeometry g(7, 16, 100);
    using Part = CalendarGeometry::Part;
    for (Part arrow : { Part::YearBackArrow, Part::MonthBackArrow, Part::MonthForwardArrow, Part::YearForwardArrow })
        EXPECT_EQ(g.hitTest(g.arrowRect(arrow).center()).part, arrow);
    EXPECT_EQ(g.hitTest(g.cancelBoxRect().center()).part, Part::CancelBox);
    for (int cell : { 0, 6, 7, 20, 35, 41 }) {
        auto hit = g.hitTest(g.cellRect(cell).center());
        EXPECT_EQ(hit.part, Part::Cell);
        EXPECT_EQ(hit.cell, cell);
    }
    EXPECT_EQ(g.hitTest(g.titleRect().center()).part, Part::Nothing);
    EXPECT_EQ(g.hitTest(QPoint(-1, -1)).part, Part::Nothing);
}

TEST(CalendarGeometry, PartsStayInsideAndApart)
{
    CalendarGeometry g(7, 16, 100);
    QRect all(QPoint(0, 0), g.size());
    EXPECT_TRUE(all.contains(g.cellRect(41)));
    EXPECT_TRUE(all.contains(g.cancelBoxRect()));
    EXPECT_FALSE(g.cellRect(41).intersects(g.cancelBoxRect()));
    EXPECT_FALSE(g.titleRect().intersects(g.arrowRect(CalendarGeometry::Part::MonthBackArrow)));
    EXPECT_FALSE(g.titleRect().intersects(g.arrowRect(CalendarGeometry::Part::MonthForwardArrow)));
    EXPECT_GE(g.titleRect().width(), 100);
    EXPECT_LT(g.headerLineY(), g.gridRect().top());
    EXPECT_GT(g.headerLineY(), g.headerRect().bottom());
}

TEST(CalendarGeometry, SizeFollowsTheFont)
{
    CalendarGeometry small(6, 13);
    CalendarGeometry large(12, 26);
    EXPECT_GT(large.size().width(), small.size().width());
    EXPECT_GT(large.size().height(), small.size().height());
    CalendarGeometry wideTitle(6, 13, 400);
    EXPECT_GE(wideTitle.titleRect().width(), 400);
}
