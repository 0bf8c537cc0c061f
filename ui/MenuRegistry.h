// The main menu's Actions and Options menus, the name pop-up menu of the
// board and the notification icon's menu, filled from what each area
// installs.
//
// How a window of an area adds its commands (without touching the main
// window): its window target offers one function, called by the program's
// entry (board/main.cpp) after the main window exists, for example
//
//   void installMessageMenus(ui::MenuRegistry& menus, ...what its windows need...)
//   {
//       menus.install({.key = ui::menukey::kReadMessages, .place = ui::MenuPlace::Actions,
//                      .order = ui::menuorder::kReadMessages, .text = "&Read Message(s)",
//                      .shortcut = QKeySequence(Qt::CTRL | Qt::Key_R),
//                      .visible = [](const ui::MenuContext& c) { return !c.loggedIn || (!c.admin && !c.option(10)); },
//                      .run = [reader](const ui::MenuContext&) { reader->open(); }});
//   }
//
// The main window installs the items of work not built yet with the same
// keys and no `run`: they show, greyed, with the tooltip kNotInThisVersion.
// Installing a key again replaces that item in place (text, shortcut, rules,
// command), so the menus keep their order. A new key goes by its `order`
// among the items of its place (menuorder below; the board's own items carry
// orders too). Visibility and enabled state follow the item's rules each
// time the main window refreshes (login, logout) and each time a pop-up
// opens; `run` gets the context of that moment (for the name pop-up: the
// clicked person).
//
// Owned by the main window; every QMenu and QAction belongs to the window's
// widget tree. User-interface thread only.
#pragma once

#include <QKeySequence>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <bitset>
#include <functional>
#include <map>
#include <string>

class QAction;
class QMenu;

namespace qb::ui {

enum class MenuPlace {
    Actions,   // main menu "&Actions"
    Options,   // main menu "O&ptions"
    NamePopup, // the pop-up on a name cell (PopupMenu1)
    Tray,      // the notification icon's menu (PopupMenu2)
};

// What the rules and commands see.
struct MenuContext {
    bool loggedIn = false;
    bool admin = false;            // administrator mode
    std::bitset<32> options;       // the logged-in person's option values, by number
    int ownIndex = -1;             // board index of the logged-in person
    int target = -1;               // options target: the last clicked name's board index
    std::string targetName;        // its name (the selected person), at most 40 characters
    bool option(int n) const { return n >= 0 && n < 32 && options[static_cast<std::size_t>(n)]; }
};

struct MenuItem {
    std::string key;          // unique among all places
    MenuPlace place = MenuPlace::Actions;
    int order = 0;            // position among the items of the place
    QString text;
    QKeySequence shortcut;
    QString objectName;
    std::function<bool(const MenuContext&)> visible; // none: always shown
    std::function<bool(const MenuContext&)> enabled; // none: enabled when it has a command
    std::function<void(const MenuContext&)> run;     // none: work of a later version, greyed
};

// Keys of the items other areas make real; the main window installs them
// greyed until then.
namespace menukey {
inline constexpr const char* kReadMessages = "messages.read";          // Actions, Ctrl+R
inline constexpr const char* kAddName = "admin.addName";               // Actions, Ctrl+N
inline constexpr const char* kOptions = "admin.options";               // Options menu
inline constexpr const char* kPopupSendMessage = "messages.popupSend"; // name pop-up
inline constexpr const char* kPopupReadMessage = "messages.popupRead";
inline constexpr const char* kPopupResetPassword = "admin.popupResetPassword";
inline constexpr const char* kPopupChangeName = "admin.popupChangeName";
inline constexpr const char* kPopupRemoveName = "admin.popupRemoveName";
inline constexpr const char* kPopupSetOptions = "admin.popupSetOptions";
inline constexpr const char* kTrayReadMessages = "messages.trayRead";
inline constexpr const char* kTrayOptions = "admin.trayOptions";
} // namespace menukey

// Orders of the board's items and of the places left for the others.
namespace menuorder {
// Actions
inline constexpr int kLogOut = 100;
inline constexpr int kAdminLogIn = 110;
inline constexpr int kChangePassword = 120;
inline constexpr int kSeparator1 = 200;
inline constexpr int kReadMessages = 210;
inline constexpr int kAddName = 220;
inline constexpr int kChangeAll = 230;
inline constexpr int kPrintNames = 240;
inline constexpr int kQuickKeys = 250;
inline constexpr int kSeparator2 = 900;
inline constexpr int kExit = 910;
// Options
inline constexpr int kOptions = 100;
// Name pop-up
inline constexpr int kPopupName = 0;
inline constexpr int kPopupSeparator = 10;
inline constexpr int kPopupSendMessage = 100;
inline constexpr int kPopupReadMessage = 110;
inline constexpr int kPopupPlanner = 200;     // free for the week planner
inline constexpr int kPopupInformation = 210; // free for the information card
inline constexpr int kPopupResetPassword = 300;
inline constexpr int kPopupChangeName = 310;
inline constexpr int kPopupRemoveName = 320;
inline constexpr int kPopupSetOptions = 330;
// Tray
inline constexpr int kTrayOpen = 100;
inline constexpr int kTrayMinimize = 110;
inline constexpr int kTraySeparator1 = 200;
inline constexpr int kTrayReadMessages = 210;
inline constexpr int kTrayIn = 220;
inline constexpr int kTrayOut = 230;
inline constexpr int kTraySeparator2 = 300;
inline constexpr int kTrayOptions = 310;
inline constexpr int kTraySeparator3 = 900;
inline constexpr int kTrayExit = 910;
} // namespace menuorder

class MenuRegistry : public QObject {
    Q_OBJECT
public:
    // Tooltip of an item whose window this version does not have.
    static constexpr const char* kNotInThisVersion = "Not available in this version.";

    explicit MenuRegistry(QObject* parent = nullptr);

    // The menu that holds a place's items (the window's; not owned).
    void attach(MenuPlace place, QMenu* menu);
    QMenu* menu(MenuPlace place) const;

    // Adds the item, or replaces the item already installed under its key
    // in place. Returns its action (owned by the place's menu).
    QAction* install(MenuItem item);
    // An action the window made itself (a submenu, a separator, an item
    // whose state the window keeps) placed by order among installed items.
    void place(MenuPlace place, int order, QAction* action);
    // The installed item's action, or null.
    QAction* action(const std::string& key) const;

    // Where the rules read the state from; the main window sets it.
    void setContextSource(std::function<MenuContext()> source) { m_source = std::move(source); }
    MenuContext context() const;
    // Applies every item's rules (of one place, or of all).
    void refresh();
    void refresh(MenuPlace place);
    // Refreshes the place and pops its menu up at the global position.
    void popup(MenuPlace place, QPoint at);

private:
    struct Entry {
        MenuItem item;
        QPointer<QAction> action;
    };
    void apply(Entry& entry, const MenuContext& ctx);
    void insertOrdered(MenuPlace place, int order, QAction* action);

    std::map<MenuPlace, QPointer<QMenu>> m_menus;
    std::map<std::string, Entry> m_entries;
    std::function<MenuContext()> m_source;
};

// Installs, greyed, the items of the areas whose windows this version does
// not have yet (messaging, options, name administration), so the menus read
// as they will. An area that installs the same key makes its item real.
void installLaterWork(MenuRegistry& menus);

} // namespace qb::ui
