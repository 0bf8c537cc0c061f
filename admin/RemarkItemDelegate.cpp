#include "RemarkItemDelegate.h"

#include "core/Colors.h"

#include <QPainter>

namespace qb::admin {

RemarkItemDelegate::RemarkItemDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

void RemarkItemDelegate::setItemHeight(int height) { m_itemHeight = std::max(1, height); }

void RemarkItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const board::Rgb rgb = board::colorOfCode(index.data(kColorCodeRole).toInt());
    const bool notice = index.data(kNoticeRole).toBool();
    painter->save();
    QFont font = option.font;
    font.setItalic(notice);
    painter->setFont(font);
    if (notice) {
        // Not a remark: no remark colour, quiet text.
        painter->fillRect(option.rect, option.palette.color(QPalette::Window));
        painter->setPen(option.palette.color(QPalette::Disabled, QPalette::WindowText));
    } else {
        painter->fillRect(option.rect, QColor(rgb.r, rgb.g, rgb.b));
        const board::Rgb text = board::readableTextOn(rgb);
        painter->setPen(QColor(text.r, text.g, text.b));
    }
    const QRect textRect = option.rect.adjusted(3, 0, -2, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    if (option.state & QStyle::State_Selected) {
        QPen pen(option.palette.color(QPalette::Highlight), 2);
        painter->setPen(pen);
        painter->setBrush(Qt::NoBrush);
        painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
    }
    painter->restore();
}

QSize RemarkItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize s = QStyledItemDelegate::sizeHint(option, index);
    return {s.width(), m_itemHeight};
}

} // namespace qb::admin
