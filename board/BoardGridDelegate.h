// Paints a board cell the way the grid always has: the cell filled with its
// background, the text in its colour 2 pixels right of and below the top-left
// corner, cut at the cell's edge. No selection or focus decoration.
#pragma once

#include <QStyledItemDelegate>

namespace qb::board {

class BoardGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Shared with the title row so both paint alike.
    static void paintCell(QPainter* painter, const QRect& rect, const QFont& font, const QVariant& background,
                          const QVariant& foreground, const QString& text);
};

} // namespace qb::board
