#include "CalendarGeometry.h"

#include <algorithm>

namespace qb::planner {

namespace {
int arrowIndex(CalendarGeometry::Part arrow)
{
    switch (arrow) {
    case CalendarGeometry::Part::YearBackArrow:
        return 0;
    case CalendarGeometry::Part::MonthBackArrow:
        return 1;
    case CalendarGeometry::Part::MonthForwardArrow:
        return 2;
    case CalendarGeometry::Part::YearForwardArrow:
        return 3;
    default:
        return -1;
    }
}
} // namespace

CalendarGeometry::CalendarGeometry(int digitWidth, int lineHeight, int titleWidth)
{
    digitWidth = std::max(digitWidth, 1);
    lineHeight = std::max(lineHeight, 1);
    const int margin = m_frame + 2;

    // Two digits with room for the selection border around them; two-letter
    // day names fit in the same width.
    const int titleHeight = lineHeight + 10;
    const int arrowSize = titleHeight - 4;
    m_cellWidth = std::max(2 * digitWidth + 12, lineHeight + 6);
    // Widen the cells when the title would not fit between the arrows.
    const int titleRoom = std::max(titleWidth, 0) + 4 * arrowSize + 2 * 2 + 2 * 3 + 8;
    m_cellWidth = std::max(m_cellWidth, (titleRoom + 6) / 7);
    m_cellHeight = lineHeight + 6;
    const int gridWidth = 7 * m_cellWidth;
    const int top = margin;
    m_arrows[0] = QRect(margin, top + 2, arrowSize, arrowSize);
    m_arrows[1] = QRect(margin + arrowSize + 2, top + 2, arrowSize, arrowSize);
    m_arrows[3] = QRect(margin + gridWidth - arrowSize, top + 2, arrowSize, arrowSize);
    m_arrows[2] = QRect(m_arrows[3].left() - arrowSize - 2, top + 2, arrowSize, arrowSize);
    m_title = QRect(QPoint(m_arrows[1].right() + 3, top),
        QPoint(m_arrows[2].left() - 3, top + titleHeight - 1));

    m_header = QRect(margin, top + titleHeight + 2, gridWidth, lineHeight + 4);
    m_grid = QRect(margin, m_header.bottom() + 6, gridWidth, 6 * m_cellHeight);

    const int box = std::max(lineHeight / 2 + 2, 8);
    m_cancelBox = QRect(margin + gridWidth - box, m_grid.bottom() + 3, box, box);

    m_size = QSize(gridWidth + 2 * margin, m_cancelBox.bottom() + 1 + margin);
}

QRect CalendarGeometry::arrowRect(Part arrow) const
{
    int i = arrowIndex(arrow);
    return i < 0 ? QRect() : m_arrows[i];
}

QRect CalendarGeometry::headerCellRect(int column) const
{
    if (column < 0 || column > 6)
        return QRect();
    return QRect(m_header.left() + column * m_cellWidth, m_header.top(), m_cellWidth, m_header.height());
}

QRect CalendarGeometry::cellRect(int cell) const
{
    if (cell < 0 || cell >= 42)
        return QRect();
    return QRect(m_grid.left() + (cell % 7) * m_cellWidth, m_grid.top() + (cell / 7) * m_cellHeight,
        m_cellWidth, m_cellHeight);
}

CalendarGeometry::Hit CalendarGeometry::hitTest(QPoint p) const
{
    static constexpr Part kArrows[4] = { Part::YearBackArrow, Part::MonthBackArrow, Part::MonthForwardArrow,
        Part::YearForwardArrow };
    for (int i = 0; i < 4; ++i) {
        if (m_arrows[i].contains(p))
            return { kArrows[i], -1 };
    }
    if (m_cancelBox.contains(p))
        return { Part::CancelBox, -1 };
    if (m_grid.contains(p)) {
        int column = (p.x() - m_grid.left()) / m_cellWidth;
        int row = (p.y() - m_grid.top()) / m_cellHeight;
        return { Part::Cell, row * 7 + column };
    }
    return {};
}

} // namespace qb::planner
