// The planner and information windows driven as a user would, with real
// processes on one data directory: what one station types, another shows;
// a station holding a lock while a window saves costs no file and no edit,
// and the user sees why.
#include "engine/TTzDbf.h"
#include "engine/controls/TTzEdit.h"
#include "planner/InfoCard.h"
#include "planner/PlannerWindows.h"
#include "planner/TInfoScrn1.h"
#include "planner/TWeekPlan.h"
#include "platform/Clock.h"
#include "tests/support/TestSupport.h"
#include "tools/DataDirCommands.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/MenuRegistry.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <sstream>
#include <thread>

using namespace qb::planner;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "qb_planner_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

// Monday 8 January 2024, 09:00.
std::int64_t monday() { return qb::platform::daySerial(2024, 1, 8); }

// Types text as key presses carrying it (any character, unlike keyClicks).
void typeText(QWidget* widget, const QString& text)
{
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

void typeInto(TWeekPlan& w, int row, int column, const QString& text)
{
    QTableWidget* grid = w.grid();
    grid->setCurrentCell(row, column);
    grid->editItem(grid->item(row, column));
    auto* editor = qobject_cast<QLineEdit*>(grid->indexWidget(grid->model()->index(row, column)));
    ASSERT_NE(editor, nullptr);
    typeText(editor, text);
    QTest::keyClick(editor, Qt::Key_Return); // ends the edit
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void waitForFile(const std::string& path)
{
    qb::test::waitForFile(path, std::chrono::seconds(10));
}

// A station showing one week of person 7's planner: "type ROW COL TEXT"
// types into the cell; every run writes the ten cells it shows to OUT.
QB_CHILD_ROLE(planner_station)
{
    const std::string& data = args.at(0);
    const std::string& out = args.at(1);
    app();
    qb::engine::Engine engine;
    qb::platform::SystemClock clock;
    TWeekPlan w(engine, QString::fromStdString(data), clock, nullptr);
    w.setOwner(7, QStringLiteral("Anna Berger"), true);
    w.logic().setWeek(monday());
    w.show();
    w.logic().setWeek(monday());
    w.loadWeek();
    if (args.size() >= 6 && args[2] == "type")
        typeInto(w, std::stoi(args[3]), std::stoi(args[4]), QString::fromStdString(args[5]));
    w.logic().setWeek(monday());
    w.loadWeek();
    std::string shown;
    for (int r = 1; r <= 5; ++r)
        for (int c = 1; c <= 2; ++c)
            shown += w.grid()->item(r, c)->text().toStdString() + "|";
    qb::test::writeFile(out, shown);
    return w.logic().hasWaiting() ? 1 : 0;
}

// A station showing person 7's card: "type FIELD TEXT NOTES" types a field
// and the notes (lines split at '/') and closes; OUT gets field 1 and the notes.
QB_CHILD_ROLE(info_station)
{
    const std::string& data = args.at(0);
    const std::string& out = args.at(1);
    app();
    qb::engine::Engine engine;
    TInfoScrn1 w(engine, QString::fromStdString(data));
    w.setPerson(7, QStringLiteral("Anna Berger"), 7, false, false);
    w.show();
    if (args.size() >= 6 && args[2] == "type") {
        qb::engine::TTzEdit* e = w.edit(std::stoi(args[3]));
        e->setFocus();
        e->selectAll();
        typeText(e, QString::fromStdString(args[4]));
        w.notes()->setFocus();
        w.notes()->selectAll();
        for (const QString& line : QString::fromStdString(args[5]).split(QLatin1Char('/'))) {
            typeText(w.notes(), line);
            QTest::keyClick(w.notes(), Qt::Key_Return);
        }
        w.closeClicked();
        if (w.isVisible())
            return 1;
        w.show();
    }
    qb::test::writeFile(out, w.edit(1)->text().toStdString() + "#" + w.notes()->toPlainText().toStdString());
    w.closeClicked();
    return 0;
}

// Holds a lock on a table until RELEASE appears: "record N" holds the record
// lock, "table" the table (append) lock, "exclusive" opens the table
// exclusively. HELD appears once it holds.
QB_CHILD_ROLE(lock_holder)
{
    const std::string& table = args.at(0);
    const std::string& how = args.at(1);
    const std::string& held = args.at(2);
    const std::string& release = args.at(3);
    qb::engine::Engine engine;
    qb::engine::TTzDbf t("holder", engine);
    t.setDbfFileName(table);
    t.setExclusive(how == "exclusive");
    if (!t.setActive(true))
        return 2;
    if (how == "record") {
        t.Go(std::stoll(args.at(4)));
        if (!t.RLock())
            return 3;
    }
    if (how == "table" && !t.ALock())
        return 3;
    qb::test::writeFile(held, "held");
    waitForFile(release);
    return 0;
}

// Not a test: pictures of both windows with data, for the documentation and
// for looking at them. Run under a display server:
//   xvfb-run -a env QT_QPA_PLATFORM=xcb qb_planner_window_tests --qb-child=screenshots OUTDIR
QB_CHILD_ROLE(screenshots)
{
    const std::string outDir = args.at(0);
    app();
    qb::test::TempDir dir;
    const std::string data = dir.file("data");
    std::ostringstream out, err;
    if (qb::tools::initCommand({data, "--demo"}, out, err) != 0)
        return 2;
    qb::engine::Engine engine;
    qb::platform::SystemClock clock;
    auto snap = [&](QWidget& w, const std::string& name) {
        w.show();
        w.raise();
        w.activateWindow();
        QTest::qWait(300);
        w.grab().save(QString::fromStdString(outDir + "/" + name));
    };
    TWeekPlan plan(engine, QString::fromStdString(data), clock, nullptr);
    plan.setOwner(1, QStringLiteral("Anna Berger"), true);
    plan.show();
    plan.loadWeek();
    typeInto(plan, 5, 2, QStringLiteral("Dentist 15:30"));
    plan.grid()->setCurrentCell(3, 1);
    snap(plan, "planner.png");
    plan.reject();

    TInfoScrn1 info(engine, QString::fromStdString(data));
    info.setPerson(1, QStringLiteral("Anna Berger"), 1, false, false);
    info.show();
    const char* values[] = {nullptr, "Sales Manager", "555 0142", "201", "anna.berger@example.org",
                            "555 0199", "Sales", "555 0143"};
    for (int i = 1; i < 8; ++i) {
        info.edit(i)->setFocus();
        typeText(info.edit(i), QString::fromLatin1(values[i]));
    }
    info.notes()->setFocus();
    info.notes()->setPlainText(QStringLiteral("Mornings in the office, afternoons at customers.\n\n"
                                              "Deputy: Tomás Novák (ext. 202)."));
    info.closeClicked();
    info.setPerson(1, QStringLiteral("Anna Berger"), 1, false, false);
    snap(info, "info.png");
    info.closeClicked();
    info.setPerson(1, QStringLiteral("Anna Berger"), 0, true, false);
    info.show();
    info.modifyLabels();
    snap(info, "info-labels.png");
    info.closeClicked();
    return 0;
}

class StationsOnOneDirectory : public testing::Test {
protected:
    void SetUp() override
    {
        app();
        std::ostringstream out, err;
        ASSERT_EQ(qb::tools::initCommand({data}, out, err), 0) << err.str();
    }
    // Starts a lock holder and waits until it holds the lock.
    int holdLock(const std::string& table, const std::string& how, const std::string& record = "1")
    {
        int pid = qb::test::startChild("lock_holder", {table, how, dir.file("held"), dir.file("release"), record});
        waitForFile(dir.file("held"));
        return pid;
    }
    int release(int pid)
    {
        qb::test::writeFile(dir.file("release"), "go");
        return qb::test::waitChild(pid);
    }

    qb::test::TempDir dir;
    std::string data = dir.file("data");
    qb::platform::SystemClock clock;
};

TEST_F(StationsOnOneDirectory, PlannerCellTypedOnOneStationShowsOnTheOther)
{
    ASSERT_EQ(qb::test::runChild("planner_station", {data, dir.file("one"), "type", "3", "2", "Trade fair"}), 0);
    ASSERT_EQ(qb::test::runChild("planner_station", {data, dir.file("two")}), 0);
    EXPECT_EQ(qb::test::readFile(dir.file("two")), "|||||Trade fair|||||");
}

TEST_F(StationsOnOneDirectory, InformationSavedOnOneStationShowsOnTheOther)
{
    ASSERT_EQ(qb::test::runChild("info_station", {data, dir.file("one"), "type", "1", "Buyer", "first/  second//last"}),
              0);
    ASSERT_EQ(qb::test::runChild("info_station", {data, dir.file("two")}), 0);
    EXPECT_EQ(qb::test::readFile(dir.file("two")), "Buyer#first\n  second\n\nlast\n");
}

TEST_F(StationsOnOneDirectory, PlannerSavedWhileAnotherProcessHoldsTheRecordLock)
{
    qb::engine::Engine engine;
    qb::testing::ScriptedDialogs dialogs;
    TWeekPlan w(engine, QString::fromStdString(data), clock, &dialogs);
    w.setOwner(7, QStringLiteral("Anna Berger"), true);
    w.show();
    w.logic().setWeek(monday());
    w.loadWeek();
    typeInto(w, 1, 1, QStringLiteral("Office"));
    const std::string table = data + "/s/sh007.dbf";
    const std::string before = qb::test::readFile(table);

    int holder = holdLock(table, "record");
    typeInto(w, 2, 2, QStringLiteral("Dentist"));
    EXPECT_EQ(qb::test::readFile(table), before);
    EXPECT_TRUE(w.notSavedLabel()->isVisibleTo(&w));
    EXPECT_NE(w.notSavedLabel()->text().indexOf(QStringLiteral("locked")), -1);
    EXPECT_EQ(w.grid()->item(2, 2)->toolTip(), QStringLiteral("Not saved yet"));

    // Closing while the lock is still held asks first; "No" keeps the window.
    // Enter must not drop the edit: No is the box's default.
    dialogs.setAnswer(qb::core::Dialogs::Answer::No);
    w.reject();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const auto& asked = dialogs.shown()[0];
    EXPECT_NE(asked.text.indexOf(QStringLiteral("not saved")), -1);
    EXPECT_EQ(asked.buttons, qb::core::Dialogs::Buttons::YesNo);
    EXPECT_EQ(asked.defaultButton, qb::core::Dialogs::Answer::No);
    EXPECT_EQ(asked.caption, QStringLiteral("Weekly Planner for Anna Berger"));

    EXPECT_EQ(release(holder), 0);
    w.reject(); // saves what waited, then closes
    EXPECT_FALSE(w.isVisible());
    EXPECT_FALSE(w.logic().hasWaiting());

    ASSERT_EQ(qb::test::runChild("planner_station", {data, dir.file("seen")}), 0);
    EXPECT_EQ(qb::test::readFile(dir.file("seen")), "Office|||Dentist|||||||");
}

TEST_F(StationsOnOneDirectory, PlannerTableHeldExclusivelyIsNeitherDeletedNorLosesTheEdit)
{
    ASSERT_EQ(qb::test::runChild("planner_station", {data, dir.file("one"), "type", "1", "1", "Office"}), 0);
    const std::string table = data + "/s/sh007.dbf";
    qb::engine::Engine engine;
    TWeekPlan w(engine, QString::fromStdString(data), clock, nullptr);
    w.setOwner(7, QStringLiteral("Anna Berger"), true);
    w.show();
    w.logic().setWeek(monday());
    w.loadWeek();
    EXPECT_EQ(w.grid()->item(1, 1)->text(), QStringLiteral("Office"));
    const std::string before = qb::test::readFile(table);

    // Another program takes the table while the window shows the week.
    int holder = holdLock(table, "exclusive");
    typeInto(w, 1, 2, QStringLiteral("Lunch"));
    EXPECT_TRUE(w.notSavedLabel()->isVisibleTo(&w));
    EXPECT_NE(w.notSavedLabel()->text().indexOf(QStringLiteral("cannot be opened")), -1);
    // Loading the week again cannot read it: the error shows, the grid
    // cannot be changed, and what waits is kept.
    w.loadWeek();
    EXPECT_EQ(w.grid()->item(1, 1)->text(), QStringLiteral("Error accessing file ./s/sh007.dbf"));
    EXPECT_FALSE(w.grid()->isEnabled());
    EXPECT_TRUE(w.logic().hasWaiting());
    EXPECT_EQ(qb::test::readFile(table), before);

    EXPECT_EQ(release(holder), 0);
    w.reject();
    EXPECT_FALSE(w.isVisible());
    ASSERT_EQ(qb::test::runChild("planner_station", {data, dir.file("seen")}), 0);
    EXPECT_EQ(qb::test::readFile(dir.file("seen")), "Office|Lunch|||||||||");
}

TEST_F(StationsOnOneDirectory, InformationCloseWhileAnotherProcessHoldsTheRecordLockKeepsTheEdits)
{
    {
        // The card exists (record 2) before the other process locks it.
        qb::engine::Engine e;
        InfoTable t(e, data);
        ASSERT_TRUE(t.open());
        ASSERT_EQ(t.showCard(7, "Anna Berger"), InfoTable::Found::Appended);
    }
    qb::engine::Engine engine;
    TInfoScrn1 w(engine, QString::fromStdString(data));
    qb::testing::ScriptedDialogs dialogs;
    w.setDialogs(&dialogs);
    w.setPerson(7, QStringLiteral("Anna Berger"), 7, false, false);
    w.show();
    int holder = holdLock(data + "/moreinfo.dbf", "record", "2");
    w.edit(2)->setFocus();
    typeText(w.edit(2), QStringLiteral("555 0142"));
    w.closeClicked();
    EXPECT_TRUE(w.isVisible());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].box, qb::core::Dialogs::Box::Warning);
    EXPECT_EQ(dialogs.shown()[0].caption, QStringLiteral("Employee Information"));
    EXPECT_NE(dialogs.shown()[0].text.indexOf(QStringLiteral("another station")), -1);
    EXPECT_EQ(w.edit(2)->text(), QStringLiteral("555 0142"));

    EXPECT_EQ(release(holder), 0);
    w.closeClicked();
    EXPECT_FALSE(w.isVisible());
    qb::engine::Engine other;
    std::string error;
    auto card = InfoTable::read(other, data, 7, error);
    ASSERT_TRUE(card.has_value()) << error;
    EXPECT_EQ(card->fields[2], "555 0142");
}

