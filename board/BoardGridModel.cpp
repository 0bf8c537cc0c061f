#include "BoardGridModel.h"

#include "BoardGridHeader.h"

#include <QBrush>
#include <QString>

namespace qb::board {

BoardGridModel::BoardGridModel(BoardView& view, QObject* parent) : QAbstractTableModel(parent), m_view(view) {}

void BoardGridModel::refresh()
{
    // The row set changes as a whole with every load, so a reset is both
    // the simplest and the cheapest honest signal.
    beginResetModel();
    endResetModel();
}

int BoardGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_view.gridRowCount() - 1;
}

int BoardGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : BoardView::kColumnCount;
}

QVariant BoardGridModel::roleOf(const CellStyle& style, int boardIndex, int role) const
{
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(style.text);
    case Qt::BackgroundRole:
        return QBrush(toQColor(style.background));
    case Qt::ForegroundRole:
        return QBrush(toQColor(style.foreground));
    case kBoardIndexRole:
        return boardIndex;
    default:
        return {};
    }
}

QVariant BoardGridModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int gridRow = index.row() + 1;
    return roleOf(m_view.cell(gridRow, index.column()), m_view.boardIndexAt(gridRow), role);
}

QVariant BoardGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= BoardView::kColumnCount)
        return {};
    if (role == Qt::ToolTipRole)
        return {};
    if (role == BoardGridHeader::kSortArrowRole)
        return section == m_view.sortColumn() ? (m_view.ascending() ? 1 : -1) : 0;
    return roleOf(m_view.cell(0, section), 0, role);
}

Qt::ItemFlags BoardGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

} // namespace qb::board
