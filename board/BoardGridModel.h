// Item model of the board grid: one model row per display entry (model row m
// is grid row m + 1), five columns; the title row is the horizontal header.
// Everything it answers comes from BoardView, so the colours painted are
// exactly those of the logic.
#pragma once

#include "board/BoardView.h"

#include <QAbstractTableModel>
#include <QColor>

namespace qb::board {

class BoardGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Board index of a row (int), also answered for the header (0).
    static constexpr int kBoardIndexRole = Qt::UserRole + 1;

    // The view must outlive the model.
    explicit BoardGridModel(BoardView& view, QObject* parent = nullptr);

    // Announces a rebuilt display order or changed board: a model reset.
    // Call after BoardView::rebuild(), a filter change or a new sort.
    void refresh();

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole text, BackgroundRole / ForegroundRole colours,
    // kBoardIndexRole. Invalid indexes give an empty QVariant.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Horizontal: the title cells, with the same roles as data().
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static QColor toQColor(const Rgb& c) { return QColor(c.r, c.g, c.b); }

private:
    QVariant roleOf(const CellStyle& style, int boardIndex, int role) const;
    BoardView& m_view;
};

} // namespace qb::board