TEST_F(StationsOnOneDirectory, InformationOfAPersonWithoutCardWhileTheTableIsLockedIsAppendedLater)
{
    int holder = holdLock(data + "/moreinfo.dbf", "table");
    const auto size = qb::test::readFile(data + "/moreinfo.dbf").size();
    qb::engine::Engine engine;
    TInfoScrn1 w(engine, QString::fromStdString(data));
    qb::testing::ScriptedDialogs dialogs;
    w.setDialogs(&dialogs);
    w.setPerson(9, QStringLiteral("Dora Lind"), 9, false, false);
    w.show();
    EXPECT_EQ(w.edit(0)->text(), QStringLiteral("Dora Lind"));
    w.edit(1)->setFocus();
    typeText(w.edit(1), QStringLiteral("Clerk"));
    w.closeClicked();
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(dialogs.messageTexts(qb::core::Dialogs::Box::Warning).size(), 1);
    EXPECT_EQ(qb::test::readFile(data + "/moreinfo.dbf").size(), size); // nothing written past the end

    EXPECT_EQ(release(holder), 0);
    w.closeClicked();
    EXPECT_FALSE(w.isVisible());
    qb::engine::Engine other;
    std::string error;
    auto card = InfoTable::read(other, data, 9, error);
    ASSERT_TRUE(card.has_value()) << error;
    EXPECT_EQ(card->fields[0], "Dora Lind");
    EXPECT_EQ(card->fields[1], "Clerk");
}

