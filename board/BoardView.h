// What the board grid shows and how: which rows in which order, the text and
// colours of every cell, the View menu of groups, the rules for clicks on
// titles and group cells, and the arithmetic of column widths and window
// height. Plain C++ so that every rule can be tested without a display; the
// widget (BoardGrid) only turns events into calls here and paints the result.
//
// Grid rows are counted as on screen: row 0 is the fixed title row, row r
// (from 1) shows one person. Columns 0 to 4: name, remark, group, fourth
// column ("misc"), date/time of the last change.
#pragma once

#include "board/Board.h"
#include "core/Colors.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::board {

// Widths of columns 0 to 4 in pixels.
using ColumnWidths = std::array<int, 5>;

// Text and colours of one cell.
struct CellStyle {
    std::string text;
    Rgb background;
    Rgb foreground;
    bool operator==(const CellStyle&) const = default;
};

// One group item of the View menu. The caption has every "&" replaced by "+"
// (menus would take "&" as a mnemonic); group is the real group name, which
// is what choosing the item filters by.
struct ViewItem {
    std::string caption;
    std::string group;
    std::string shortcut; // "F3", "Shift+F1", "Ctrl+F1", or empty for none
    bool operator==(const ViewItem&) const = default;
};

// Result of fitting the window height to the rows.
struct FitHeight {
    int clientHeight = 0;
    bool capped = false; // rows did not fit the screen: the window belongs at the top
};

class BoardView {
public:
    static constexpr int kColumnCount = 5;
    static constexpr int kNameColumn = 0;
    static constexpr int kRemarkColumn = 1;
    static constexpr int kGroupColumn = 2;
    static constexpr int kMiscColumn = 3;
    static constexpr int kTimeColumn = 4;

    static constexpr const char* kOwnRowFilter = "~~"; // only the own row shows
    static constexpr std::size_t kMaxFilter = 120;      // characters
    static constexpr int kMinFontSize = 8;
    static constexpr int kMaxFontSize = 24;
    static constexpr int kDefaultFontSize = 10;
    static constexpr const char* kTimeTitle = "Date/Time";
    static constexpr const char* kMissing = " "; // text of a cell with nothing to show

    static constexpr Rgb kWhite {255, 255, 255};
    static constexpr Rgb kBlack {0, 0, 0};
    static constexpr Rgb kOwnNameColor {174, 244, 70};
    static constexpr Rgb kTitleColor {197, 218, 254};
    static constexpr Rgb kSortTitleColor {51, 185, 236};
    static constexpr Rgb kAdminTitleColor {255, 0, 255};

    // The view keeps a reference to the board; the board must outlive it.
    // Sort column 0, ascending, no filter, font size 10.
    explicit BoardView(Board& board);

    Board& board() { return m_board; }
    const Board& board() const { return m_board; }

    // ---- state ----
    int sortColumn() const { return m_sortColumn; }
    bool ascending() const { return m_ascending; }
    const std::string& filter() const { return m_filter; }
    int fontSize() const { return m_fontSize; }

    // Sets sort column (clamped to 0..4) and direction and rebuilds.
    void setSort(int column, bool ascending);
    // Sets the view filter: empty for all, a group name, or kOwnRowFilter.
    // Cut to kMaxFilter characters. Rebuilds when it changed; returns whether
    // it changed.
    bool setFilter(std::string_view filter);
    // Clamps to kMinFontSize..kMaxFontSize and returns the size taken.
    int setFontSize(int size);

    // Colours the painting takes from the desktop: the text colour and the
    // button-face colour of alternate rows. Defaults black and (240,240,240).
    void setSystemColors(const Rgb& windowText, const Rgb& buttonFace);

    // ---- rows ----
    // Rebuilds board().displayOrder: every board index from 1 whose name is
    // not "__" and that the filter lets through (the own row always does),
    // ordered by the sort column's text without regard to case (the
    // date/time column by its value); equal keys keep board index order.
    void rebuild();
    // Title row + one row per display entry.
    int gridRowCount() const;
    // Board index shown on grid row r: 0 for the title row, -1 when the row
    // does not exist. Descending order reads the display order from its end.
    int boardIndexAt(int gridRow) const;
    // The grid row that shows a board index, or -1.
    int gridRowOf(int boardIndex) const;

    // ---- clicks ----
    // A click on the title of a column: flips the direction; a column other
    // than the sort column becomes the sort column and the order is rebuilt.
    // Ignored in an administrator login (the title row belongs to record 0
    // there and nothing is sorted). Returns whether anything changed.
    bool clickTitle(int column);
    // A click on the group cell of a board index (persons only; ignored in an
    // administrator login and for invalid indexes). Left button: a row of
    // another group filters by that group; a row of the filtered group shows
    // the own row alone when it is the own row, else clears the filter; while
    // only the own row shows, any click clears the filter. Right button:
    // filter by the row's group. Rebuilds when the filter changed; returns
    // whether it did.
    bool clickGroupCell(int boardIndex, bool rightButton);

