// Remark changes in the main window as a user makes them: clicks in remark,
// name and fourth-column cells with their permission rules and question,
// the remark pick list, Change All Remarks, the own-name item, the remark
// log, and the two timers driven by calling their slots with a fake clock.
#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "admin/TpickList1.h"
#include "board/BoardGrid.h"
#include "board/HelpViewer.h"
#include "board/RemarkController.h"
#include "board/TForm1.h"
#include "core/Colors.h"
#include "engine/TTzDbf.h"
#include "tests/support/BoardWindowStation.h"
#include "platform/EventLog.h"
#include "platform/Profile.h"
#include "tools/DataDirCommands.h"
#include "tests/support/FakeClock.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTextBrowser>
#include <QSignalSpy>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <map>
#include <memory>
#include <sstream>

using namespace qb;
using board::RemarkController;
using board::TForm1;

namespace {

platform::LocalTime localAt(int hour, int minute, int second = 0)
{
    return test::localTime(2026, 12, 8, hour, minute, second);
}

struct LogRow {
    std::string ident, name, colname, text, time;
};

} // namespace

class BoardRemarksTest : public QObject, private qb::testing::BoardWindowStation {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void withoutOptionOneOnlyTheOwnRowChanges();
    void optionTwoAsksBeforeAnotherPersonsRemark();
    void cancelledPickChangesNothing();
    void optionTwentyLocksTheFourthColumnForPersonsOnly();
    void pickListHelpOpensItsTopicAboveTheList();
    void nameClickOpensThePopupMenuForThatPerson();
    void ownNameItemTogglesTheOwnRowFilter();
    void trayInAndOutSetTheOwnRemarkAndIcon();
    void changeInToOutThroughTheMenu();
    void customizeRemarkAsksForTheText();
    void administratorsRemarkClickOpensTheListMaintenance();
    void remarkLogFollowsOptionThirteen();
    void timer222DoesNothingWithOptionSeventeenOff();
    void timer222SwitchesOnActivityAndWritesIdleNotes();
    void overnightSetsOutWithOptionSeventeen();
    void explicitOutStaysUntilActivityAfterIt();
    void inAndOutFollowTheListWheneverItIsRead();
    void failedInLeavesStatusAndTipWithTheStoredRemark();

private:
    void makeForm();
    void loginAs(const QString& name);
    void writeRemark(int boardIndex, const std::string& text);
    std::string sharedRemark(int boardIndex);
    std::string remark(int boardIndex) const { return m_form->board().remarks[static_cast<std::size_t>(boardIndex)]; }
    int entryIndex(const std::string& text);
    // Picks entry `entry` in the pick list as soon as it shows (-1: Cancel);
    // sets *shown when it did show.
    void pickWhenShown(int entry, bool* shown = nullptr);
    void clickRemark(int boardIndex)
    {
        emit m_form->grid()->cellClicked(boardIndex, board::BoardView::kRemarkColumn, Qt::LeftButton);
    }
    QAction* action(const QString& text) const;
    std::vector<LogRow> logRows(const std::string& file);

    test::FakeClock m_clock;
    std::map<std::string, int> m_index;
    QPoint m_cursor {100, 100};
};

void BoardRemarksTest::init()
{
    m_clock.set(platform::fromLocal(localAt(10, 0)));
    QVERIFY(makeStation(m_clock));
    m_index.clear();
    for (const auto& [name, group] : std::vector<std::pair<std::string, std::string>> {
             {"Bob", "Sales"}, {"Carol", "Sales"}, {"Dave", "Support"}, {"Eve", "Support"}}) {
        admin::AddedName added;
        QCOMPARE(admin::addName(*m_station, name, group, &added), admin::AddNameResult::Ok);
        m_index[name] = added.boardIndex;
        setOption(added.boardIndex, admin::opt::kAutoLogin, true);
    }
    setOption(0, admin::opt::kAutoLogin, true);
    m_cursor = QPoint(100, 100);
}

void BoardRemarksTest::cleanup()
{
    dropStation();
}

