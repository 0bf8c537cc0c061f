// The main window's menu bar: Actions (the board's items; the other areas
// install theirs in between through the MenuRegistry), View (ViewMenu),
// Options (installed by the administration), Refresh, Help, and the own name
// with In and Out. Which login-dependent items show is loginMenuState's
// rule; the items' work is the window's (Hooks).
#pragma once

#include "board/BoardWindowLogic.h"
#include "board/RemarkActions.h"
#include "board/ViewMenu.h"

#include <QKeySequence>
#include <QObject>

#include <functional>

class QAction;
class QMainWindow;
class QMenu;

namespace qb::ui {
class MenuRegistry;
}

namespace qb::board {

class BoardGrid;
class BoardQuickKeys;

class BoardMenus : public QObject {
    Q_OBJECT
public:
    struct Hooks {
        std::function<void()> logOut;
        std::function<void()> adminLogIn;
        std::function<void()> changePassword;
        std::function<void(RemarkActions::ChangeAll)> changeAll;
        std::function<void()> printNames;
        std::function<void()> refresh; // a fresh copy of the board
        std::function<void()> contents;
        std::function<void()> toggleOwnRow;
        std::function<void(bool in)> own;
        std::function<void(const QString&)> inform;
        // Help -> About: the About box with this caption and text.
        std::function<void(const QString& caption, const QString& text)> about;
        ViewMenu::Hooks view;
    };

    // Builds the menu bar of window. Everything borrowed outlives the menus
    // (children of window).
    BoardMenus(QMainWindow* window, ui::MenuRegistry& menus, BoardGrid& grid, BoardQuickKeys& quickKeys, Hooks hooks);

    ViewMenu& view() { return *m_view; }

    // After a login or a logout: the own-name caption and the items
    // loginMenuState shows, then the areas' items by their own rules.
    void applyLogin(const LoginMenuState& state, const QString& ownName);
    // Log Out hides the administrator's items before anything else happens.
    void hideAdminItems();
    // "&Refresh" on the menu bar, as the own options decide.
    void setRefreshVisible(bool visible);
    // Help's Refresh item names the names poll's state.
    void setRefreshCaption(const QString& caption);
    // The data directory shown under Help (administrator).
    void setDbPath(const QString& path);

private:
    QAction* addItem(int order, const QString& text, const QKeySequence& key = {});
    void addSeparator(int order);
    void openWeb(const QString& url);

    QMainWindow* m_window;
    ui::MenuRegistry& m_menus;
    Hooks m_hooks;
    ViewMenu* m_view = nullptr;
    QMenu* m_quickKeys = nullptr;
    QMenu* m_changeAll = nullptr;
    QAction* m_refreshMain = nullptr;
    QAction* m_helpRefresh = nullptr;
    QAction* m_dbPath = nullptr;
    QAction* m_ownName = nullptr;
    QAction* m_in = nullptr;
    QAction* m_out = nullptr;
    QAction* m_changePassword = nullptr;
    QAction* m_logOut = nullptr;
};

} // namespace qb::board
