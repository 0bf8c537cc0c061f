// The fixed title row of the board grid: a horizontal header that paints its
// sections with the model's title colours (styles would otherwise draw their
// own gradient over them) and is exactly one grid row high.
#pragma once

#include <QHeaderView>

namespace qb::board {

class BoardGridHeader : public QHeaderView {
    Q_OBJECT
public:
    explicit BoardGridHeader(QWidget* parent = nullptr);

    // Height of the title row in pixels (the grid's row height).
    void setRowHeight(int height);
    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int m_rowHeight = 20;
};

} // namespace qb::board
