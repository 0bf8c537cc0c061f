// errAlert: the main window's pop-up menu used as a non-modal alert box.
// "ALERT:", a separator, three message lines, a separator, "  [   OK  ]".
// Any item closes it; it never blocks the program.
#pragma once

#include <QList>
#include <QMenu>
#include <QPair>
#include <QPointer>
#include <QStringList>

namespace qb::board {

class AlertMenu : public QMenu {
    Q_OBJECT
public:
    explicit AlertMenu(QWidget* parent = nullptr);

    // Fills the three lines (missing ones stay empty, extra ones are
    // dropped) and pops the menu up 20 px right of the anchor's left edge and
    // 5 px above its top (the anchor's frame, in screen coordinates). A null
    // anchor uses the parent window. While an alert shows, a new one waits
    // and follows when it closes, so a later failure never hides an earlier
    // one (a damaged names table, then the save that failed because of it).
    void showAlert(const QStringList& lines, QWidget* anchor = nullptr);

    // The texts of the three message lines now set.
    QStringList lines() const;
    // Where showAlert placed (or would place) the menu for the anchor.
    static QPoint alertPosition(const QWidget* anchor);

private:
    void present(const QStringList& lines, QWidget* anchor);
    QAction* m_lines[3] {};
    QList<QPair<QStringList, QPointer<QWidget>>> m_waiting;
};

} // namespace qb::board
