// The board grid of the main window (object name "StringGrid1"): a fixed
// title row and one row per shown person, five columns, painted from
// BoardView; with the find box (object name "FindBox") above it.
//
// The grid handles by itself: clicks on titles (sorting) and the group-cell
// filter rule of persons (both through BoardView), and on every resize it
// autosizes and lays out its columns. Everything else a click means (name,
// remark and fourth-column clicks, the administrator's group clicks) belongs
// to the main window, which gets cellClicked for every press on a person row.
// Typed characters are not consumed: they reach the main window's key
// handling, which opens the find box with startFind().
#pragma once

#include "board/Board.h"
#include "board/BoardView.h"

#include <QFont>
#include <QWidget>

#include <array>
#include <string>
#include <unordered_map>
#include <string_view>

class QLineEdit;

namespace qb::board {

class BoardGridModel;
class BoardGridTable;
class BoardGridHeader;

class BoardGrid : public QWidget {
    Q_OBJECT
public:
    // The board must outlive the grid. Font size 10, sort by name ascending,
    // no filter, widths from the local settings' defaults.
    BoardGrid(Board& board, QWidget* parent = nullptr);
    ~BoardGrid() override;

    // The view logic: filter, sort, View menu items, cell rules. After
    // changing its state directly, call reload() to show the result.
    BoardView& view() { return m_view; }
    const BoardView& view() const { return m_view; }

    // After every load of the board: rebuilds the display order and repaints,
    // keeping the scroll position.
    void reload();

    // Sets the view filter (empty = all, a group, or "~~" for the own row
    // alone), rebuilds and repaints; emits filterChanged when it changed.
    // Returns whether it changed. The View menu items and "All" use this.
    bool setFilter(std::string_view filter);

    // Column layout for the grid's current width and the board's options
    // (after the options are loaded, on resize, after autosize).
    void layoutColumns();
    // After the options are loaded: share the room left after name, remark
    // and group between the fourth and date/time columns, then lay out.
    void layoutColumnsForOptions();
    // Fits columns 0 to 3 to their widest text, gives the date/time column
    // the rest, then lays out.
    void autosizeColumns();

    // Client height of a main window whose client area is this grid, fitted to
    // the shown rows exactly (screenHeight: available height of the screen).
    // When *capped is set the rows did not fit: move the window to the top.
    // gridWidth: the width the grid will have (-1: its width now).
    int fittedClientHeight(int screenHeight, bool maximised, bool* capped = nullptr, int gridWidth = -1) const;
    // Width that shows every column's widest text whole (plus the vertical
    // scroll bar when the rows cannot all fit the screen).
    int naturalWidth(int screenHeight) const;

    // Font size (clamped to 8..24): grid font and row height 2 x size, or
    // more when the text needs it. Emits fontSizeChanged.
    void setFontSize(int size);
    int fontSize() const { return m_view.fontSize(); }
    // Height of the title row and of every person row, in pixels.
    int rowHeight() const;

    // Widths of columns 0 to 4 as the local settings keep them. Negative
    // values are kept for the next layout (which then resets) and shown as 0.
    void setColumnWidths(const std::array<int, 5>& widths);
    std::array<int, 5> columnWidths() const;

    // The find box: shown with the typed character and the caret after it,
    // focused. While it is typed in, the first row whose name begins with its
    // text, else the first that contains it (any case), is selected and
    // scrolled into view; no row is hidden. Enter, Esc or leaving it hides it
    // and refocuses the grid; the selection stays.
    void startFind(QChar first);
    void hideFind();
    QLineEdit* findBox() const { return m_findBox; }
    // The selected grid row (from 1), -1 for none.
    int selectedRow() const;

signals:
    // A mouse button went down on a person row's cell (board index >= 1).
    // For the group column of a person this comes after the filter rule ran.
    void cellClicked(int boardIndex, int column, Qt::MouseButton button);
    // The view filter changed through the grid (group cell, setFilter). The
    // main window fits its height.
    void filterChanged();
    // The font size changed (setFontSize).
    void fontSizeChanged(int size);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onCellPressed(const QModelIndex& index, Qt::MouseButton button);
    void onTitleClicked(int column);
    void onSectionResized(int column, int oldSize, int newSize);
    void refreshModel();
    void applyWidths();
    void placeFindBox();
    void selectFound(const QString& text);
    BoardView::Measure measureCell() const;
    BoardView::Measure measureTitle() const;
    int minColumnWidth() const;
    int scrollBarExtent() const;
    int layoutWidth() const;
    bool verticalBarNeeded() const;
    bool horizontalBarNeeded() const;

    Board& m_board;
    BoardView m_view;
    BoardGridModel* m_model = nullptr;
    BoardGridTable* m_table = nullptr;
    BoardGridHeader* m_header = nullptr;
    QLineEdit* m_findBox = nullptr;
    std::array<int, 5> m_widths {140, 170, 77, 190, 74};
    bool m_applying = false;
    // Widths of cell texts in the grid's font: every layout, resize and
    // window fit measures all rows, and shaping text is what costs.
    mutable std::unordered_map<std::string, int> m_cellWidths;
    mutable QFont m_measuredFont;
};

} // namespace qb::board
