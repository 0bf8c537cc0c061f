// The exit request of the board window (Exit of the menus, closing the
// window): parks the names poll, asks with the exit panel when the options
// want it, and writes the remark left behind. The rules are ExitLogic's;
// this class shows the panel in place of the grid and waits for the answer.
//
// Owned by the board window (QObject child); station, board and log are
// borrowed and must outlive it.
#pragma once

#include "board/ExitLogic.h"

#include <QObject>
#include <QSize>

#include <functional>

class QMainWindow;
class QWidget;

namespace qb::board {

class ExitPanel;

class ExitController : public QObject {
    Q_OBJECT
public:
    // What the window lends the sequence.
    struct Hooks {
        std::function<bool()> loggedIn;
        std::function<void()> saveSettings;
        std::function<InOutRemarks()> remarks; // the remark list's In and Out
        std::function<void()> answeredYes;     // the activity timer's long interval
    };

    // The panel goes into window's central widget, in place of content
    // (the grid) while it shows.
    ExitController(Station& station, Board& board, RemarkLog& log, QMainWindow* window, QWidget* content,
                   Hooks hooks);

    ExitLogic& logic() { return m_logic; }
    ExitPanel* panel() const { return m_panel; }

    // Runs the request; true when the program is to end (the window is then
    // hidden and the remark written), false when the user stays ("&No"): the
    // board is back with the size it had.
    bool request();

private:
    Station& m_station;
    Board& m_board;
    ExitLogic m_logic;
    QMainWindow* m_window;
    QWidget* m_content;
    ExitPanel* m_panel;
    Hooks m_hooks;
};

} // namespace qb::board
