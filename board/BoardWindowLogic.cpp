#include "BoardWindowLogic.h"

#include <algorithm>

namespace qb::board {

LoginMenuState loginMenuState(bool loggedIn, bool adminMode)
{
    const bool admin = loggedIn && adminMode;
    LoginMenuState s;
    s.inOut = loggedIn && !admin;
    s.changePassword = loggedIn;
    s.logOut = loggedIn;
    s.changeAll = admin;
    s.dbPath = admin;
    return s;
}

std::string boardCaption(ServerState state)
{
    std::string caption = "Quellboard Pro";
    switch (state) {
    case ServerState::Reachable: break;
    case ServerState::Unreachable: caption += " \u2014 server not reachable"; break;
    case ServerState::Damaged: caption += " \u2014 names table damaged"; break;
    }
    return caption;
}

TrayIcon trayIconFor(bool iconGiven, bool loggedIn, bool adminMode)
{
    if (iconGiven)
        return TrayIcon::Given;
    return loggedIn && !adminMode ? TrayIcon::OwnStatus : TrayIcon::Board;
}

bool trayFollowsBoard(bool loggedIn, bool adminMode, const std::string& hint)
{
    return loggedIn && !adminMode && !hint.empty();
}

TrayResponse trayResponse(TrayActivation activation, bool windowVisible, bool windowActive)
{
    if (activation == TrayActivation::Click && windowVisible && windowActive)
        return TrayResponse::Hide;
    if (activation == TrayActivation::Click || activation == TrayActivation::DoubleClick)
        return TrayResponse::Open;
    return TrayResponse::None;
}

int fittedWidth(const FitInput& in, int columnsWidth, bool naturalWidth)
{
    if (in.maximised)
        return in.width;
    const int natural = std::min(columnsWidth, in.screenWidth - in.decoration);
    return naturalWidth ? natural : std::max(in.width, natural);
}

FitMove fittedMove(const FitInput& in, int width, bool capped)
{
    const int screenRight = in.screenLeft + in.screenWidth - 1;
    const int left = std::max(in.screenLeft, std::min(in.x, screenRight + 1 - width - in.decoration));
    FitMove m;
    m.move = capped || left != in.x;
    m.left = left;
    m.top = capped ? in.screenTop : in.y;
    return m;
}

int loginPanelWidth(int panelWidth, int labelLeft, int labelWidth)
{
    return std::max(4 * labelLeft + labelWidth, panelWidth);
}

int statusBarHeight(int shownLinesHeight, int shownLines, bool messageShown, int barHint)
{
    const int lines = shownLinesHeight + 2 * shownLines;
    if (lines == 0 && !messageShown)
        return 0;
    return std::max(lines + 6, barHint);
}

} // namespace qb::board