void BoardRemarksTest::makeForm()
{
    makeWindow();
    RemarkController& rc = m_form->remarkController();
    rc.setCursor([this] { return m_cursor; });
    showWindow();
}

void BoardRemarksTest::loginAs(const QString& name)
{
    if (!m_form)
        makeForm();
    if (m_form->loginLogic().loggedIn())
        m_form->logOut();
    // Option 12 is on for everybody: one OK logs in.
    typeLogin(name, QString());
    QVERIFY(m_form->loginLogic().loggedIn());
}

void BoardRemarksTest::writeRemark(int boardIndex, const std::string& text)
{
    // As another station would: through its own engine.
    engine::Engine other;
    platform::MemoryEventLog otherLog;
    board::Station station {other, m_clock, otherLog, m_data, m_root->path().toStdString() + "/o"};
    QDir().mkpath(QString::fromStdString(station.startDir));
    board::Board otherBoard;
    otherBoard.adminMode = true;
    board::RemarkLog otherRemarkLog(station, otherBoard);
    board::NamesTable otherNames(station, otherBoard, otherRemarkLog);
    QCOMPARE(otherNames.writeColumn(board::column::kRemark, text, true, {255, 255, 0}, boardIndex),
             board::WriteResult::Ok);
}

std::string BoardRemarksTest::sharedRemark(int boardIndex)
{
    engine::Engine e;
    engine::TTzDbf t("Check", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data + "/qb3.dbf");
    if (!t.setActive(true))
        return "<unreadable>";
    t.Go(boardIndex + 1);
    std::string r = t.getText("remark");
    t.setActive(false);
    return r;
}

int BoardRemarksTest::entryIndex(const std::string& text)
{
    admin::RemarkList& list = m_form->remarkController().remarkList();
    list.ensureLoaded();
    for (int i = 0; i < list.count(); ++i)
        if (list.entries()[static_cast<std::size_t>(i)].text == text)
            return i;
    return -1;
}

void BoardRemarksTest::pickWhenShown(int entry, bool* shown)
{
    if (shown)
        *shown = false;
    QTimer::singleShot(0, this, [this, entry, shown] {
        admin::TpickList1* list = m_form->remarkController().pickList();
        if (!list->isVisible())
            return;
        if (shown)
            *shown = true;
        if (entry < 0) {
            list->reject();
            return;
        }
        QListWidget* box = list->listBox();
        box->setCurrentRow(entry);
        QTest::keyClick(box, Qt::Key_Space);
    });
}

QAction* BoardRemarksTest::action(const QString& text) const
{
    for (QAction* a : m_form->findChildren<QAction*>())
        if (a->text() == text)
            return a;
    return nullptr;
}

std::vector<LogRow> BoardRemarksTest::logRows(const std::string& file)
{
    std::vector<LogRow> rows;
    engine::Engine e;
    engine::TTzDbf t("Log", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data + "/" + file);
    if (!t.setActive(true))
        return rows;
    for (std::int64_t r = 1; r <= t.RecCount(); ++r) {
        t.Go(r);
        rows.push_back({t.getText("ident"), t.getText("name"), t.getText("colname"), t.getText("text"),
                        t.getText("time")});
    }
    t.setActive(false);
    return rows;
}

// ---- clicks --------------------------------------------------------------------

