// The main board window: login panel (PwdPanel) or board grid (StringGrid1),
// the menu bar, the alert menu, the status bar and the notification icon.
// The board, its start-up, login and settings live in a BoardSession; each
// part of the window is its own class (LoginPanel, BoardMenus, ViewMenu,
// BoardTray, BoardStatusBar, BoardQuickKeys, WindowFitting). This window
// wires them to the session and turns their commands into its calls.
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

class QTimer;

namespace qb::ui {
class MenuRegistry;
}

namespace qb::board {

class AlertMenu;
class BoardGrid;
class BoardMenus;
class BoardQuickKeys;
class BoardStatusBar;
class BoardTray;
class ExitController;
class HelpViewer;
class LoginPanel;
class PrintNamesCommand;
class RemarkController;
class TestHooks;
class WindowFitting;

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
    void changePassword();

    bool started() const { return m_session.started(); }
    Board& board() { return m_board; }
    LoginLogic& loginLogic() { return m_login; }
    LocalSettings& settings() { return m_settings; }
    AlertMenu* alertMenu() const { return m_errAlert; }
    BoardGrid* grid() const { return m_grid; }
    HelpViewer* helpViewer();
    // Remark changes, the pick list and Timer222.
    RemarkController& remarkController() { return *m_remarks; }
    // "&Print Names" (tests choose a PDF file as the printer).
    PrintNamesCommand& printNames() { return *m_printNames; }
    // The exit request (Exit, closing the window) and its panel.
    ExitController* exitController() const { return m_exit; }
    // Timer1's slot (tests call it instead of waiting for the timer).
    void timer1Tick();
    // The new-message check, run by Timer1 on every tick after the names poll.
    void setMessageCheck(std::function<void()> check) { m_session.messageCheck = std::move(check); }
    // The notification icon shows icon (an alert blinking); nullptr: the board's.
    void setTrayIcon(const QIcon* icon);
    // The test-only control socket and board dump; nullptr unless asked for (TestHooks.h).
    TestHooks* testHooks() const { return m_testHooks; }

    // For the administration commands (board/AdminWiring): a fresh copy of
    // the names table, fitted to the rows when asked; after the own options
    // window, the options record, remark list, menus, columns and board
    // anew; the View menu's "All", its group captions and a new group.
    void reloadFresh(bool fit);
    void ownOptionsChanged();
    void showAllRows();
    QStringList viewGroups() const;
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
    void buildParts();
    void adminLogIn();
    void showNames();
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
    void showHelp(bool contents);
    void toggleOwnRow();
    // After every change of the board: grid, View menu, test dump.
    void repaintBoard();
    void openBoardWindow();
    void inform(const QString& text);
    // The server's state: status bar, caption, the alert for a damaged table.
    void showServerState();
    void updateCaption();

    Station& m_station;
    // Outlives every widget and controller below (they borrow its objects).
    BoardSession m_session;
    Board& m_board;
    LocalSettings& m_settings;
    LoginLogic& m_login;
    std::unique_ptr<PrintNamesCommand> m_printNames;
    std::unique_ptr<WindowFitting> m_fit;
    ExitController* m_exit = nullptr;
    bool m_exitRunning = false;
    RemarkController* m_remarks = nullptr;
    TestHooks* m_testHooks = nullptr;
    QTimer* m_timer1 = nullptr;
    core::Dialogs* m_dialogs = nullptr;
    ui::MenuRegistry* m_menus = nullptr;
    bool m_startupPosted = false;

    LoginPanel* m_panel = nullptr;
    BoardGrid* m_grid = nullptr;
    BoardMenus* m_bar = nullptr;
    BoardQuickKeys* m_quickKeys = nullptr;
    BoardTray* m_tray = nullptr;
    BoardStatusBar* m_status = nullptr;
    AlertMenu* m_errAlert = nullptr;
    HelpViewer* m_help = nullptr;
};

} // namespace qb::board
