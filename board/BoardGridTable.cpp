#include "BoardGridTable.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace qb::board {

BoardGridTable::BoardGridTable(QWidget* parent) : QTableView(parent) {}

void BoardGridTable::keyboardSearch(const QString&) {}

void BoardGridTable::keyPressEvent(QKeyEvent* event)
{
    const bool command = event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const QString text = event->text();
    if (!command && !text.isEmpty() && text.at(0).isPrint()) {
        event->ignore(); // goes on to the board window
        return;
    }
    QTableView::keyPressEvent(event);
}

void BoardGridTable::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    QTableView::mousePressEvent(event);
    if (index.isValid())
        emit cellPressed(index, event->button());
}

} // namespace qb::board
