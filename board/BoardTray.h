// The notification icon (LaunchBarIcon1) and its menu (PopupMenu2): Open,
// Minimize, the own In and Out, Exit, and what the other areas install. The
// icon shows the own status while a person is logged in, the program's icon
// otherwise, and an alert's icon while one blinks (BoardWindowLogic).
#pragma once

#include <QIcon>
#include <QObject>

#include <functional>

class QAction;
class QSystemTrayIcon;
class QWidget;

namespace qb::ui {
class MenuRegistry;
}

namespace qb::board {

struct Board;
class LoginLogic;

class BoardTray : public QObject {
    Q_OBJECT
public:
    // What the menu's items do.
    struct Hooks {
        std::function<void()> open;       // bring the board window forward
        std::function<void(bool in)> own; // the own In or Out
        std::function<void()> exit;       // Exit (the window's close)
    };

    // window: the board window the icon belongs to (its icon is the
    // program's icon). board and login must outlive the tray.
    BoardTray(QWidget* window, ui::MenuRegistry& menus, const Board& board, const LoginLogic& login, Hooks hooks);

    // The program's icon (drawn, no file needed), also the board window's.
    static QIcon programIcon();

    // Shown once the board is loaded, where a tray host is running.
    void showIfAvailable();
    // A later start asked to be shown: the icon is shown anew.
    void reshow();
    void hide();
    // Icon and tip together (the tip cut to what the tray takes).
    void set(const QIcon& icon, const QString& tip);
    // icon shown (an alert blinking); nullptr gives the icon back to the
    // board: the own status, or the program's icon.
    void setIcon(const QIcon* icon);
    // The program's icon (a login, a key press: the notification is seen).
    void showProgramIcon();
    // After a load: the own status and the tip the load made.
    void followBoard();
    // The In and Out items take the board's captions.
    void updateInOutTexts();
    // Which of In and Out work (a person only).
    void enableInOut(bool enabled);

private:
    QWidget* m_window;
    const Board& m_board;
    const LoginLogic& m_login;
    Hooks m_hooks;
    QSystemTrayIcon* m_tray = nullptr;
    QAction* m_in = nullptr;
    QAction* m_out = nullptr;
};

} // namespace qb::board