void BoardRemarksTest::withoutOptionOneOnlyTheOwnRowChanges()
{
    const int bob = m_index["Bob"], carol = m_index["Carol"];
    setOption(bob, admin::opt::kChangeOthers, false);
    setOption(bob, admin::opt::kLockFourthColumn, false);
    loginAs(QStringLiteral("Bob"));
    const std::string carolBefore = remark(carol);

    bool shown = true;
    pickWhenShown(entryIndex("at lunch"), &shown);
    clickRemark(carol);
    QVERIFY2(!shown, "the pick list must not open for another person's row");
    QCOMPARE(remark(carol), carolBefore);
    QCOMPARE(sharedRemark(carol), carolBefore);
    // Nor the fourth column.
    emit m_form->grid()->cellClicked(carol, board::BoardView::kMiscColumn, Qt::LeftButton);
    QCOMPARE(m_prompts.questions().size(), 0u);

    pickWhenShown(entryIndex("at lunch"), &shown);
    clickRemark(bob);
    QVERIFY(shown);
    QCOMPARE(remark(bob), std::string("at lunch"));
    QCOMPARE(sharedRemark(bob), std::string("at lunch"));
    QVERIFY(m_prompts.messageTexts(core::Dialogs::Box::Question).isEmpty());
    // The own status follows the picked type (5, "at lunch").
    QCOMPARE(m_form->board().ownStatus, 5);
    // Every pick sets the activity timer to 5 seconds.
    QCOMPARE(m_form->remarkController().timer222()->interval(), 5000);

    m_prompts.answerText(QStringLiteral(" desk 12 "));
    emit m_form->grid()->cellClicked(bob, board::BoardView::kMiscColumn, Qt::LeftButton);
    QCOMPARE(m_form->board().miscs[static_cast<std::size_t>(bob)], std::string("desk 12"));
}

void BoardRemarksTest::optionTwoAsksBeforeAnotherPersonsRemark()
{
    const int bob = m_index["Bob"], carol = m_index["Carol"];
    setOption(bob, admin::opt::kChangeOthers, true);
    setOption(bob, admin::opt::kWarnOthers, true);
    loginAs(QStringLiteral("Bob"));
    const std::string before = remark(carol);

    m_prompts.setAnswer(core::Dialogs::Answer::No);
    bool shown = true;
    pickWhenShown(entryIndex("Out"), &shown);
    clickRemark(carol);
    QCOMPARE(m_prompts.messageTexts(core::Dialogs::Box::Question), QStringList {QString::fromLatin1(RemarkController::kNotYourName)});
    QVERIFY(!shown);
    QCOMPARE(remark(carol), before);

    m_prompts.setAnswer(core::Dialogs::Answer::Yes);
    pickWhenShown(entryIndex("Out"), &shown);
    clickRemark(carol);
    QCOMPARE(m_prompts.messageTexts(core::Dialogs::Box::Question).size(), 2);
    QVERIFY(shown);
    QCOMPARE(remark(carol), std::string("Out"));
    QCOMPARE(sharedRemark(carol), std::string("Out"));
    // The Out colour of the list reaches the row (as a packed red).
    const board::Rgb rowColor = board::colorOfCode(m_form->board().colorCodes[static_cast<std::size_t>(carol)]);
    QVERIFY(rowColor.r > 200 && rowColor.g == 0 && rowColor.b == 0);
    // An Out pick restarts the activity timer with five minutes.
    QCOMPARE(m_form->remarkController().timer222()->interval(), 300000);

    // The own row is never asked about.
    pickWhenShown(entryIndex("In"), &shown);
    clickRemark(bob);
    QCOMPARE(m_prompts.messageTexts(core::Dialogs::Box::Question).size(), 2);
    QCOMPARE(remark(bob), std::string("In"));
}

void BoardRemarksTest::cancelledPickChangesNothing()
{
    const int bob = m_index["Bob"];
    loginAs(QStringLiteral("Bob"));
    const std::string before = remark(bob);
    const int poll = m_form->board().pollCounter;
    bool shown = false;
    pickWhenShown(-1, &shown);
    clickRemark(bob);
    QVERIFY(shown);
    QCOMPARE(remark(bob), before);
    QCOMPARE(sharedRemark(bob), before);
    // The poll is held during the click and gets its value back.
    QCOMPARE(m_form->board().pollCounter, poll);
}

void BoardRemarksTest::optionTwentyLocksTheFourthColumnForPersonsOnly()
{
    const int bob = m_index["Bob"];
    setOption(bob, admin::opt::kLockFourthColumn, true);
    loginAs(QStringLiteral("Bob"));
    emit m_form->grid()->cellClicked(bob, board::BoardView::kMiscColumn, Qt::LeftButton);
    QCOMPARE(m_prompts.questions().size(), 0u);
    // The remark cell stays open to the person.
    bool shown = false;
    pickWhenShown(-1, &shown);
    clickRemark(bob);
    QVERIFY(shown);

    loginAs(QStringLiteral("Admin"));
    m_prompts.answerText(QStringLiteral("home office"));
    emit m_form->grid()->cellClicked(bob, board::BoardView::kMiscColumn, Qt::LeftButton);
    QCOMPARE(m_prompts.questions().size(), 1u);
    QCOMPARE(m_form->board().miscs[static_cast<std::size_t>(bob)], std::string("home office"));
}