    // ---- View menu ----
    // One item per group of the board, in the board's group order. The k-th
    // item (from 1; "All" is item 0 with F2) gets shortcutFor(k).
    std::vector<ViewItem> viewItems() const;
    // F3..F12 for k = 1..10, Shift+F1..F12 for 11..22, Ctrl+F1..F12 for
    // 23..34, empty otherwise.
    static std::string shortcutFor(int k);
    // Choosing an item filters by its real group name; nullptr means "All".
    // Returns whether the filter changed.
    bool chooseViewItem(const ViewItem* item);

    // ---- painting ----
    // Text and colours of cell (gridRow, column). Rows or columns outside the
    // grid give kMissing on white. Plain cells take the window-text colour;
    // cells on a colour of their own (titles, the own name, remarks) take
    // black or white, whichever reads better on it. Titles carry no sort
    // marker: the grid draws the sort arrow (see sortColumn / ascending).
    CellStyle cell(int gridRow, int column) const;
    // Date-time (days since 1899-12-30) as "yyyy-mm-dd hh:nn" (international)
    // or "h:nn AM mm/dd/yyyy"; kMissing when the value is not a date between
    // the years 1 and 9999.
    static std::string formatDateTime(double dateTime, bool international);

    // ---- column widths ----
    // Option 9 as the grid sees it: always on for the administrator.
    bool showsTimeColumn() const;
    bool hidesFourthColumn() const;
    // Lays out the columns for a client width: negative widths count as 0;
    // the default layout replaces them when any was negative or a hidden /
    // shown column disagrees with options 23 and 9; a hidden fourth or
    // date/time column is 0 and the remark column takes its room. The remark
    // column may come out negative when the client is too narrow; the caller
    // shows such a column as 0 wide.
    ColumnWidths layoutColumns(const ColumnWidths& current, int clientWidth) const;
    // Default layout: t = clientWidth / 10; 2t, 3t + 4, t, 2t, 2t.
    static ColumnWidths defaultLayout(int clientWidth);
    // After the options are loaded: the fourth and date/time columns share
    // what is left of the client width after columns 0 to 2 (follow with
    // layoutColumns).
    ColumnWidths shareAfterOptionsLoaded(const ColumnWidths& current, int clientWidth) const;

    // measure: width in pixels a text needs in its cell (padding included),
    // nullopt when it cannot be measured.
    using Measure = std::function<std::optional<int>(const std::string&)>;
    // What every column needs to show its widest text: the title (through
    // measureTitle, which leaves room for the sort arrow) and every board
    // row whatever the filter, so that widths do not jump with it. 40 when
    // measuring fails; 0 for a column that options 23 / 9 hide.
    ColumnWidths naturalWidths(const Measure& measure, const Measure& measureTitle) const;
    // Fits natural widths into a client width. Room left over goes to the
    // date/time column (to the remark column when that is hidden), so no
    // strip stays empty at the right. When the room is short the remark,
    // then the fourth, name and group columns give way down to minWidth
    // each (their texts are cut with an ellipsis); the date/time column
    // never does. Only when even that does not fit is the sum wider than
    // the client.
    ColumnWidths fitColumns(const ColumnWidths& natural, int clientWidth, int minWidth) const;
    // Autosize: fitColumns(naturalWidths(...), clientWidth, minWidth).
    ColumnWidths autosizeColumns(int clientWidth, const Measure& measure, const Measure& measureTitle,
                                 int minWidth) const;

    // Client height that shows the title row and `entries` rows of rowHeight
    // pixels exactly, plus `extra` (a horizontal scroll bar, frames): no row
    // cut, no empty strip below the last. Capped at screenHeight - 90; a
    // maximised window takes screenHeight - 5.
    static FitHeight fitHeight(int rowHeight, int entries, int extra, int screenHeight, bool maximised);
    FitHeight fitHeight(int rowHeight, int extra, int screenHeight, bool maximised) const;

    // The first grid row, in grid order, whose name begins with text (any
    // case), else the first whose name contains it; -1 when none does or
    // text is empty. Rows that the filter hides are not searched.
    int findRow(std::string_view text) const;

    // Case-insensitive text order used for sorting (exposed for tests).
    static bool lessNoCase(std::string_view a, std::string_view b);

private:
    std::string columnText(int boardIndex, int column) const;
    bool isOwnRow(int boardIndex) const;

    Board& m_board;
    int m_sortColumn = 0;
    bool m_ascending = true;
    std::string m_filter;
    int m_fontSize = kDefaultFontSize;
    Rgb m_windowText = kBlack;
    Rgb m_buttonFace {240, 240, 240};
};

} // namespace qb::board
