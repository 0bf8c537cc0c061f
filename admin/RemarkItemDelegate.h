// Draws one entry of the remark pick list: the background in the colour of
// the entry's colour code, the text in black or white (whichever reads
// better on that colour) 3 pixels from the left, a notice in quiet italics
// on the window colour, and a frame round the selected entry (the colour
// itself must stay visible).
#pragma once

#include <QStyledItemDelegate>

namespace qb::admin {

class RemarkItemDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    // Role holding the entry's colour code (an int 0..255).
    static constexpr int kColorCodeRole = Qt::UserRole + 1;
    // True for an entry that is a notice rather than a remark.
    static constexpr int kNoticeRole = Qt::UserRole + 2;

    explicit RemarkItemDelegate(QObject* parent = nullptr);

    // Height of every entry in pixels (at least 1).
    void setItemHeight(int height);
    int itemHeight() const { return m_itemHeight; }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    int m_itemHeight = 20;
};

} // namespace qb::admin