TEST_F(StationsOnOneDirectory, InformationRightsAndLabelMode)
{
    qb::engine::Engine engine;
    TInfoScrn1 w(engine, QString::fromStdString(data));
    w.setPerson(7, QStringLiteral("Anna Berger"), 3, false, false);
    w.show();
    EXPECT_FALSE(w.findChild<QPushButton*>(QStringLiteral("EraseNotes"))->isEnabled());
    EXPECT_FALSE(w.findChild<QPushButton*>(QStringLiteral("ModifyLabels"))->isVisibleTo(&w));
    w.edit(1)->setFocus();
    typeText(w.edit(1), QStringLiteral("Boss"));
    EXPECT_EQ(w.edit(1)->text(), QString());
    w.closeClicked();

    w.setPerson(7, QStringLiteral("Anna Berger"), 0, true, false);
    w.show();
    w.modifyLabels();
    EXPECT_TRUE(w.labelMode());
    EXPECT_TRUE(w.edit(kNotesCaption)->isVisibleTo(&w));
    EXPECT_EQ(w.edit(2)->text(), QStringLiteral("Phone"));
    w.edit(2)->setFocus();
    w.edit(2)->selectAll();
    typeText(w.edit(2), QStringLiteral("Mobile"));
    w.modifyLabels(); // "Update Labels"
    EXPECT_EQ(w.caption(2)->text(), QStringLiteral("Mobile"));
    w.closeClicked();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(w.findChild<QPushButton*>(QStringLiteral("ModifyLabels"))->text(), QStringLiteral("&Modify Labels"));
}

