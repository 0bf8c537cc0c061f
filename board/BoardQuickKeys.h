// The quick keys of the board window and their hidden "Quick Keys" submenu:
// "1" and "2" set the own remark to the assigned text (placeholders asked
// for), "=" reloads with the next poll due soon, other characters start the
// find box (quickKeyStep decides); "Show Key Assignments" (Ctrl+K) and
// "Set the 1/2 key" assign the texts.
#pragma once

#include "core/Dialogs.h"
#include "core/Station.h"

#include <QObject>

#include <functional>

class QKeyEvent;
class QMenu;
class QWidget;

namespace qb::board {

struct Board;
class BoardGrid;
class LocalSettings;
class LoginLogic;

class BoardQuickKeys : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> repaint;              // the board repainted as it is
        std::function<void(bool freshCopy)> reload; // the board loaded anew
        std::function<void(const QString&)> inform; // an information box
        std::function<void()> keyTyped;             // a character key (clears a notification icon)
    };

    // Everything borrowed must outlive this object (a child of window).
    BoardQuickKeys(QWidget* window, Station& station, Board& board, LoginLogic& login, LocalSettings& settings,
                   BoardGrid& grid, Hooks hooks);

    // Borrowed; without one nothing is asked.
    void setDialogs(core::Dialogs* dialogs) { m_dialogs = dialogs; }
    // The "&Quick Keys" submenu, hidden as shipped (Ctrl+K works all the
    // same: its item is also one of window's actions).
    QMenu* makeMenu(QMenu* parent);
    // A key pressed in the window; false when it is not a quick key's.
    bool keyPressed(QKeyEvent* event);

private:
    void setRemark(const std::string& text);

    QWidget* m_window;
    Station& m_station;
    Board& m_board;
    LoginLogic& m_login;
    LocalSettings& m_settings;
    BoardGrid& m_grid;
    Hooks m_hooks;
    core::Dialogs* m_dialogs = nullptr;
};

} // namespace qb::board
