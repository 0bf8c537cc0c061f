// State and rules of the month calendar, without any drawing: the selected
// date, the 6 x 7 month grid, the selected and hover cells and what each key
// or click does to the date. The widget TCalendar97 only turns events into
// calls here and paints what this class says.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

namespace qb::planner {

// Moves of the date that keys and arrow buttons ask for.
enum class CalendarMove {
    DayBack,     // Left
    DayForward,  // Right
    WeekBack,    // Up
    WeekForward, // Down
    MonthBack,   // Page Up, inner left arrow
    MonthForward, // Page Down, inner right arrow
    YearBack,    // End, outer left arrow
    YearForward, // Home, outer right arrow
};

class CalendarModel {
public:
    static constexpr int kColumns = 7;
    static constexpr int kRows = 6;
    static constexpr int kCells = kColumns * kRows;
    static constexpr int kNoCell = -1;
    // Dates outside these years are refused: the day serial arithmetic and
    // the four-digit title hold only inside them.
    static constexpr int kFirstYear = 1;
    static constexpr int kLastYear = 9999;

    // Starts on 1 January 2000 with weeks starting on Monday.
    CalendarModel();

    // --- calendar rules ---------------------------------------------------
    static bool isLeapYear(int year);
    // Days of month (1..12) in year; 0 for a month out of range.
    static int daysInMonth(int year, int month);
    // Weekday of a day serial, 1 = Monday ... 7 = Sunday.
    static int weekdayMondayFirst(std::int64_t serial);
    // Grid cell (0-based) of day 1 of the month for the given first weekday.
    static int firstCellOfMonth(int year, int month, int startOfWeek);

    // --- date ---------------------------------------------------------------
    // The selected date as days since 1899-12-30 with the time of day as
    // fraction; the fraction rides along with every move.
    double date() const { return m_date; }
    std::int64_t daySerial() const;
    int year() const { return m_year; }
    int month() const { return m_month; }
    int day() const { return m_day; }

    // Sets the date. Returns true when the value changed. Lays the month out
    // anew (with the hooks) when month or year differ from the shown month.
    // Values outside kFirstYear..kLastYear are refused (returns false).
    bool setDate(double dateTime);

    // 1 = Monday ... 7 = Sunday; out-of-range values are refused (false).
    // Lays the month out anew on change.
    bool setStartOfWeek(int startOfWeek);
    int startOfWeek() const { return m_startOfWeek; }

    // Applies one key or arrow-button move. Returns true when the date
    // changed; a move that would leave the supported years does nothing.
    bool move(CalendarMove what);
    // Moves the date by whole days (fraction kept). Same result rules as move.
    bool moveByDays(std::int64_t days);

    // --- month grid -------------------------------------------------------
    // Day number in the cell (0..41), 0 for an empty cell or a bad index.
    int dayInCell(int cell) const;
    int cellOfDay(int day) const;
    int selectedCell() const { return cellOfDay(m_day); }
    // Makes the day of a filled cell the date: the date moves by the
    // difference in days. Returns true when the date changed; empty cells
    // change nothing.
    bool selectCell(int cell);

    // The day cell under the mouse, kNoCell when none. Returns true when it
    // changed (the widget repaints then).
    bool setHoverCell(int cell);
    int hoverCell() const { return m_hoverCell; }

    // Called around each new layout of the month: before the cells are
    // filled and after. Either may be empty.
    std::function<void()> beforeNewMonth;
    std::function<void()> afterNewMonth;

private:
    void layoutMonth();

    double m_date = 0;
    int m_year = 0;
    int m_month = 0;
    int m_day = 0;
    int m_startOfWeek = 1;
    // Month shown by the grid; differs from m_year/m_month only inside setDate.
    int m_shownYear = 0;
    int m_shownMonth = 0;
    std::array<int, kCells> m_cells {};
    int m_hoverCell = kNoCell;
};

} // namespace qb::planner