void BoardRemarksTest::pickListHelpOpensItsTopicAboveTheList()
{
    QDir(m_root->path()).mkpath(QStringLiteral("help/html"));
    QFile topic(m_root->filePath(QStringLiteral("help/html/Changing Your Remark.html")));
    QVERIFY(topic.open(QIODevice::WriteOnly));
    topic.write("<html><body><h1>How to pick</h1></body></html>");
    topic.close();
    QDir::setCurrent(m_root->path());
    loginAs(QStringLiteral("Bob"));
    bool shown = false, blocked = true;
    QString text;
    QTimer::singleShot(0, this, [&] {
        admin::TpickList1* list = m_form->remarkController().pickList();
        QTest::mouseClick(list->findChild<QPushButton*>(QStringLiteral("HelpBtn")), Qt::LeftButton);
        board::HelpViewer* help = m_form->remarkController().listHelp();
        shown = help && help->isVisible();
        if (help) {
            text = help->browser()->toPlainText();
            // Only windows of the modal list itself take input while it is open.
            blocked = help->window()->parentWidget() != list;
        }
        list->reject();
    });
    clickRemark(m_index["Bob"]);
    QVERIFY(shown);
    QVERIFY(!blocked);
    QVERIFY(text.contains(QStringLiteral("How to pick")));
}

void BoardRemarksTest::nameClickOpensThePopupMenuForThatPerson()
{
    const int carol = m_index["Carol"];
    loginAs(QStringLiteral("Bob"));
    m_cursor = QPoint(300, 400);
    emit m_form->grid()->cellClicked(carol, board::BoardView::kNameColumn, Qt::LeftButton);
    QMenu* menu = m_form->remarkController().popupMenu1();
    QVERIFY(menu->isVisible());
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Carol"));
    QCOMPARE(m_form->remarkController().optionsTarget(), carol);
    QCOMPARE(m_form->remarkController().selectedPerson(), std::string("Carol"));
    QAction* send = nullptr;
    for (QAction* a : menu->actions())
        if (a->text() == QStringLiteral("&Send Message"))
            send = a;
    QVERIFY(send && send->isVisible() && !send->isEnabled());
    menu->hide();
    // A right click does nothing.
    emit m_form->grid()->cellClicked(m_index["Dave"], board::BoardView::kNameColumn, Qt::RightButton);
    QCOMPARE(m_form->remarkController().optionsTarget(), carol);
}

void BoardRemarksTest::ownNameItemTogglesTheOwnRowFilter()
{
    loginAs(QStringLiteral("Bob"));
    board::BoardGrid* grid = m_form->grid();
    QAction* own = m_form->findChild<QAction*>(QStringLiteral("OwnName"));
    QVERIFY(own);
    own->trigger();
    QCOMPARE(grid->view().filter(), std::string("~~"));
    QCOMPARE(grid->view().gridRowCount(), 2);
    own->trigger();
    QCOMPARE(grid->view().filter(), std::string("Sales"));
    QCOMPARE(grid->view().gridRowCount(), 3); // Bob and Carol
}

void BoardRemarksTest::trayInAndOutSetTheOwnRemarkAndIcon()
{
    const int bob = m_index["Bob"];
    loginAs(QStringLiteral("Bob"));
    QMenu* trayMenu = m_form->findChild<QMenu*>(QStringLiteral("PopupMenu2"));
    QVERIFY(trayMenu);
    QAction* out = nullptr;
    for (QAction* a : trayMenu->actions())
        if (a->text() == QStringLiteral("&Out"))
            out = a;
    QVERIFY(out && out->isEnabled());
    out->trigger();
    QCOMPARE(remark(bob), std::string("Out"));
    QCOMPARE(sharedRemark(bob), std::string("Out"));
    QCOMPARE(m_form->board().ownStatus, board::remark::kOut);
    auto* tray = m_form->findChild<QSystemTrayIcon*>(QStringLiteral("LaunchBarIcon1"));
    QVERIFY(tray);
    QCOMPARE(tray->toolTip(), QStringLiteral("Out: Bob"));
    QCOMPARE(tray->icon().pixmap(32).toImage(), RemarkController::outIcon().pixmap(32).toImage());
}

