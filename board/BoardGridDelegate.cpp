#include "BoardGridDelegate.h"

#include <QBrush>
#include <QPainter>

namespace qb::board {

void BoardGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    paintCell(painter, option.rect, option.font, index.data(Qt::BackgroundRole), index.data(Qt::ForegroundRole),
              index.data(Qt::DisplayRole).toString());
}

void BoardGridDelegate::paintCell(QPainter* painter, const QRect& rect, const QFont& font, const QVariant& background,
                                  const QVariant& foreground, const QString& text)
{
    painter->save();
    painter->setClipRect(rect);
    painter->fillRect(rect, background.canConvert<QBrush>() ? background.value<QBrush>() : QBrush(Qt::white));
    painter->setFont(font);
    painter->setPen(foreground.canConvert<QBrush>() ? foreground.value<QBrush>().color() : QColor(Qt::black));
    const QRect textRect = rect.adjusted(2, 2, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, text);
    painter->restore();
}

} // namespace qb::board
