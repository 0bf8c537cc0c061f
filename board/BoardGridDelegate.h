// Paints a board cell: the cell filled with its background, the text in its
// colour with a little padding, vertically centred, and cut with an ellipsis
// when the column is too narrow (the full text is then the cell's tooltip).
// A selected row (the find box's match) gets a frame in the highlight colour
// so that the remark colours stay visible underneath.
#pragma once

#include <QStyledItemDelegate>

class QFontMetricsF;

namespace qb::board {

class BoardGridDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Room left and right of a cell's text, in pixels.
    static constexpr int kPadding = 5;

    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    // Tooltips only for texts that do not fit their cell.
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;

    // Shared with the title row so both paint alike. reserveRight: pixels at
    // the right end kept free of text (the title's sort arrow).
    static void paintCell(QPainter* painter, const QRect& rect, const QFont& font, const QVariant& background,
                          const QVariant& foreground, const QString& text, int reserveRight = 0);
    // Whether text is cut in a cell of this width.
    static bool isCut(const QFont& font, const QString& text, int cellWidth, int reserveRight = 0);
    // The width a cell needs to show text whole.
    static int neededWidth(const QFont& font, const QString& text);
    static int neededWidth(const QFontMetricsF& metrics, const QString& text);
};

} // namespace qb::board
