// The week planner and the employee information window as the program
// shows them: created once, opened modally from the name pop-up menu of the
// board ("&Planner", "&Information") for the clicked person. The program's
// entry makes one PlannerWindows and installs its menu items.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QWidget;

namespace qb::core {
class Dialogs;
}
namespace qb::engine {
class Engine;
}
namespace qb::platform {
class Clock;
}
namespace qb::ui {
class MenuRegistry;
struct MenuContext;
} // namespace qb::ui

namespace qb::planner {

class TInfoScrn1;
class TWeekPlan;

class PlannerWindows : public QObject {
    Q_OBJECT
public:
    // board: the main window (parent of both windows, the planner's anchor).
    // everyoneMayChangeInfo: the workstation's setting that lets every user
    // change every card, read when a card is shown.
    PlannerWindows(engine::Engine& engine, const QString& dataDir, const platform::Clock& clock,
                   core::Dialogs& dialogs, QWidget* board, std::function<bool()> everyoneMayChangeInfo);
    ~PlannerWindows() override;

    TWeekPlan& planner() { return *m_planner; }
    TInfoScrn1& information() { return *m_info; }

    // The clicked person's planner (context target and name), modally.
    void showPlanner(const ui::MenuContext& context);
    // A person's card, modally; also after a name was added.
    void showInformation(int ident, const QString& name, const ui::MenuContext& context);

signals:
    // "&Help" of the information window: the program shows the topic.
    void helpRequested(const QString& topic);

private:
    QWidget* m_board;
    std::function<bool()> m_everyoneMayChangeInfo;
    std::unique_ptr<TWeekPlan> m_planner;
    std::unique_ptr<TInfoScrn1> m_info;
};

// "&Planner" and "&Information" on the board's name pop-up menu.
void installPlannerMenus(ui::MenuRegistry& menus, PlannerWindows& windows);

} // namespace qb::planner
