// The table view inside the board grid. Two changes to a plain QTableView:
// typed characters are not used for a keyboard search but left to the board
// window, whose key handling opens the find box and runs the quick keys; and
// every mouse press on a cell is reported with its button (a plain view
// reports left clicks only).
#pragma once

#include <QTableView>

namespace qb::board {

class BoardGridTable : public QTableView {
    Q_OBJECT
public:
    explicit BoardGridTable(QWidget* parent = nullptr);

    // No search by typed text: the board window owns typed characters.
    void keyboardSearch(const QString& search) override;

signals:
    // A mouse button went down on a cell.
    void cellPressed(const QModelIndex& index, Qt::MouseButton button);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace qb::board
