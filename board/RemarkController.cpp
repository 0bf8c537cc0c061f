#include "RemarkController.h"

#include "admin/TpickList1.h"
#include "board/BoardView.h"
#include "board/HelpViewer.h"
#include "planner/TPickDT.h"
#include "platform/Profile.h"
#include "ui/MenuRegistry.h"
#include "ui/PaintedIcons.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace qb::board {

namespace {

constexpr const char* kIdleSection = "idle";

QString q(const std::string& s) { return QString::fromStdString(s); }

// Parks the names poll while a click or command is handled and gives it its
// old value back afterwards, whatever the writes in between set.
class PollHold {
public:
    explicit PollHold(Board& board) : m_board(board), m_saved(board.pollCounter) { board.pollCounter = kPollParked; }
    ~PollHold() { m_board.pollCounter = m_saved; }
    PollHold(const PollHold&) = delete;
    PollHold& operator=(const PollHold&) = delete;

private:
    Board& m_board;
    int m_saved;
};

} // namespace

RemarkController::RemarkController(Station& station, Board& board, RemarkActions& actions, LocalSettings& settings,
                                   QWidget* window, ui::MenuRegistry& menus)
    : QObject(window), m_station(station), m_board(board), m_actions(actions), m_settings(settings), m_window(window),
      m_menus(menus),
      m_list(station.engine, station.dataPath(admin::RemarkList::kFileName)),
      m_watcher(station.clock, board,
                ActivityWatcher::Hooks {
                    [this] {
                        const QPoint p = cursorPos();
                        return ActivityWatcher::Point {p.x(), p.y()};
                    },
                    [this] { setOwnByRule(true); },
                    [this] {
                        // Unchanged text in white: others see the person is idle.
                        const auto i = static_cast<std::size_t>(m_board.ownIndex);
                        if (m_board.ownIndex > 0 && i < m_board.remarks.size()) {
                            const std::string text = m_board.remarks[i];
                            reportWrite(m_actions.setOwnRemark(text, 'w', true), text);
                            showTray(m_trayIcon);
                            if (boardChanged)
                                boardChanged();
                        }
                    },
                    [this] { setOwnByRule(false); },
                    [this] { eraseIdle(); },
                    [this](const std::string& key, const std::string& value) { writeIdle(key, value); },
                })
{
    m_actions.expand = [this](const std::string& text) { return expand(text); };
    m_timer222 = new QTimer(this);
    m_timer222->setObjectName(QStringLiteral("Timer222"));
    m_timer222->setInterval(m_watcher.intervalMs());
    connect(m_timer222, &QTimer::timeout, this, &RemarkController::activityTick);
    m_list.onLoaded = [this] { takeInOutTexts(); };
    buildPopupMenu();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installEventFilter(this);
}

bool RemarkController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress)
        m_watcher.noteActivity();
    return QObject::eventFilter(watched, event);
}

RemarkController::~RemarkController()
{
    // The list window uses m_list; it goes first.
    m_list.onLoaded = nullptr;
    delete m_pickList;
    m_actions.expand = nullptr;
}

void RemarkController::setDialogs(core::Dialogs* dialogs)
{
    if (dialogs == m_dialogs)
        return;
    m_dialogs = dialogs;
    delete m_pickList;
    m_pickList = nullptr;
    m_listHelp = nullptr; // went with the list
}

admin::TpickList1* RemarkController::pickList()
{
    if (!m_pickList && m_dialogs) {
        m_pickList = new admin::TpickList1(m_list, *m_dialogs, m_station.clock, m_window);
        m_pickList->setObjectName(QStringLiteral("pickList1"));
        m_pickList->setListFontSize(m_fontSize);
        connect(m_pickList, &admin::TpickList1::helpRequested, this, [this](const QString& topic) {
            // A window of the modal list itself: the board's own help window
            // would be blocked by the list until it closes.
            if (!m_listHelp)
                m_listHelp = new HelpViewer(m_pickList);
            if (!m_listHelp->showTopic({HelpViewer::localHelpDir(), HelpViewer::fixedHelpDir()}, topic) &&
                helpMissing)
                helpMissing();
        });
    }
    return m_pickList;
}

