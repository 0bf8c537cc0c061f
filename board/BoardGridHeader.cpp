#include "BoardGridHeader.h"

#include "BoardGridDelegate.h"

#include <QBrush>
#include <QPainter>
#include <QPainterPath>

namespace qb::board {

BoardGridHeader::BoardGridHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setSortIndicatorShown(false); // drawn by paintSection in the title colours
    setStretchLastSection(false);
    setMinimumSectionSize(0); // hidden columns are 0 wide, not the style's minimum
    setSectionResizeMode(QHeaderView::Interactive);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
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

int BoardGridHeader::arrowRoom(const QFont& font)
{
    return QFontMetrics(font).height() * 2 / 3;
}

void BoardGridHeader::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    if (!rect.isValid() || !model())
        return;
    const QRect cell = rect.adjusted(0, 0, -1, -1);
    const int arrow = model()->headerData(logicalIndex, orientation(), kSortArrowRole).toInt();
    const QVariant foreground = model()->headerData(logicalIndex, orientation(), Qt::ForegroundRole);
    const int room = arrowRoom(font());
    BoardGridDelegate::paintCell(painter, cell, font(), model()->headerData(logicalIndex, orientation(), Qt::BackgroundRole),
                                 foreground, model()->headerData(logicalIndex, orientation(), Qt::DisplayRole).toString(),
                                 room);
    painter->save();
    if (arrow != 0 && cell.width() > room + BoardGridDelegate::kPadding) {
        // A small filled triangle at the right end: up for ascending (A at
        // the top), down for descending.
        const qreal w = room * 0.75, h = w * 0.55;
        const qreal cx = cell.right() - BoardGridDelegate::kPadding - room / 2.0 + 1;
        const qreal cy = cell.center().y() + 0.5;
        QPainterPath path;
        if (arrow > 0) {
            path.moveTo(cx - w / 2, cy + h / 2);
            path.lineTo(cx + w / 2, cy + h / 2);
            path.lineTo(cx, cy - h / 2);
        } else {
            path.moveTo(cx - w / 2, cy - h / 2);
            path.lineTo(cx + w / 2, cy - h / 2);
            path.lineTo(cx, cy + h / 2);
        }
        path.closeSubpath();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setClipRect(cell);
        painter->fillPath(path, foreground.canConvert<QBrush>() ? foreground.value<QBrush>().color() : QColor(Qt::black));
        painter->setRenderHint(QPainter::Antialiasing, false);
        painter->setClipping(false);
    }
    // Grid lines of the title row, as between the body's cells.
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    painter->restore();
}

} // namespace qb::board