// The board's name pop-up opens the clicked person's planner and card with
// the rights of the one logged in.
TEST_F(StationsOnOneDirectory, NamePopupOpensThePlannerAndCardOfTheClickedPerson)
{
    QWidget board;
    QMenu popup(&board);
    qb::ui::MenuRegistry menus;
    menus.attach(qb::ui::MenuPlace::NamePopup, &popup);
    qb::ui::MenuContext context;
    context.loggedIn = true;
    context.ownIndex = 3;
    context.target = 7;
    context.targetName = "Anna Berger";
    menus.setContextSource([&] { return context; });
    qb::testing::ScriptedDialogs dialogs;
    qb::engine::Engine engine;
    PlannerWindows windows(engine, QString::fromStdString(data), clock, dialogs, &board, [] { return false; });
    installPlannerMenus(menus, windows);
    menus.refresh();

    QAction* planner = menus.action("planner.popupPlanner");
    QAction* info = menus.action("planner.popupInformation");
    ASSERT_TRUE(planner && info);
    EXPECT_EQ(planner->text(), QStringLiteral("&Planner"));
    EXPECT_EQ(info->text(), QStringLiteral("&Information"));
    EXPECT_TRUE(popup.actions().contains(planner));

    bool plannerSeen = false;
    QTimer::singleShot(0, &windows.planner(), [&] {
        TWeekPlan& w = windows.planner();
        plannerSeen = w.isVisible();
        EXPECT_EQ(w.windowTitle(), QStringLiteral("Weekly Planner for Anna Berger"));
        EXPECT_FALSE(w.grid()->isEnabled()); // another person's, without the right
        w.reject();
    });
    planner->trigger();
    EXPECT_TRUE(plannerSeen);

    context.options.set(1); // "Change others' remarks"
    QTimer::singleShot(0, &windows.planner(), [&] {
        EXPECT_TRUE(windows.planner().grid()->isEnabled());
        windows.planner().reject();
    });
    planner->trigger();

    bool infoSeen = false;
    QTimer::singleShot(0, &windows.information(), [&] {
        TInfoScrn1& w = windows.information();
        infoSeen = w.isVisible();
        EXPECT_EQ(w.edit(0)->text(), QStringLiteral("Anna Berger"));
        EXPECT_FALSE(w.findChild<QPushButton*>(QStringLiteral("EraseNotes"))->isEnabled());
        w.closeClicked();
    });
    info->trigger();
    EXPECT_TRUE(infoSeen);
}