void RemarkController::setListFontSize(int size)
{
    // The list window empties its list on a font change; the same size
    // again (every start-up sets it) must not take the list from under an
    // open window.
    if (size == m_fontSize)
        return;
    m_fontSize = size;
    if (m_pickList)
        m_pickList->setListFontSize(size);
}

void RemarkController::buildPopupMenu()
{
    // The name heads the menu; the areas install their commands below it.
    QMenu* menu = popupMenu1();
    m_popupName = new QAction(menu);
    m_popupName->setObjectName(QStringLiteral("PopupName"));
    m_menus.place(ui::MenuPlace::NamePopup, ui::menuorder::kPopupName, m_popupName);
    auto* separator = new QAction(menu);
    separator->setSeparator(true);
    m_menus.place(ui::MenuPlace::NamePopup, ui::menuorder::kPopupSeparator, separator);
}

QMenu* RemarkController::popupMenu1() const
{
    return m_menus.menu(ui::MenuPlace::NamePopup);
}

// ---- own remark ----------------------------------------------------------------

void RemarkController::loadRemarkTexts()
{
    m_list.ensureLoaded();
    takeInOutTexts();
}

void RemarkController::takeInOutTexts()
{
    if (m_board.inText == m_list.inText() && m_board.outText == m_list.outText())
        return;
    m_board.inText = m_list.inText();
    m_board.outText = m_list.outText();
    if (inOutTextsChanged)
        inOutTextsChanged();
}

std::string RemarkController::expand(const std::string& text)
{
    if (!m_dialogs || text.find_first_of("<{") == std::string::npos)
        return text;
    admin::ExpandResult r = admin::RemarkList::expandPlaceholders(
        q(text), m_station.clock, *m_dialogs, m_board.options[admin::opt::kInternationalDates]);
    return r.text.toStdString();
}

void RemarkController::setOwn(bool in)
{
    switchOwn(in, true);
}

void RemarkController::setOwnByRule(bool in)
{
    switchOwn(in, false);
}

void RemarkController::switchOwn(bool in, bool byPerson)
{
    if (m_board.adminMode || m_board.ownIndex <= 0)
        return;
    if (byPerson)
        m_watcher.explicitChange();
    m_actions.activityIntervalMs = 0;
    const WriteResult r = in ? m_actions.setIn() : m_actions.setOut();
    // After a failed write the reload has put the server's remark back, with
    // its status and tip: the icon follows that, not the wish.
    showTray(r == WriteResult::Ok ? (in ? inIcon() : outIcon()) : iconForStatus(m_board.ownStatus));
    reportWrite(r, in ? m_board.inText : m_board.outText);
    if (m_actions.activityIntervalMs > 0)
        applyActivityInterval(m_actions.activityIntervalMs, false);
    m_actions.activityIntervalMs = 0;
    if (boardChanged)
        boardChanged();
}

void RemarkController::reportWrite(WriteResult r, const std::string& text)
{
    if (statusChanged)
        statusChanged(q(RemarkActions::notSavedText(r, text)));
}

void RemarkController::showTray(const QIcon& icon)
{
    m_trayIcon = icon;
    if (trayChanged)
        trayChanged(icon, q(m_board.trayHint));
}

// ---- cell clicks -----------------------------------------------------------------

void RemarkController::cellClicked(int boardIndex, int column, Qt::MouseButton button)
{
    if (button != Qt::LeftButton || m_board.ownIndex < 0 || !m_board.isShown(boardIndex))
        return;
    switch (column) {
    case BoardView::kNameColumn: nameClicked(boardIndex); break;
    case BoardView::kRemarkColumn: remarkClicked(boardIndex); break;
    case BoardView::kMiscColumn: fourthColumnClicked(boardIndex); break;
    default: break; // group: the grid's filter rule; date/time: nothing
    }
}