// ---- administrator ---------------------------------------------------------------

void BoardRemarksTest::changeInToOutThroughTheMenu()
{
    const int bob = m_index["Bob"], carol = m_index["Carol"], dave = m_index["Dave"], eve = m_index["Eve"];
    writeRemark(bob, "In");
    writeRemark(carol, "in but unavailable");
    writeRemark(dave, "at lunch");
    writeRemark(eve, "Out");
    loginAs(QStringLiteral("Admin"));
    QVERIFY(m_form->board().adminMode);
    QAction* item = m_form->findChild<QAction*>(QStringLiteral("ChangeAllChangeIntoOut"));
    QVERIFY(item && item->text() == QStringLiteral("Change In to Out"));

    m_prompts.setAnswer(core::Dialogs::Answer::Cancel);
    item->trigger();
    QCOMPARE(m_prompts.messageTexts(core::Dialogs::Box::Question), QStringList {QString::fromLatin1(RemarkController::kChangeAllWarning)});
    QCOMPARE(sharedRemark(bob), std::string("In"));

    m_prompts.setAnswer(core::Dialogs::Answer::Ok);
    item->trigger();
    QCOMPARE(sharedRemark(bob), std::string("Out"));
    QCOMPARE(sharedRemark(carol), std::string("Out"));
    QCOMPARE(sharedRemark(dave), std::string("at lunch"));
    QCOMPARE(sharedRemark(eve), std::string("Out"));
    // The board shows it without waiting for the poll.
    QCOMPARE(remark(carol), std::string("Out"));
    QCOMPARE(m_form->board().colorCodes[static_cast<std::size_t>(bob)], std::uint8_t('r'));
    QCOMPARE(sharedRemark(0), std::string("Remark"));
}

void BoardRemarksTest::customizeRemarkAsksForTheText()
{
    loginAs(QStringLiteral("Admin"));
    m_prompts.setAnswer(core::Dialogs::Answer::Ok);
    QAction* item = m_form->findChild<QAction*>(QStringLiteral("ChangeAllCustomizeRemark"));
    QVERIFY(item);
    const std::string before = sharedRemark(m_index["Dave"]);
    m_prompts.answerText(std::nullopt);
    item->trigger();
    QCOMPARE(sharedRemark(m_index["Dave"]), before);
    m_prompts.answerText(QStringLiteral("Fire drill"));
    item->trigger();
    QCOMPARE(m_prompts.questions().back().prompt, QString::fromLatin1(RemarkController::kChangeAllPrompt));
    for (const auto& [name, index] : m_index)
        QCOMPARE(sharedRemark(index), std::string("Fire drill"));
    QCOMPARE(m_form->board().colorCodes[static_cast<std::size_t>(m_index["Eve"])], std::uint8_t('y'));
}

void BoardRemarksTest::administratorsRemarkClickOpensTheListMaintenance()
{
    // A person's pick first, so the window exists before the new login.
    loginAs(QStringLiteral("Bob"));
    pickWhenShown(entryIndex("at lunch"));
    clickRemark(m_index["Bob"]);
    loginAs(QStringLiteral("Admin"));
    // The start-up the logout left pending must not run in the session.
    QVERIFY(m_form->started());
    bool admin = false;
    int entries = -1;
    QTimer::singleShot(0, this, [&] {
        // The same font size again (as a start-up sets it) keeps the open list.
        m_form->remarkController().setListFontSize(m_form->grid()->fontSize());
        admin::TpickList1* list = m_form->remarkController().pickList();
        admin = list->isVisible() && list->adminMode();
        entries = list->listBox()->count();
        list->reject();
    });
    clickRemark(m_index["Carol"]);
    QVERIFY(admin);
    QCOMPARE(entries, 8);
    QCOMPARE(remark(m_index["Carol"]), sharedRemark(m_index["Carol"]));
}

