// One running board without its window: the board's logic objects, the
// program's start-up sequence, the automatic-login rule and the mapping
// between the local settings file and the board. The main window (TForm1)
// builds the widgets and turns what this object does into what the user
// sees; a test drives this object with no display at all.
//
// Life: made with the main window; created() runs when the window exists
// (its handle goes into the settings file); runStartup() is the deferred
// start-up, posted by the window after it is first shown or activated, and
// again after every logout.
#pragma once

#include "admin/ConfigTable.h"
#include "board/Board.h"
#include "board/LocalSettings.h"
#include "board/LoginLogic.h"
#include "board/NamesTable.h"
#include "board/PollTimer.h"
#include "board/RemarkLog.h"
#include "core/Station.h"

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb::board {

class BoardSession {
public:
    // What the entry knows about this run.
    struct RunInfo {
        std::string workstationDir; // qb3local.ini
        std::string desktopDir;     // its fallback
        std::string userName;       // operating-system user
        std::string programPath;
        std::string commandLine;
    };

    // The window's side of the deferred start-up. runStartup() calls these in
    // the order the user sees them; each is one step of the window.
    class StartupView {
    public:
        virtual ~StartupView() = default;
        // The three-line alert (settings file not writable, names table missing).
        virtual void showAlert(const std::vector<std::string>& lines) = 0;
        // Hourglass cursor on (true) and off.
        virtual void busy(bool on) = 0;
        // The settings were read and the board's options set from them: font
        // size, the saved password into the password box, window position
        // and size (at least room for the login panel).
        virtual void settingsRead(const LocalSettings& settings) = 0;
        // Before the first load: the view filter ("~~" never survives a
        // restart) and the five column widths.
        virtual void restoreView(const std::string& filter, const std::array<int, 5>& widths) = 0;
        // The board was loaded: repaint, lay out the columns, show the
        // notification icon with the In and Out captions.
        virtual void boardLoaded() = 0;
        // The login panel takes OK from now on; name goes into LoginNames
        // (nullopt: leave the box as the user left it after a logout).
        virtual void offerName(const std::optional<std::string>& name) = 0;
        // The automatic login: OK with the boxes as they are now.
        virtual void autoLogin() = 0;
        // Nobody is logged in after the start-up: the panel's greeting.
        virtual void loginPanelStays() = 0;
        // Option 19: the program starts minimised.
        virtual void minimise() = 0;
        // The start-up is over (the window fits a filtered board, tells tests).
        virtual void startupFinished() = 0;
    };

    // What the window knows when the settings are saved.
    struct WindowState {
        std::string filter;
        int fontSize = 10;
        std::array<int, 5> columnWidths {};
        int top = 20;
        int left = 20;
        int width = 610;
        std::optional<int> height; // only while the board (not the login panel) shows
        bool minimised = false;
    };

    // station must outlive the session.
    BoardSession(Station& station, RunInfo run);
    BoardSession(const BoardSession&) = delete;
    BoardSession& operator=(const BoardSession&) = delete;

    // The main window exists: the names poll takes the table's current age,
    // the poll counter starts at 0, and the writability test of the settings
    // file records windowHandle under [SYS] H.
    void created(long long windowHandle);

    // Whether the deferred start-up is still to run (after the start and
    // after every logout).
    bool startupPending() const { return !m_started; }
    // The deferred start-up, in this order: the "Started" event-log entry;
    // the alert when the settings file cannot be written; settings read
    // (the site's settings only at the first start) and colour locks; the
    // alert when qb3.dbf is missing; filter and widths; a fresh copy of the
    // names table loaded; the automatic login (see autoLoginFor); option 19.
    // Does nothing and returns false when it has already run.
    bool runStartup(StartupView& view);

    // The automatic login at start-up: only with a last name that is not
    // "Admin" (any case), and never right after an explicit logout, or a
    // saved password would undo every logout.
    static bool autoLoginFor(const std::string& lastName, bool afterLogout);

    // OK of the login panel. A completed login counts as the start-up: the
    // one a logout left pending would reset the window under the user.
    LoginOutcome login(const std::string& name, const std::string& typedPassword);
    // Log Out: when someone is logged in and the board shows, saves the
    // settings first and lets the next activation run the start-up again
    // (without the automatic login).
    void logout(bool boardShown, const WindowState& window);

    // Settings -> board: the cached option values and rights, the
    // message-check interval, the last login name and the saved password.
    void applySettings();
    // Board and window -> settings file, in one rewrite.
    void saveSettings(const WindowState& window);

    // A load of the names table (freshCopy: copy the shared table to the
    // mirror first).
    void reload(bool freshCopy) { m_names.load(freshCopy); }
    // The own configuration record again (after the own options window).
    void reloadOwnOptions(admin::MenuEffects* effects = nullptr);
    // Timer1: the overnight step, the names poll, the new-message check.
    void tick() { m_poll.tick(m_login.loggedIn()); }

    // The window's part of a poll (set before Timer1 runs).
    struct PollHooks {
        std::function<void()> setOwnOut;
        std::function<void()> clearRemarkList;
        std::function<void()> boardReloaded;
    };
    PollHooks pollHooks;
    // The new-message check, run on every tick after the names poll.
    std::function<void()> messageCheck;

    Station& station() { return m_station; }
    const RunInfo& run() const { return m_run; }
    Board& board() { return m_board; }
    RemarkLog& remarkLog() { return m_remarkLog; }
    NamesTable& names() { return m_names; }
    admin::ConfigTable& config() { return m_config; }
    LocalSettings& settings() { return m_settings; }
    LoginLogic& login() { return m_login; }
    PollTimer& pollTimer() { return m_poll; }
    bool started() const { return m_started; }

private:
    PollTimer::Hooks forwardingHooks();

    // Declared in the order they borrow each other: each member uses only
    // those above it, and they go in the reverse order.
    Station& m_station;
    RunInfo m_run;
    Board m_board;
    RemarkLog m_remarkLog;
    NamesTable m_names;
    admin::ConfigTable m_config;
    LocalSettings m_settings;
    LoginLogic m_login;
    PollTimer m_poll;

    bool m_started = false;
    bool m_afterLogout = false; // an explicit logout: no automatic login until the next start
    bool m_siteRead = false;
};

} // namespace qb::board