void RemarkController::nameClicked(int boardIndex)
{
    const std::string& name = m_board.names[static_cast<std::size_t>(boardIndex)];
    m_selectedPerson = QString::fromStdString(name).left(kSelectedNameLimit).toStdString();
    m_optionsTarget = boardIndex;
    m_popupName->setText(q(m_selectedPerson));
    m_menus.popup(ui::MenuPlace::NamePopup, cursorPos() - QPoint(30, 35));
}

void RemarkController::remarkClicked(int boardIndex)
{
    if (!m_actions.mayChangeRow(boardIndex)) {
        tellRefusal(boardIndex, false);
        return;
    }
    if (m_board.adminMode) {
        // The administrator's list has the maintenance panel, not picking.
        maintainList();
        return;
    }
    admin::TpickList1* list = pickList();
    if (!list)
        return;
    PollHold hold(m_board);
    const auto i = static_cast<std::size_t>(boardIndex);
    if (!confirmOtherRow(boardIndex))
        return;
    std::optional<admin::PickResult> picked = list->pick(q(m_board.names[i]), q(m_board.remarks[i]), m_board.options,
                                                         m_window->frameGeometry().topLeft());
    if (!picked)
        return;
    // Every pick sets the activity timer to 5 s; an Out pick restarts it
    // with 5 minutes, so the person is not set In again straight away.
    applyActivityInterval(picked->activityIntervalMs, false);
    if (picked->restartActivityTimer)
        applyActivityInterval(admin::RemarkList::kOutTimerMs, true);
    // The board's row may have moved while the list was open.
    if (!m_board.isShown(boardIndex))
        return;
    RemarkActions::Picked p {picked->text, picked->color, picked->inUse, picked->type};
    if (boardIndex == m_board.ownIndex)
        m_watcher.explicitChange();
    WriteResult r = m_actions.applyPickedRemark(boardIndex, p);
    reportWrite(r, picked->text);
    if (r == WriteResult::Ok && boardIndex == m_board.ownIndex)
        showTray(iconFor(picked->icon));
    if (r == WriteResult::Ok && boardChanged)
        boardChanged();
}

void RemarkController::fourthColumnClicked(int boardIndex)
{
    if (!m_actions.mayEditFourthColumn(boardIndex)) {
        tellRefusal(boardIndex, true);
        return;
    }
    if (!m_dialogs)
        return;
    PollHold hold(m_board);
    const auto i = static_cast<std::size_t>(boardIndex);
    if (!confirmOtherRow(boardIndex))
        return;
    auto text = m_dialogs->askText(m_board.names[i], kFourthColumnPrompt, false, m_board.miscs[i]);
    if (!text || !m_board.isShown(boardIndex))
        return;
    const WriteResult r = m_actions.applyFourthColumn(boardIndex, *text);
    reportWrite(r, QString::fromStdString(*text).trimmed().toStdString());
    if (r == WriteResult::Ok && boardChanged)
        boardChanged();
}

// ---- administrator ---------------------------------------------------------------

int RemarkController::changeAll(RemarkActions::ChangeAll kind)
{
    if (!m_board.adminMode || !m_dialogs)
        return -1;
    const QPoint at = m_window->frameGeometry().topLeft() + QPoint(50, 30);
    if (!m_dialogs->confirm(kChangeAllWarning, core::Dialogs::Buttons::OkCancel, core::ScreenPoint {at.x(), at.y()}))
        return -1;
    std::string custom;
    if (kind == RemarkActions::ChangeAll::Custom) {
        auto text = m_dialogs->askText("Change All Remarks", kChangeAllPrompt, false);
        if (!text)
            return -1;
        custom = *text;
    }
    PollHold hold(m_board);
    const int changed = m_actions.changeAllRemarks(kind, custom);
    if (boardChanged)
        boardChanged();
    return changed;
}

