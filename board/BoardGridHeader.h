// The fixed title row of the board grid: a horizontal header that paints its
// sections with the model's title colours (styles would otherwise draw their
// own gradient over them), draws the sort arrow of the sort column and is
// exactly one grid row high.
#pragma once

#include <QHeaderView>

namespace qb::board {

class BoardGridHeader : public QHeaderView {
    Q_OBJECT
public:
    // headerData role of a title: 1 sorted ascending, -1 descending, 0 not
    // the sort column.
    static constexpr int kSortArrowRole = Qt::UserRole + 2;

    explicit BoardGridHeader(QWidget* parent = nullptr);

    // Height of the title row in pixels (the grid's row height).
    void setRowHeight(int height);
    QSize sizeHint() const override;

    // Pixels at the right of every title kept for the sort arrow.
    static int arrowRoom(const QFont& font);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int m_rowHeight = 20;
};

} // namespace qb::board
