// The main board window: login panel (PwdPanel) or board grid (StringGrid1),
// the main menu, the alert menu and the notification icon. The board, its
// start-up, login and settings live in a BoardSession; the window turns menu
// commands and panel buttons into its calls and shows what they did.
//
// Life: created by the entry before any other window; the heavy start-up
// (settings, first load, automatic login) runs on the first activation (or
// first showing) after the start and after every logout, posted to itself.
#pragma once

#include "board/BoardSession.h"
#include "core/Dialogs.h"
#include "core/Station.h"

#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QActionGroup;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

namespace qb::ui {
class MenuRegistry;
enum class MenuPlace;
}

namespace qb::board {

class AlertMenu;
class BoardGrid;
class ExitController;
class HelpViewer;
class PrintNamesCommand;
class RemarkController;
class TestHooks;

class TForm1 : public QMainWindow, private BoardSession::StartupView {
    Q_OBJECT
public:
    // How long a note stays in the status line.
    static constexpr int kStatusMs = 8000;

    using RunInfo = BoardSession::RunInfo;

    // station must outlive the window; its alert hook is pointed at errAlert.
    TForm1(Station& station, RunInfo run, QWidget* parent = nullptr);
    ~TForm1() override;

    // The dialog seam for every box and prompt of this window, its remark
    // handling and the pick list (created after this window; tests hand a
    // scripted one). Borrowed. Without one no box or prompt is shown.
    void setDialogs(core::Dialogs* dialogs);
    // The main menu's Actions and Options menus, the name pop-up and the
    // tray menu, where the other areas install their commands.
    ui::MenuRegistry& menus() { return *m_menus; }

    // The show-yourself request of a later start: beep, show the notification
    // icon anew, restore and bring the window forward.
    void showYourself();

    // The login panel's OK (also the automatic login of the start-up).
    void loginClicked();
    void logOut();
    void adminLogIn();
    void changePassword();
    void showNames();

    BoardSession& session() { return m_session; }
    bool started() const { return m_session.started(); }
    Board& board() { return m_board; }
    LoginLogic& loginLogic() { return m_login; }
    LocalSettings& settings() { return m_settings; }
    AlertMenu* alertMenu() const { return m_errAlert; }
    BoardGrid* grid() const { return m_grid; }
    HelpViewer* helpViewer();
    // Remark changes, the pick list and Timer222.
    RemarkController& remarkController() { return *m_remarks; }
    PollTimer& pollTimer() { return m_session.pollTimer(); }
    // "&Print Names" (tests choose a PDF file as the printer).
    PrintNamesCommand& printNames() { return *m_printNames; }
    // The exit request (Exit, closing the window) and its panel.
    ExitController* exitController() const { return m_exit; }
    // Timer1's slot (tests call it instead of waiting for the timer).
    void timer1Tick();
    // The new-message check, run by Timer1 on every tick after the names poll.
    void setMessageCheck(std::function<void()> check) { m_session.messageCheck = std::move(check); }
    // The notification icon shows icon (an alert blinking); nullptr gives it
    // back to the board (the icon of the own status).
    void setTrayIcon(const QIcon* icon);
    // The test-only control socket and board dump; nullptr unless switched
    // on by their environment variables (see TestHooks.h).
    TestHooks* testHooks() const { return m_testHooks; }

    // The board window's icon (drawn, no file needed).
    static QIcon boardIcon();