// ---- log ----------------------------------------------------------------------------

void BoardRemarksTest::remarkLogFollowsOptionThirteen()
{
    const int bob = m_index["Bob"], carol = m_index["Carol"];
    const QString logFile = QString::fromStdString(m_data + "/LG122026.dbf");
    setOption(bob, admin::opt::kChangeOthers, true);
    setOption(bob, admin::opt::kLogRemarks, false);
    loginAs(QStringLiteral("Bob"));
    action(QStringLiteral("&Out)"))->trigger();
    pickWhenShown(entryIndex("at lunch"));
    clickRemark(carol);
    QCOMPARE(remark(carol), std::string("at lunch"));
    QVERIFY2(!QFile::exists(logFile), "no log file without option 13");

    setOption(bob, admin::opt::kLogRemarks, true);
    setOption(bob, admin::opt::kInAtStart, false); // no In of the login itself
    loginAs(QStringLiteral("Bob"));
    m_clock.set(platform::fromLocal(localAt(14, 5)));
    action(QStringLiteral("&In"))->trigger();
    pickWhenShown(entryIndex("Out"));
    clickRemark(carol);
    m_prompts.answerText(QStringLiteral("room 4"));
    emit m_form->grid()->cellClicked(carol, board::BoardView::kMiscColumn, Qt::LeftButton);

    const std::vector<LogRow> rows = logRows("LG122026.dbf");
    QCOMPARE(rows.size(), 3u);
    const std::string ident = std::to_string(bob);
    QCOMPARE(rows[0].ident, ident);
    QCOMPARE(rows[0].name, std::string("Bob"));
    QCOMPARE(rows[0].colname, std::string("Remark"));
    QCOMPARE(rows[0].text, std::string("In"));
    QCOMPARE(rows[0].time, std::string("2:05 pm 12/08/2026"));
    QCOMPARE(rows[1].name, std::string("Carol"));
    QCOMPARE(rows[1].colname, std::string("Remark"));
    QCOMPARE(rows[1].text, std::string("Out"));
    QCOMPARE(rows[1].ident, ident);
    QCOMPARE(rows[2].colname, std::string("Misc"));
    QCOMPARE(rows[2].text, std::string("room 4"));
    QCOMPARE(rows[2].name, std::string("Carol"));
}

// ---- timers -------------------------------------------------------------------------

