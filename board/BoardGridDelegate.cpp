#include "BoardGridDelegate.h"

#include <QAbstractItemView>
#include <QBrush>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <cmath>

namespace qb::board {

namespace {

int textRoom(int cellWidth, int reserveRight)
{
    return std::max(0, cellWidth - 2 * BoardGridDelegate::kPadding - reserveRight);
}

} // namespace

void BoardGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    paintCell(painter, option.rect, option.font, index.data(Qt::BackgroundRole), index.data(Qt::ForegroundRole),
              index.data(Qt::DisplayRole).toString());
    if (!(option.state & QStyle::State_Selected))
        return;
    // A frame round the whole row: top and bottom on every cell, the sides
    // on the first and last column.
    painter->save();
    const QColor c = option.palette.color(QPalette::Highlight);
    const QRect r = option.rect;
    const int t = 2;
    painter->fillRect(QRect(r.left(), r.top(), r.width(), t), c);
    painter->fillRect(QRect(r.left(), r.bottom() - t + 1, r.width(), t), c);
    if (index.column() == 0)
        painter->fillRect(QRect(r.left(), r.top(), t, r.height()), c);
    const QAbstractItemModel* model = index.model();
    if (model && index.column() == model->columnCount(index.parent()) - 1)
        painter->fillRect(QRect(r.right() - t + 1, r.top(), t, r.height()), c);
    painter->restore();
}

bool BoardGridDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                  const QModelIndex& index)
{
    if (!event || !view || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const QString text = index.data(Qt::DisplayRole).toString();
    if (index.isValid() && isCut(option.font, text, option.rect.width())) {
        QToolTip::showText(event->globalPos(), text, view, option.rect);
    } else {
        QToolTip::hideText();
        event->ignore();
    }
    return true;
}

void BoardGridDelegate::paintCell(QPainter* painter, const QRect& rect, const QFont& font, const QVariant& background,
                                  const QVariant& foreground, const QString& text, int reserveRight)
{
    painter->save();
    painter->setClipRect(rect);
    painter->fillRect(rect, background.canConvert<QBrush>() ? background.value<QBrush>() : QBrush(Qt::white));
    painter->setFont(font);
    painter->setPen(foreground.canConvert<QBrush>() ? foreground.value<QBrush>().color() : QColor(Qt::black));
    const QRect textRect(rect.left() + kPadding, rect.top(), textRoom(rect.width(), reserveRight), rect.height());
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
    painter->restore();
}

bool BoardGridDelegate::isCut(const QFont& font, const QString& text, int cellWidth, int reserveRight)
{
    return QFontMetrics(font).elidedText(text, Qt::ElideRight, textRoom(cellWidth, reserveRight)) != text;
}

int BoardGridDelegate::neededWidth(const QFont& font, const QString& text)
{
    return neededWidth(QFontMetricsF(font), text);
}

int BoardGridDelegate::neededWidth(const QFontMetricsF& metrics, const QString& text)
{
    // Whole pixels rounded up (elision works with the fractional width), one
    // more for the grid line at the cell's right edge.
    const int advance = static_cast<int>(std::ceil(metrics.horizontalAdvance(text)));
    return advance + 1 + 2 * kPadding + 1;
}

} // namespace qb::board
