#include "BoardGridHeader.h"

#include "BoardGridDelegate.h"

#include <QPainter>

namespace qb::board {

BoardGridHeader::BoardGridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setStretchLastSection(false);
    setMinimumSectionSize(0); // hidden columns are 0 wide, not the style's minimum
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void BoardGridHeader::setRowHeight(int height)
{
    m_rowHeight = height;
    setFixedHeight(height);
    updateGeometry();
    viewport()->update();
}

QSize BoardGridHeader::sizeHint() const
{
    return {QHeaderView::sizeHint().width(), m_rowHeight};
}

void BoardGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid() || !model())
        return;
    const QRect cell = rect.adjusted(0, 0, -1, -1);
    BoardGridDelegate::paintCell(painter, cell, font(), model()->headerData(logicalIndex, orientation(), Qt::BackgroundRole),
                                 model()->headerData(logicalIndex, orientation(), Qt::ForegroundRole),
                                 model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString());
    // Grid lines of the title row, as between the body's cells.
    painter->save();
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->restore();
}

} // namespace qb::board
