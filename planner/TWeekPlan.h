// The week planner window: one week (Monday to Friday, AM and PM) of one
// person's planner, every keystroke written straight to the person's table.
// Created once and shown modally for each owner; the rules live in WeekPlan.
//
// A cell whose save found the table locked or unreachable stays marked (red,
// with a tooltip and a line under the grid) and is written with the next save
// that gets through, or at "&Close", which asks before dropping it.
#pragma once

#include "planner/WeekPlanner.h"

#include <QDialog>
#include <QPoint>
#include <QString>

#include <functional>

class QLabel;
class QMenu;
class QPushButton;
class QTableWidget;

namespace qb::core {
class Dialogs;
}
namespace qb::platform {
class Clock;
}

namespace qb::planner {

class TWeekPlan : public QDialog {
    Q_OBJECT
public:
    TWeekPlan(engine::Engine& engine, const QString& dataDir, const platform::Clock& clock,
              core::Dialogs* dialogs, QWidget* parent = nullptr, Pause pause = sleepingPause());

    // Before each showing: the planner's owner (board index) and display
    // name, whether the user may change it, and the board window's top-left
    // corner (the planner opens 10 pixels right of and below it).
    void setOwner(int ident, const QString& displayName, bool editable);
    void setAnchor(QPoint boardTopLeft) { m_anchor = boardTopLeft; }

    WeekPlan& logic() { return m_plan; }
    QTableWidget* grid() const { return m_xg; }
    QLabel* weekLabel() const { return m_label1; }
    QLabel* notSavedLabel() const { return m_notSaved; }

public slots:
    // Reads the current week into the grid (on every activation and after
    // each week change).
    void loadWeek();
    void copyWeek();
    void pasteWeek();
    void selectWeek();
    void priorWeek();
    void thisWeek();
    void nextWeek();
    // The cell commands of the grid's menu, on the current cell.
    void cutCell();
    void copyCell();
    void pasteCell();
    // Saves the text of a cell as it stands in the grid.
    void saveCell(int row, int column);
    void reject() override; // "&Close", Escape

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildGrid();
    void setCell(int row, int column, const QString& text);
    QString cellText(int row, int column) const;
    void saveCurrentCell();
    void showWaiting();
    void fitColumns();
    // The window's boxes and the date prompt, through dialogs (none without).
    void inform(const QString& text);
    bool confirm(const QString& text);

    WeekPlan m_plan;
    core::Dialogs* m_dialogs;
    QString m_ownerName;
    QPoint m_anchor;
    bool m_filling = false;
    int m_ownDialogs = 0; // prompt or box of this window open

    QTableWidget* m_xg = nullptr;
    QLabel* m_label1 = nullptr;
    QLabel* m_notSaved = nullptr;
    QPushButton* m_pasteButton = nullptr;
    QMenu* m_popupMenu1 = nullptr;
};

} // namespace qb::planner
