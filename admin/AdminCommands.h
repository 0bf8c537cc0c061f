// The commands of the administration windows as the board's menus run them:
// "O&ptions" (main menu and tray), "Add &Name", and on a name "Set
// &Options", "Reset &Password", "&Change Name" and "Remove Name"; and the
// group pop-up the board shows when the administrator clicks a person's
// group cell. The board's menu items call these; the host holds what the
// commands need from the board (every function in it may be empty).
#pragma once

#include "admin/GroupMenu.h"
#include "core/Options.h"
#include "core/Station.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QWidget;

namespace qb::core {
class Dialogs;
}

namespace qb::admin {

class TOptionsForm;

struct AdminHost {
    board::Station* station = nullptr;
    // Boxes, questions and prompts ("Change Name", "Create New Group",
    // option labels); none: nothing is asked and nothing changed.
    core::Dialogs* dialogs = nullptr;
    QWidget* window = nullptr;            // the board: parent and position of boxes
    const Options* options = nullptr;     // the program's in-memory options
    // Loads the board again (a fresh copy of the shared table), repaints and
    // fits the window to the rows.
    std::function<void()> reloadBoard;
    // After "O&ptions": the own record again, the remark list cache, the
    // message check counter, the taskbar style; then the board.
    std::function<void()> afterOwnOptions;
    // The options window wrote a change: the new-message alert ends.
    std::function<void()> clearAlert;
    // The board's rows are all taken: "Add &Name" does nothing.
    std::function<bool()> boardFull;
    // "Add &Name" shows every row first.
    std::function<void()> clearViewFilter;
    // The board's groups as its View menu lists them.
    std::function<QStringList()> groups;
    // A group no View menu item has yet (caption with "+" for "&").
    std::function<void(const QString& group)> addViewGroup;
    // The remembered login name of this station; forget it when it is name.
    std::function<void(const std::string& name)> forgetLoginName;
    // The information card of a person just added (board index, name).
    std::function<void(int boardIndex, const QString& name)> showInformation;
    std::function<void(const QString& topic)> help;
    std::function<void()> testSound;
    // The send window or the message reader is open: "O&ptions" only brings
    // the program forward then.
    std::function<bool()> messageWindowOpen;
    std::function<void()> bringForward;
};

// Owns the group pop-up and runs the commands; lives as long as the board.
class AdminCommands : public QObject {
    Q_OBJECT
public:
    static constexpr int kLastGroupLimit = 40;

    AdminCommands(AdminHost host, QObject* parent = nullptr);

    // The commands, as the menu items run them.
    void openOwnOptions(int ownIndex, bool admin);
    void openOptionsFor(int target, const std::string& name);
    void addNames();
    void resetPassword(int target);
    void changeName(int target);
    void removeName(int target);
    // The administrator clicked the group cell of a person: the group pop-up
    // at the global position; the chosen group is written into his record.
    void groupCellClicked(int target, QPoint at);

    GroupMenu* groupMenu() const { return m_groupMenu; }

signals:
    // An options window is about to run modally (tests answer it here).
    void optionsWindowOpened(qb::admin::TOptionsForm* window);

private:
    bool runOptions(const QString& caption, int target, bool admin);
    void warn(const std::string& text);
    bool confirm(const std::string& text);
    // The View menu's groups into the group pop-up; false without them.
    bool takeViewGroups();
    AdminHost m_host;
    GroupMenu* m_groupMenu = nullptr;
    QPointer<TOptionsForm> m_options;
    QString m_lastGroup;
    int m_groupTarget = -1;
};

} // namespace qb::admin