bool RemarkController::maintainList()
{
    admin::TpickList1* list = pickList();
    if (!m_board.adminMode || !list)
        return false;
    const bool saved = list->maintain(0, m_window->frameGeometry().topLeft());
    // Renamed In or Out entries are the board's In and Out texts from now on.
    loadRemarkTexts();
    return saved;
}

void RemarkController::clearRemarkList()
{
    m_list.clear();
    m_list.ensureLoaded();
}

// ---- Timer222 ----------------------------------------------------------------------

void RemarkController::startActivityTimer()
{
    m_timer222->start(m_watcher.intervalMs());
}

void RemarkController::stopActivityTimer()
{
    m_timer222->stop();
}

void RemarkController::applyActivityInterval(int ms, bool restart)
{
    m_watcher.setIntervalMs(ms);
    if (!m_timer222->isActive() && !restart)
        m_timer222->setInterval(ms);
    else
        m_timer222->start(ms); // a running timer counts the new interval from now
}

void RemarkController::activityTick()
{
    // Only a logged-in person has an own remark to switch.
    if (m_board.adminMode || m_board.ownIndex <= 0)
        return;
    m_watcher.tick();
    if (m_timer222->interval() != m_watcher.intervalMs())
        m_timer222->setInterval(m_watcher.intervalMs());
}

void RemarkController::eraseIdle()
{
    platform::Profile ini(m_settings.path(), platform::Profile::Options {platform::Profile::LineEnd::Lf, true});
    if (ini.eraseSection(kIdleSection) != 0)
        m_station.log.error(LocalSettings::kWriteFailure);
}

void RemarkController::writeIdle(const std::string& key, const std::string& value)
{
    platform::Profile ini(m_settings.path(), platform::Profile::Options {platform::Profile::LineEnd::Lf, true});
    if (ini.writeString(kIdleSection, key, value) != 0)
        m_station.log.error(LocalSettings::kWriteFailure);
}

// ---- helpers -------------------------------------------------------------------------

void RemarkController::tellRefusal(int boardIndex, bool fourthColumn)
{
    // Rather than a click that seems to do nothing.
    const std::string why = m_actions.refusal(boardIndex, fourthColumn);
    if (!why.empty() && statusMessage)
        statusMessage(q(why));
}

QPoint RemarkController::cursorPos() const
{
    return m_cursor ? m_cursor() : QCursor::pos();
}

bool RemarkController::confirmOtherRow(int boardIndex)
{
    const auto i = static_cast<std::size_t>(boardIndex);
    m_selectedPerson = QString::fromStdString(m_board.names[i]).left(kSelectedNameLimit).toStdString();
    if (!m_actions.mustConfirmOtherRow(boardIndex))
        return true;
    if (!m_dialogs)
        return false;
    const QPoint at = cursorPos() - QPoint(40, 30);
    return m_dialogs->confirm(kNotYourName, core::Dialogs::Buttons::YesNo, core::ScreenPoint {at.x(), at.y()});
}

QIcon RemarkController::inIcon()
{
    return ui::icons::lamp(QColor(0, 200, 0));
}

QIcon RemarkController::outIcon()
{
    return ui::icons::lamp(QColor(230, 0, 0));
}

QIcon RemarkController::iconForStatus(int status)
{
    if (status == remark::kOut)
        return outIcon();
    if (status == remark::kIn || status == remark::kInUnavailable)
        return inIcon();
    return iconFor(admin::RemarkIcon::Prompt);
}

QIcon RemarkController::iconFor(admin::RemarkIcon which)
{
    switch (which) {
    case admin::RemarkIcon::Info: return ui::icons::card();
    case admin::RemarkIcon::PickList: return admin::TpickList1::pickListIcon();
    case admin::RemarkIcon::Prompt: break;
    }
    return planner::TPickDT::promptIcon();
}

} // namespace qb::board
