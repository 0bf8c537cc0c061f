// The main window's decisions that need no display: which login-dependent
// menu items show, the caption for the server's state, what the
// notification icon shows and does on a click, and how the window is fitted
// to the board's rows and columns. The widgets (BoardMenus, BoardTray,
// WindowFitting) ask these and only carry the answer out.
#pragma once

#include "board/NamesTable.h"

#include <string>

namespace qb::board {

// Login-dependent items of the main menu and the tray menu.
struct LoginMenuState {
    bool inOut = false;          // In and Out (menu bar and tray): a person, never the administrator
    bool changePassword = false; // anyone logged in
    bool logOut = false;
    bool changeAll = false; // "Change All Remarks": the administrator only
    bool dbPath = false;    // the data directory under Help: the administrator only
    bool operator==(const LoginMenuState&) const = default;
};
LoginMenuState loginMenuState(bool loggedIn, bool adminMode);

// The window caption: the program's title, and what is wrong with the
// shared names table while something is (UTF-8).
std::string boardCaption(ServerState state);

// What the notification icon shows.
enum class TrayIcon {
    Given,     // an icon a caller hands in (an alert blinking)
    OwnStatus, // the logged-in person's In/Out/other icon
    Board,     // the program's icon
};
TrayIcon trayIconFor(bool iconGiven, bool loggedIn, bool adminMode);
// Whether a load of the board passes the own status and its tip to the icon.
bool trayFollowsBoard(bool loggedIn, bool adminMode, const std::string& hint);

enum class TrayActivation { Click, DoubleClick, Other };
enum class TrayResponse { None, Hide, Open };
// A click hides a window that is in front, and brings it up otherwise.
TrayResponse trayResponse(TrayActivation activation, bool windowVisible, bool windowActive);

// ---- fitting ----------------------------------------------------------------

// The window and its screen when the window is fitted to the board.
struct FitInput {
    int screenLeft = 0;
    int screenTop = 0;
    int screenWidth = 1280;
    int screenHeight = 800;
    int x = 0; // window position (frame) and client width
    int y = 0;
    int width = 0;
    int decoration = 0; // frame width minus client width
    bool maximised = false;
};

// The client width: every column whole as far as the screen allows
// (columnsWidth: what the columns need). A larger font widens the window;
// naturalWidth takes exactly the columns' width, so a smaller one narrows it
// again. A maximised window keeps its width.
int fittedWidth(const FitInput& in, int columnsWidth, bool naturalWidth);

struct FitMove {
    bool move = false;
    int left = 0;
    int top = 0;
    bool operator==(const FitMove&) const = default;
};
// A window grown past the screen's right edge moves left to show it all; one
// whose rows were capped to the screen's height moves to the screen's top.
FitMove fittedMove(const FitInput& in, int width, bool capped);

// The login panel's window width: the panel, or the greeting label with
// three times its left margin of room, whichever is wider.
int loginPanelWidth(int panelWidth, int labelLeft, int labelWidth);

// The room the status bar takes: none while it has nothing to say, else
// its shown lines (each with 2 pixels of spacing) plus the frame, at least
// the bar's own height.
int statusBarHeight(int shownLinesHeight, int shownLines, bool messageShown, int barHint);

} // namespace qb::board