void BoardRemarksTest::timer222DoesNothingWithOptionSeventeenOff()
{
    const int bob = m_index["Bob"];
    setOption(bob, admin::opt::kActivityInOut, false);
    loginAs(QStringLiteral("Bob"));
    action(QStringLiteral("&Out)"))->trigger();
    RemarkController& rc = m_form->remarkController();
    QVERIFY(rc.timer222()->isActive());
    const int interval = rc.timer222()->interval();
    const QString ini = m_root->filePath(QStringLiteral("sys/qb3local.ini"));
    const QByteArray before = QFile(ini).exists() ? [&] {
        QFile f(ini);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }() : QByteArray();

    for (int i = 0; i < 3; ++i) {
        m_cursor += QPoint(50, 50);
        m_clock.advance(std::chrono::seconds(30000));
        rc.activityTick();
    }
    QCOMPARE(remark(bob), std::string("Out"));
    QCOMPARE(m_form->board().ownStatus, board::remark::kOut);
    QCOMPARE(rc.timer222()->interval(), interval);
    QFile f(ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void BoardRemarksTest::timer222SwitchesOnActivityAndWritesIdleNotes()
{
    const int bob = m_index["Bob"];
    setOption(bob, admin::opt::kActivityInOut, true);
    loginAs(QStringLiteral("Bob"));
    RemarkController& rc = m_form->remarkController();
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(rc.timer222()->interval(), 300000);

    // First run: the [idle] section starts anew; the person counts as idle.
    platform::Profile ini(m_root->filePath(QStringLiteral("sys/qb3local.ini")).toStdString());
    QCOMPARE(ini.writeString("idle", "7", "old note"), 0);
    rc.activityTick();
    QCOMPARE(remark(bob), std::string("Out"));
    QVERIFY(!ini.value("idle", "7"));
    QCOMPARE(QString::fromStdString(ini.readString("idle", "started", "")),
             QStringLiteral("Tuesday, December 8, 2026, 10:00:00")); // values are stored trimmed
    QCOMPARE(rc.timer222()->interval(), 1000);

    // Six pixels is no activity; seven is.
    m_cursor += QPoint(6, -6);
    m_clock.advance(std::chrono::seconds(1));
    rc.activityTick();
    QCOMPARE(remark(bob), std::string("Out"));
    m_cursor += QPoint(7, 0);
    m_clock.advance(std::chrono::seconds(1));
    rc.activityTick();
    QCOMPARE(remark(bob), std::string("In"));
    QCOMPARE(sharedRemark(bob), std::string("In"));
    QCOMPARE(QString::fromStdString(ini.readString("idle", "0", "")),
             QStringLiteral("To In after idling for 0 sec. on Tuesday, December 8, 2026, 10:00:02"));

    // A working day without a move: no activity, then Out in one run.
    m_clock.advance(std::chrono::seconds(28803));
    rc.activityTick();
    QCOMPARE(remark(bob), std::string("Out"));
    QCOMPARE(m_form->board().ownStatus, board::remark::kOut);
    QVERIFY(QString::fromStdString(ini.readString("idle", "1", "")).startsWith(QStringLiteral("To No activity after idling for 480 min.")));
    QVERIFY(QString::fromStdString(ini.readString("idle", "2", "")).startsWith(QStringLiteral("To Out after idling for 480 min.")));
}

void BoardRemarksTest::overnightSetsOutWithOptionSeventeen()
{
    const int bob = m_index["Bob"];
    setOption(bob, admin::opt::kActivityInOut, true);
    m_clock.set(platform::fromLocal(localAt(2, 59)));
    loginAs(QStringLiteral("Bob"));
    action(QStringLiteral("&In"))->trigger();
    QCOMPARE(m_form->board().ownStatus, board::remark::kIn);
    m_form->timer1Tick(); // before the station's time: the flag is set
    QCOMPARE(remark(bob), std::string("In"));
    const int second = 3 * 3600 + bob * 10;
    m_clock.set(platform::fromLocal(localAt(second / 3600, second / 60 % 60, second % 60)));
    m_form->timer1Tick();
    QCOMPARE(remark(bob), std::string("Out"));
    QCOMPARE(sharedRemark(bob), std::string("Out"));
    // Once a night only.
    action(QStringLiteral("&In"))->trigger();
    m_clock.advance(std::chrono::seconds(10));
    m_form->timer1Tick();
    QCOMPARE(remark(bob), std::string("In"));
}

void BoardRemarksTest::explicitOutStaysUntilActivityAfterIt()
{
    const int bob = m_index["Bob"];
    setOption(bob, admin::opt::kActivityInOut, true);
    loginAs(QStringLiteral("Bob"));
    RemarkController& rc = m_form->remarkController();
    action(QStringLiteral("&In"))->trigger();
    rc.activityTick(); // the watcher runs while the person works
    // The person moves to the menu bar and clicks Out; the timer's next run
    // is whatever interval Out gave it, then every second.
    m_cursor = QPoint(420, 12);
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(remark(bob), std::string("Out"));
    const auto start = m_clock.now();
    auto runUntil = [&](int minutes) {
        while (m_clock.now() - start < std::chrono::minutes(minutes)) {
            m_clock.advance(std::chrono::milliseconds(rc.timer222()->interval()));
            rc.activityTick();
        }
    };
    for (int minutes : {5, 10, 30}) {
        runUntil(minutes);
        QVERIFY2(remark(bob) == "Out", qPrintable(QStringLiteral("after %1 minutes without activity: %2")
                                                       .arg(minutes)
                                                       .arg(QString::fromStdString(remark(bob)))));
    }
    QCOMPARE(sharedRemark(bob), std::string("Out"));
    // Activity after the change brings the person back: the mouse...
    m_cursor += QPoint(30, 40);
    m_clock.advance(std::chrono::seconds(1));
    rc.activityTick();
    QCOMPARE(remark(bob), std::string("In"));
    // ...or a key, after another explicit Out.
    action(QStringLiteral("&Out)"))->trigger();
    runUntil(45);
    QCOMPARE(remark(bob), std::string("Out"));
    QTest::keyClick(m_form.get(), Qt::Key_Shift);
    m_clock.advance(std::chrono::seconds(1));
    rc.activityTick();
    QCOMPARE(remark(bob), std::string("In"));
}

void BoardRemarksTest::inAndOutFollowTheListWheneverItIsRead()
{
    const int bob = m_index["Bob"];
    loginAs(QStringLiteral("Bob"));
    QCOMPARE(m_form->board().inText, std::string("In"));
    // Another station's administrator renames In and Out in the shared list.
    {
        engine::Engine other;
        engine::TTzDbf t("Other", other);
        t.CreateIfNotFound = false;
        t.setDbfFileName(m_data + "/remarks.dbf");
        QVERIFY(t.setActive(true));
        for (std::int64_t r = 1; r <= t.RecCount(); ++r) {
            t.Go(r);
            const std::int64_t type = t.GetLongField("type");
            if (type != 1 && type != 3)
                continue;
            QVERIFY(t.RLock());
            t.setText("text", type == 1 ? "Present" : "Away");
            t.Replace();
            t.Flush();
            t.UnLock();
        }
    }
    // The overnight step reads the list again.
    m_form->remarkController().clearRemarkList();
    action(QStringLiteral("&In"))->trigger();
    QCOMPARE(sharedRemark(bob), std::string("Present"));
    QMenu* trayMenu = m_form->findChild<QMenu*>(QStringLiteral("PopupMenu2"));
    QStringList captions;
    for (QAction* a : trayMenu->actions())
        captions << a->text();
    QVERIFY2(captions.contains(QStringLiteral("&Present")) && captions.contains(QStringLiteral("&Away")),
             qPrintable(captions.join(QLatin1Char('|'))));
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(sharedRemark(bob), std::string("Away"));
    QCOMPARE(m_form->board().ownStatus, board::remark::kOut); // judged against the new Out text
}

void BoardRemarksTest::failedInLeavesStatusAndTipWithTheStoredRemark()
{
    const int bob = m_index["Bob"];
    loginAs(QStringLiteral("Bob"));
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(sharedRemark(bob), std::string("Out"));
    // Another station holds Bob's record for longer than the write waits.
    engine::Engine other;
    engine::TTzDbf t("Holder", other);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data + "/qb3.dbf");
    QVERIFY(t.setActive(true));
    t.Go(bob + 1);
    QVERIFY(t.RLock());
    action(QStringLiteral("&In"))->trigger();
    t.UnLock();
    t.setActive(false);
    QCOMPARE(sharedRemark(bob), std::string("Out"));
    QCOMPARE(remark(bob), std::string("Out"));
    QCOMPARE(m_form->board().ownStatus, board::remark::kOut);
    auto* tray = m_form->findChild<QSystemTrayIcon*>(QStringLiteral("LaunchBarIcon1"));
    QCOMPARE(tray->toolTip(), QStringLiteral("Out: Bob"));
    QCOMPARE(tray->icon().pixmap(32).toImage(), RemarkController::outIcon().pixmap(32).toImage());
    auto* status = m_form->findChild<QLabel*>(QStringLiteral("WriteStatus"));
    QVERIFY(status && status->isVisibleTo(m_form.get()));
    QVERIFY2(status->text().startsWith(QStringLiteral("Not saved: \"In\"")), qPrintable(status->text()));
    // The next change that goes through clears it.
    action(QStringLiteral("&In"))->trigger();
    QCOMPARE(sharedRemark(bob), std::string("In"));
    QVERIFY(!status->isVisibleTo(m_form.get()));
}

QTEST_MAIN(BoardRemarksTest)
#include "BoardRemarksTest.moc"