// What the windows wrote, as another dBASE reader sees it.
TEST_F(StationsOnOneDirectory, FilesWrittenByTheWindowsReadTheSameInAnotherLibrary)
{
    if (qb::test::runCommand("/usr/bin/python3 -c 'import dbf, dbfread' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3-dbf and python3-dbfread are not installed";
    ASSERT_EQ(qb::test::runChild("planner_station", {data, dir.file("one"), "type", "1", "1", "Müller 9:00"}), 0);
    ASSERT_EQ(qb::test::runChild("planner_station", {data, dir.file("one"), "type", "5", "2", "Zoë's café"}), 0);
    ASSERT_EQ(qb::test::runChild("info_station", {data, dir.file("two"), "type", "1", "Käufer", "a/  b"}), 0);

    const std::string script = std::string(QB_TOOLS_TEST_DIR) + "/interop.py";
    auto compare = [&](const std::string& table, const std::string& expected) {
        qb::test::writeFile(dir.file("expected"), expected);
        std::string out;
        EXPECT_EQ(qb::test::runCommand("/usr/bin/python3 " + script + " compare-expected " + table + " 437 " +
                                           dir.file("expected") + " 2>&1",
                                       &out),
                  0)
            << out;
    };
    compare(data + "/s/sh007.dbf",
            R"({"_recno": 1, "_deleted": false, "weekno": 45298, "monam": "Müller 9:00", "monpm": "", )"
            R"("tueam": "", "tuepm": "", "wedam": "", "wedpm": "", "thuam": "", "thupm": "", "friam": "", )"
            R"("fripm": "Zoë's café", "b1": false, "b2": false})"
            "\n");
    compare(data + "/moreinfo.dbf",
            R"({"_recno": 1, "_deleted": false, "ident": 0, "name": "Name", "title": "Title", "phone": "Phone", )"
            R"("e_mail": "E-mail", "extra": "Extension", "division": "Division", "pager": "Pager", "fax": "Fax", )"
            R"("hasmsg": false, "hasmsgtxt": "", "notes": "", "notestxt": "Notes"})"
            "\n"
            R"({"_recno": 2, "_deleted": false, "ident": 7, "name": "Anna Berger", "title": "Käufer", "phone": "", )"
            R"("e_mail": "", "extra": "", "division": "", "pager": "", "fax": "", )"
            R"("hasmsg": false, "hasmsgtxt": "", "notes": "a\n  b\n", "notestxt": ""})"
            "\n");
}

} // namespace