    // For the administration commands (board/AdminWiring).
    // A fresh copy of the names table, repainted; fitted to the rows when asked.
    void reloadFresh(bool fit);
    // After the own options window: the own options record again, the remark
    // list read anew, the menus and columns the options decide, the board.
    void ownOptionsChanged();
    // Every row shown, as "All" of the View menu does.
    void showAllRows();
    // Captions of the View menu's group items (all but "All").
    QStringList viewGroups() const;
    // A View menu item for a group none of its items has yet.
    void addViewGroup(const QString& caption);

signals:
    // The deferred start-up has run (tests wait for it).
    void startupDone();

protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenus();
    void buildLoginPanel();
    void buildTray();
    // A board item or separator of a menu place, at its order.
    QAction* addItem(ui::MenuPlace place, int order, const QString& text, const QKeySequence& key = {});
    void addSeparator(ui::MenuPlace place, int order);
    void postStartup();
    void deferredStartup();
    // BoardSession::StartupView: the window's steps of the start-up.
    void showAlert(const std::vector<std::string>& lines) override;
    void busy(bool on) override;
    void settingsRead(const LocalSettings& settings) override;
    void restoreView(const std::string& filter, const std::array<int, 5>& widths) override;
    void boardLoaded() override;
    void offerName(const std::optional<std::string>& name) override;
    void autoLogin() override { loginClicked(); }
    void loginPanelStays() override;
    void minimise() override { showMinimized(); }
    void startupFinished() override;
    BoardSession::WindowState windowState() const;
    void applyOutcome(const LoginOutcome& outcome);
    void showBoardAfterLogin();
    void updateLoginMenus();
    void saveSettings();
    void reloadBoard(bool freshCopy);
    void rebuildViewMenu();
    void addGroupItem(const QString& caption, const std::string& group, const std::string& shortcut);
    // Fits the window to the rows (and widens it for columns whose text
    // would be cut); naturalWidth: take exactly the width the columns need.
    void fitHeightToRows(bool naturalWidth = false);
    void checkViewItem();
    void fillLoginNames();
    void emptyLoginNames();
    void showContents();
    void showStartingUpHelp();
    void openWeb(const QString& url);
    void toggleOwnRow();
    // After every change of the board: grid, View menu, test dump.
    void repaintBoard();
    // The tray icon and tip after a load (the own status decides the icon).
    void updateTrayFromBoard();
    void setTray(const QIcon& icon, const QString& tip);
    void openBoardWindow();
    void inform(const QString& text);
    void resizeToPanel();
    // The server state and the outcome of the last change in the status
    // bar, and the caption; the bar shows only while it has something to say.
    void showServerState();
    void showWriteStatus(const QString& text);
    void updateStatusBar();
    void updateCaption();
    // Height of the menu bar and, while shown, the status bar.
    int chromeHeight();
    int statusHeight() const;

    Station& m_station;
    // Outlives every widget and controller below (they borrow its objects).
    BoardSession m_session;
    Board& m_board;
    LocalSettings& m_settings;
    LoginLogic& m_login;
    std::unique_ptr<PrintNamesCommand> m_printNames;
    ExitController* m_exit = nullptr;
    bool m_exitRunning = false;
    RemarkController* m_remarks = nullptr;
    TestHooks* m_testHooks = nullptr;
    QTimer* m_timer1 = nullptr;
    core::Dialogs* m_dialogs = nullptr;
    ui::MenuRegistry* m_menus = nullptr;

    bool m_startupPosted = false;

    // Login panel.
    QFrame* m_pwdPanel = nullptr;
    QComboBox* m_loginNames = nullptr;
    QLineEdit* m_edit1 = nullptr;
    QPushButton* m_ok = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_serverState = nullptr; // status bar: offline or damaged table
    QLabel* m_writeStatus = nullptr; // status bar: the last change was not saved
    int m_statusHeight = 0;          // room the status bar takes now

    BoardGrid* m_grid = nullptr;
    AlertMenu* m_errAlert = nullptr;
    HelpViewer* m_help = nullptr;
    QSystemTrayIcon* m_tray = nullptr;

    // Menu items whose state changes.
    QMenu* m_viewMenu = nullptr;
    QActionGroup* m_viewItems = nullptr;
    QActionGroup* m_fontItems = nullptr;
    QAction* m_viewAll = nullptr;
    QMenu* m_quickKeys = nullptr;
    QMenu* m_changeAll = nullptr;
    QAction* m_viewSeparator = nullptr;
    QAction* m_refreshMain = nullptr;
    QAction* m_helpRefresh = nullptr;
    QAction* m_shoDbPath = nullptr;
    QAction* m_ownName = nullptr;
    QAction* m_inItem = nullptr;
    QAction* m_outItem = nullptr;
    QAction* m_trayIn = nullptr;
    QAction* m_trayOut = nullptr;
    QAction* m_changePassword = nullptr;
    QAction* m_logOut = nullptr;
    QList<QAction*> m_groupItems;
};

} // namespace qb::board
