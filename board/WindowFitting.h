// Sizes and places the main window: to the login panel, to the saved
// geometry after the settings are read and after a login, and to the
// board's rows and columns after every change of what the board shows.
// The arithmetic is BoardWindowLogic's; this class reads the widgets and the
// screen and applies the result.
#pragma once

#include <QRect>

class QMainWindow;

namespace qb::board {

class BoardGrid;
class BoardStatusBar;
class LocalSettings;
class LoginPanel;

class WindowFitting {
public:
    // All borrowed; they must outlive this object.
    WindowFitting(QMainWindow& window, BoardGrid& grid, LoginPanel& panel, BoardStatusBar& status);

    // Fits the window to the rows (and widens it for columns whose text
    // would be cut); naturalWidth: take exactly the width the columns need.
    // Nothing while the login panel shows.
    void toRows(bool naturalWidth = false);
    // Just the login panel.
    void toPanel();
    // The saved place and size, with at least room for the login panel and
    // the find box.
    void toSettings(const LocalSettings& settings);
    // The saved width and height after a login (the administrator keeps the
    // current height), then fitted to the rows.
    void afterLogin(const LocalSettings& settings, bool adminMode);

private:
    QRect screen() const;
    // Height of the menu bar and, while shown, the status bar.
    int chromeHeight() const;

    QMainWindow& m_window;
    BoardGrid& m_grid;
    LoginPanel& m_panel;
    BoardStatusBar& m_status;
};

} // namespace qb::board
