#include "CalendarModel.h"

#include "platform/Clock.h"

#include <cmath>

namespace qb::planner {

namespace {
std::int64_t floorMod(std::int64_t a, std::int64_t m)
{
    std::int64_t r = a % m;
    return r < 0 ? r + m : r;
}

const std::int64_t kFirstSerial = platform::daySerial(CalendarModel::kFirstYear, 1, 1);
const std::int64_t kLastSerial = platform::daySerial(CalendarModel::kLastYear, 12, 31);
} // namespace

CalendarModel::CalendarModel()
{
    setDate(static_cast<double>(platform::daySerial(2000, 1, 1)));
}

bool CalendarModel::isLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int CalendarModel::daysInMonth(int year, int month)
{
    static constexpr int kDays[12] = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 };
    if (month < 1 || month > 12)
        return 0;
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

int CalendarModel::weekdayMondayFirst(std::int64_t serial)
{
    // Serial 2 (1 January 1900) was a Monday.
    return static_cast<int>(floorMod(serial - 2, 7)) + 1;
}

int CalendarModel::firstCellOfMonth(int year, int month, int startOfWeek)
{
    int w = weekdayMondayFirst(platform::daySerial(year, month, 1));
    return (w - startOfWeek + 7) % 7;
}

std::int64_t CalendarModel::daySerial() const
{
    return static_cast<std::int64_t>(std::floor(m_date));
}

bool CalendarModel::setDate(double dateTime)
{
    if (!std::isfinite(dateTime))
        return false;
    double whole = std::floor(dateTime);
    if (whole < static_cast<double>(kFirstSerial) || whole > static_cast<double>(kLastSerial))
        return false;
    bool first = m_year == 0;
    if (!first && dateTime == m_date)
        return false;
    m_date = dateTime;
    platform::civilFromSerial(static_cast<std::int64_t>(whole), m_year, m_month, m_day);
    if (m_year != m_shownYear || m_month != m_shownMonth)
        layoutMonth();
    return true;
}

bool CalendarModel::setStartOfWeek(int startOfWeek)
{
    if (startOfWeek < 1 || startOfWeek > 7)
        return false;
    if (startOfWeek != m_startOfWeek) {
        m_startOfWeek = startOfWeek;
        layoutMonth();
    }
    return true;
}

bool CalendarModel::move(CalendarMove what)
{
    switch (what) {
    case CalendarMove::DayBack:
        return moveByDays(-1);
    case CalendarMove::DayForward:
        return moveByDays(1);
    case CalendarMove::WeekBack:
        return moveByDays(-7);
    case CalendarMove::WeekForward:
        return moveByDays(7);
    case CalendarMove::MonthBack: {
        // Back by the length of the previous month, so the day of month
        // stays whenever that month has it.
        int y = m_month == 1 ? m_year - 1 : m_year;
        int m = m_month == 1 ? 12 : m_month - 1;
        return moveByDays(-daysInMonth(y, m));
    }
    case CalendarMove::MonthForward:
        return moveByDays(daysInMonth(m_year, m_month));
    case CalendarMove::YearBack:
    case CalendarMove::YearForward: {
        // A year is 366 days in a leap year unless the month is March, as
        // stations have always stepped it.
        int days = isLeapYear(m_year) && m_month != 3 ? 366 : 365;
        return moveByDays(what == CalendarMove::YearBack ? -days : days);
    }
    }
    return false;
}

bool CalendarModel::moveByDays(std::int64_t days)
{
    if (days == 0)
        return false;
    return setDate(m_date + static_cast<double>(days));
}

int CalendarModel::dayInCell(int cell) const
{
    if (cell < 0 || cell >= kCells)
        return 0;
    return m_cells[static_cast<std::size_t>(cell)];
}

int CalendarModel::cellOfDay(int day) const
{
    if (day < 1 || day > daysInMonth(m_shownYear, m_shownMonth))
        return kNoCell;
    return firstCellOfMonth(m_shownYear, m_shownMonth, m_startOfWeek) + day - 1;
}

bool CalendarModel::selectCell(int cell)
{
    int d = dayInCell(cell);
    if (d == 0)
        return false;
    return moveByDays(d - m_day);
}

bool CalendarModel::setHoverCell(int cell)
{
    if (dayInCell(cell) == 0)
        cell = kNoCell;
    if (cell == m_hoverCell)
        return false;
    m_hoverCell = cell;
    return true;
}

void CalendarModel::layoutMonth()
{
    if (beforeNewMonth)
        beforeNewMonth();
    m_shownYear = m_year;
    m_shownMonth = m_month;
    m_cells.fill(0);
    int first = firstCellOfMonth(m_year, m_month, m_startOfWeek);
    int days = daysInMonth(m_year, m_month);
    for (int d = 1; d <= days; ++d)
        m_cells[static_cast<std::size_t>(first + d - 1)] = d;
    // The hover cell of the old month means nothing in the new one.
    m_hoverCell = kNoCell;
    if (afterNewMonth)
        afterNewMonth();
}

} // namespace qb::planner
