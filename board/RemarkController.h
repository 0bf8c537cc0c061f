// The board window's remark handling: the own In/Out (menu bar and tray),
// clicks in the grid's name (the name pop-up menu of the menu registry),
// remark and fourth-column cells, the
// administrator's Change All Remarks and remark-list maintenance, and the
// activity timer Timer222. The rules live in RemarkActions, ActivityWatcher
// and RemarkList; this class asks the user, opens the remark pick list and
// shows the results (tray icon and tip, repaint through boardChanged).
//
// Owned by the main window (QObject child). The station, board, remark
// actions and settings are borrowed and must outlive it. Everything runs on
// the user-interface thread.
#pragma once

#include "admin/RemarkList.h"
#include "board/ActivityWatcher.h"
#include "board/Board.h"
#include "board/LocalSettings.h"
#include "board/RemarkActions.h"
#include "core/Station.h"

#include "core/Dialogs.h"

#include <QIcon>
#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QTimer;
class QWidget;

namespace qb::admin {
class TpickList1;
}
namespace qb::ui {
class MenuRegistry;
}

namespace qb::board {

class HelpViewer;

class RemarkController : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kNotYourName = "This is not your name. Do you want to proceed?";
    static constexpr const char* kChangeAllWarning = "Warning all remarks may change. Proceed?";
    static constexpr const char* kChangeAllPrompt = "Enter remark to be assigned";
    static constexpr const char* kFourthColumnPrompt = "Enter New Text";
    static constexpr int kSelectedNameLimit = 40;
    // The mouse position for the activity timer (QCursor::pos() unless set).
    using CursorFn = std::function<QPoint()>;

    // window: the board window (parent of the dialogs, positions); menus:
    // its menu registry, whose name pop-up opens on a name click.
    RemarkController(Station& station, Board& board, RemarkActions& actions, LocalSettings& settings,
                     QWidget* window, ui::MenuRegistry& menus);
    ~RemarkController() override;

    // The dialog seam (message boxes and prompts); the remark pick list is
    // made with it on first use. Without one, no box, prompt or pick can be
    // shown and clicks that need one do nothing.
    void setDialogs(core::Dialogs* dialogs);

    // --- called by the board window ---------------------------------------------
    // After a repaint is due (a write or load changed the board).
    std::function<void()> boardChanged;
    // New tray icon and tip (tip cut to 63 characters by the receiver).
    std::function<void(const QIcon& icon, const QString& tip)> trayChanged;
    // A note for the status line (why a click changed nothing).
    std::function<void(const QString& text)> statusMessage;
    // "&Help" of the pick list found no topic file.
    std::function<void()> helpMissing;
    // A line for the status bar after a change: why it was not saved, or ""
    // once a change went through.
    std::function<void(const QString& text)> statusChanged;
    // The board's In and Out texts changed (the remark list was read).
    std::function<void()> inOutTextsChanged;

    // The board's font size; the pick list follows it.
    void setListFontSize(int size);

    // Reads the remark list when it has not been read. Whenever the list is
    // read, its In and Out texts become the board's (tray menu captions, own
    // In/Out, the own status after a load).
    void loadRemarkTexts();
    // The own remark to In or Out, chosen by the person (persons only).
    void setOwn(bool in);
    // The same, decided by the activity or overnight rule.
    void setOwnByRule(bool in);
    // A mouse press on a person row's cell (BoardGrid::cellClicked).
    void cellClicked(int boardIndex, int column, Qt::MouseButton button);
    // The name, remark and fourth-column clicks one by one.
    void nameClicked(int boardIndex);
    void remarkClicked(int boardIndex);
    void fourthColumnClicked(int boardIndex);
    // Actions > Change All Remarks (administrator only): confirmation, the
    // prompt for Customize, then the write of every row. Returns the number
    // of rows changed, -1 when nothing was written.
    int changeAll(RemarkActions::ChangeAll kind);
    // The remark list in the administrator's mode. Returns whether it was saved.
    bool maintainList();
    // The overnight step of Timer1: the list is read again at once, so the
    // board follows a list another station changed.
    void clearRemarkList();
    // Timer222's slot: one run of the activity watcher, then its next interval.
    void activityTick();
    // Login and logout start and stop Timer222.
    void startActivityTimer();
    void stopActivityTimer();

    // --- state and seams ----------------------------------------------------------
    int optionsTarget() const { return m_optionsTarget; }
    const std::string& selectedPerson() const { return m_selectedPerson; }
    QMenu* popupMenu1() const;
    QTimer* timer222() const { return m_timer222; }
    ActivityWatcher& watcher() { return m_watcher; }
    admin::RemarkList& remarkList() { return m_list; }
    // The pick list window (made on first use; null without the dialog seam).
    admin::TpickList1* pickList();
    // The help window of the pick list (null until its "&Help" was used).
    HelpViewer* listHelp() const { return m_listHelp; }
    void setCursor(CursorFn fn) { m_cursor = std::move(fn); }

    // Icons of the notification area for the own state.
    static QIcon inIcon();
    static QIcon outIcon();
    static QIcon iconFor(admin::RemarkIcon which);
    // The icon of an own status after a load: In for 1 and 2, Out for 3,
    // the prompt window's for the others.
    static QIcon iconForStatus(int status);

protected:
    // Key presses anywhere in the program count as activity.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void switchOwn(bool in, bool byPerson);
    void takeInOutTexts();
    void reportWrite(WriteResult r, const std::string& text);
    QPoint cursorPos() const;
    void tellRefusal(int boardIndex, bool fourthColumn);
    // Asks whether to change another person's row (the remark and fourth
    // column clicks); selects the row's person first.
    bool confirmOtherRow(int boardIndex);
    void buildPopupMenu();
    void showTray(const QIcon& icon);
    void applyActivityInterval(int ms, bool restart);
    void writeIdle(const std::string& key, const std::string& value);
    void eraseIdle();
    std::string expand(const std::string& text);

    Station& m_station;
    Board& m_board;
    RemarkActions& m_actions;
    LocalSettings& m_settings;
    QWidget* m_window;
    ui::MenuRegistry& m_menus;
    admin::RemarkList m_list;
    core::Dialogs* m_dialogs = nullptr;
    admin::TpickList1* m_pickList = nullptr;
    HelpViewer* m_listHelp = nullptr;
    ActivityWatcher m_watcher;
    QTimer* m_timer222 = nullptr;
    CursorFn m_cursor;
    int m_fontSize = 10;
    QIcon m_trayIcon;

    QAction* m_popupName = nullptr;
    int m_optionsTarget = -1;
    std::string m_selectedPerson;
};

} // namespace qb::board
