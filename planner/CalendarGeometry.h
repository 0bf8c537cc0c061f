// Where each part of the month calendar sits, computed from the font's
// measures so the control sizes itself from its font, and what lies under a
// point. No drawing here.
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace qb::planner {

class CalendarGeometry {
public:
    // What a point of the control hits.
    enum class Part {
        Nothing,
        YearBackArrow,     // outer left
        MonthBackArrow,    // inner left
        MonthForwardArrow, // inner right
        YearForwardArrow,  // outer right
        Cell,              // a grid cell (filled or not); see Hit::cell
        CancelBox,         // the small box at the bottom right
    };
    struct Hit {
        Part part = Part::Nothing;
        int cell = -1; // 0..41 for Part::Cell
    };

    // Lays the control out for a font whose digits are digitWidth wide and
    // whose lines are lineHeight high, leaving titleWidth (the widest title
    // text) between the arrows. Values below 1 are taken as 1.
    CalendarGeometry(int digitWidth, int lineHeight, int titleWidth = 0);

    QSize size() const { return m_size; }
    // The raised outer frame is this wide on every side.
    int frameWidth() const { return m_frame; }

    QRect titleRect() const { return m_title; }
    QRect arrowRect(Part arrow) const;
    QRect headerRect() const { return m_header; }
    // Header column of a weekday column 0..6.
    QRect headerCellRect(int column) const;
    // y of the etched line under the header.
    int headerLineY() const { return m_header.bottom() + 2; }
    QRect gridRect() const { return m_grid; }
    // Cell 0..41, row by row; an invalid rect for a bad index.
    QRect cellRect(int cell) const;
    QRect cancelBoxRect() const { return m_cancelBox; }

    Hit hitTest(QPoint p) const;

private:
    QSize m_size;
    int m_frame = 2;
    int m_cellWidth = 0;
    int m_cellHeight = 0;
    QRect m_title;
    QRect m_arrows[4];
    QRect m_header;
    QRect m_grid;
    QRect m_cancelBox;
};

} // namespace qb::planner
