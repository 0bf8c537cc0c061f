// The main window as a user meets it: deferred start-up with its alerts, the
// login panel, the administrator login, logout, Change Password, the alert
// menu and the help viewer. Widgets are found by their object names.
#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "board/AlertMenu.h"
#include "board/BoardGrid.h"
#include "board/BoardGridDelegate.h"
#include "board/HelpViewer.h"
#include "board/TForm1.h"
#include "engine/TTzDbf.h"
#include "tests/support/BoardWindowStation.h"
#include "platform/EventLog.h"
#include "tools/DataDirCommands.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>

#include <memory>
#include <sstream>

using namespace qb;
using board::TForm1;

class TForm1Test : public QObject, private qb::testing::BoardWindowStation {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void startupLogsAndShowsTheLoginPanel();
    void missingNamesTableRaisesTheAlert();
    void unwritableSettingsRaiseTheAlert();
    void loginThroughThePanelShowsTheBoard();
    void wrongPasswordStaysOnThePanel();
    void enterMovesFromNameToPasswordAndLogsIn();
    void everyRowAndColumnShowsAtEveryFontSize_data();
    void everyRowAndColumnShowsAtEveryFontSize();
    void administratorLoginInformsAndShowsDbPath();
    void logoutReturnsToThePanelWithoutLoggingBackIn();
    void lastUserIsLoggedInAtStartup();
    void lastNameAdminIsNeverLoggedInAutomatically();
    void changeOnAnotherStationReachesTheBoard();
    void inAndOutSetTheOwnRemark();
    void fourthColumnClickAsksForTheNewText();
    void changePasswordRefusesNineCharacters();
    void changePasswordAsksAgainAfterMismatch();
    void alertMenuHasItsLinesAndPlace();
    void missingHelpRaisesTheAlert();
    void contentsOpensTheHelpTopic();
    void failedSaveShowsTheServersStateAndNeverNamesTheMirror();
    void damagedNamesTableKeepsTheMirrorAndSaysWhatIsWrong_data();
    void damagedNamesTableKeepsTheMirrorAndSaysWhatIsWrong();
    void missingDataDirectoryShowsTheOfflineStateUntilItReturns();

private:
    void writeSettings(const QString& text);
    QAction* action(const QString& text) const;
    std::string bobsRemark() const { return m_form->board().remarks[static_cast<std::size_t>(m_bob)]; }

    int m_bob = -1;
};

void TForm1Test::init()
{
    QVERIFY(makeStation());
    admin::AddedName added;
    QCOMPARE(admin::addName(*m_station, "Bob", "Sales", &added), admin::AddNameResult::Ok);
    m_bob = added.boardIndex;
}

void TForm1Test::cleanup()
{
    dropStation();
}

void TForm1Test::writeSettings(const QString& text)
{
    QDir().mkpath(m_root->filePath(QStringLiteral("sys")));
    QFile f(m_root->filePath(QStringLiteral("sys/qb3local.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

QAction* TForm1Test::action(const QString& text) const
{
    for (QAction* a : m_form->findChildren<QAction*>())
        if (a->text() == text)
            return a;
    return nullptr;
}

void TForm1Test::startupLogsAndShowsTheLoginPanel()
{
    makeWindow();
    QVERIFY(!child<QPushButton>("OK")->isEnabled());
    showWindow();
    QVERIFY(m_form->started());
    QVERIFY(!m_log.entries.empty());
    QVERIFY(!m_log.entries.front().isError);
    QVERIFY(m_log.entries.front().text.rfind("Started ", 0) == 0);
    QVERIFY(child<QFrame>("PwdPanel")->isVisible());
    QVERIFY(!child<board::BoardGrid>("StringGrid1")->isVisible());
    QCOMPARE(child<QLabel>("Label2")->text(), QStringLiteral(" Please enter your name and password "));
    QVERIFY(child<QPushButton>("OK")->isEnabled());
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Quellboard Pro"));
}

void TForm1Test::missingNamesTableRaisesTheAlert()
{
    QVERIFY(QFile::remove(QString::fromStdString(m_data + "/qb3.dbf")));
    makeWindow();
    showWindow();
    QCOMPARE(m_form->alertMenu()->lines(),
             (QStringList {QStringLiteral("ERROR: Database file qb3.dbf "), QStringLiteral("is missing from server "),
                           QString::fromStdString(m_data + "/")}));
    QVERIFY(m_log.contains("qb3.dbf missing from " + m_data + "/"));
    QVERIFY(child<QFrame>("PwdPanel")->isVisible());
}

void TForm1Test::unwritableSettingsRaiseTheAlert()
{
    // A directory below a regular file can be created by nobody, root included.
    const QString blocker = m_root->filePath(QStringLiteral("blocker"));
    QFile f(blocker);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    makeWindow(runInfo((blocker + QStringLiteral("/sys")).toStdString()));
    showWindow();
    QCOMPARE(m_form->alertMenu()->lines(),
             (QStringList {QStringLiteral("ERROR: Can not write to "), QStringLiteral("file Qb3local.ini in the "),
                           QStringLiteral("Windows directory. ")}));
    QVERIFY(m_log.contains("Error can not write to Qb3local.ini"));
}

void TForm1Test::loginThroughThePanelShowsTheBoard()
{
    setOption(m_bob, admin::opt::kAutoLogin, false);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Bob"), QString());
    // The first OK of a run only checks.
    QVERIFY(child<QFrame>("PwdPanel")->isVisible());
    QVERIFY(!m_form->loginLogic().loggedIn());
    child<QPushButton>("OK")->click();
    QVERIFY(m_form->loginLogic().loggedIn());
    QVERIFY(!child<QFrame>("PwdPanel")->isVisible());
    QVERIFY(child<board::BoardGrid>("StringGrid1")->isVisible());
    QCOMPARE(action(QStringLiteral("(Bob"))->objectName(), QStringLiteral("OwnName"));
    QVERIFY(action(QStringLiteral("&In"))->isVisible());
    QVERIFY(!m_form->findChild<QAction*>(QStringLiteral("ShoDBPath"))->isVisible());
    // The login saved the settings with the name of the user.
    QFile ini(m_root->filePath(QStringLiteral("sys/qb3local.ini")));
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QVERIFY(ini.readAll().contains("Name=Bob"));
}

void TForm1Test::wrongPasswordStaysOnThePanel()
{
    makeWindow();
    showWindow();
    // Record Bob's password through the logic of a first login.
    setOption(m_bob, admin::opt::kAutoLogin, true);
    typeLogin(QStringLiteral("Bob"), QString());
    QVERIFY(m_form->loginLogic().loggedIn());
    m_prompts.answerText(QStringLiteral("pw"));
    m_prompts.answerText(QStringLiteral("pw"));
    m_form->changePassword();
    m_form->logOut();

    typeLogin(QStringLiteral("Bob"), QStringLiteral("nope"));
    QCOMPARE(child<QLabel>("Label2")->text(), QStringLiteral(" Invalid password "));
    QVERIFY(child<QLineEdit>("Edit1")->text().isEmpty());
    QVERIFY(child<QFrame>("PwdPanel")->isVisible());
    typeLogin(QStringLiteral("Nobody"), QStringLiteral("x"));
    QCOMPARE(child<QLabel>("Label2")->text(), QStringLiteral(" Nobody not found "));
    typeLogin(QStringLiteral("Bob"), QStringLiteral("PW"));
    QVERIFY(m_form->loginLogic().loggedIn());
}

void TForm1Test::enterMovesFromNameToPasswordAndLogsIn()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    m_form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    QLineEdit* name = child<QComboBox>("LoginNames")->lineEdit();
    QLineEdit* password = child<QLineEdit>("Edit1");
    name->setFocus();
    QTRY_VERIFY(name->hasFocus());
    name->clear();
    QTest::keyClicks(name, QStringLiteral("Bob"));
    QTest::keyClick(name, Qt::Key_Return);
    QTRY_VERIFY(password->hasFocus());
    QVERIFY(!m_form->loginLogic().loggedIn());
    QTest::keyClick(password, Qt::Key_Return);
    QVERIFY(m_form->loginLogic().loggedIn());
    QVERIFY(child<QPushButton>("OK")->isDefault());
}

void TForm1Test::everyRowAndColumnShowsAtEveryFontSize_data()
{
    QTest::addColumn<int>("size");
    for (int size : {8, 10, 12, 14, 16, 24})
        QTest::newRow(qPrintable(QString::number(size))) << size;
}

void TForm1Test::everyRowAndColumnShowsAtEveryFontSize()
{
    QFETCH(int, size);
    // The demo office: long remarks and notes, every column shown.
    QVERIFY(QDir(QString::fromStdString(m_data)).removeRecursively());
    std::ostringstream out, err;
    QCOMPARE(tools::initCommand({m_data, "--demo"}, out, err), 0);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Anna Berger"), QString());
    QVERIFY(m_form->loginLogic().loggedIn());
    action(QString::number(size))->trigger();
    QCoreApplication::processEvents();

    auto* table = m_form->grid()->findChild<QTableView*>();
    const int rows = table->model()->rowCount();
    QCOMPARE(rows, 8);
    QCOMPARE(table->font().pointSize(), size);
    QVERIFY(!table->verticalScrollBar()->isVisible());
    QVERIFY(!table->horizontalScrollBar()->isVisible());
    // The last row ends exactly at the bottom: not cut, no empty strip.
    QCOMPARE(table->rowViewportPosition(rows - 1) + table->rowHeight(rows - 1), table->viewport()->height());
    // The columns fill the width exactly.
    int total = 0;
    for (int c = 0; c < 5; ++c)
        total += table->columnWidth(c);
    QCOMPARE(total, table->viewport()->width());
    // Every column shows a few characters; the date/time is never cut.
    const QFontMetrics fm(table->font());
    for (int c = 0; c < 5; ++c)
        QVERIFY2(table->columnWidth(c) >= 3 * fm.averageCharWidth(), qPrintable(QString::number(c)));
    for (int r = 0; r < rows; ++r) {
        const QString date = table->model()->index(r, 4).data().toString();
        const int room = table->columnWidth(4) - 1 - 2 * board::BoardGridDelegate::kPadding;
        QCOMPARE(fm.elidedText(date, Qt::ElideRight, room), date);
    }
}

void TForm1Test::administratorLoginInformsAndShowsDbPath()
{
    setOption(0, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("ADMIN"), QString());
    QVERIFY(m_form->loginLogic().loggedIn());
    QVERIFY(m_form->board().adminMode);
    QCOMPARE(m_prompts.messageTexts(), QStringList {QString::fromLatin1(board::LoginLogic::kAdminInfo)});
    QAction* dbPath = m_form->findChild<QAction*>(QStringLiteral("ShoDBPath"));
    QVERIFY(dbPath->isVisible());
    QVERIFY(!action(QStringLiteral("&In"))->isVisible());
    QVERIFY(action(QStringLiteral("(Admin Mode)")));
}

void TForm1Test::logoutReturnsToThePanelWithoutLoggingBackIn()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Bob"), QString());
    QVERIFY(m_form->loginLogic().loggedIn());
    m_form->logOut();
    QVERIFY(!m_form->started());
    QCOMPARE(child<QLabel>("Label2")->text(), QStringLiteral(" Please log on "));
    QVERIFY(child<QFrame>("PwdPanel")->isVisible());
    QCOMPARE(child<QComboBox>("LoginNames")->currentText(), QStringLiteral("Bob"));

    // The next activation runs the start-up again, but after a logout it
    // must not log the last user straight back in.
    m_form->hide();
    showWindow();
    QVERIFY(!m_form->loginLogic().loggedIn());
    QVERIFY(child<QFrame>("PwdPanel")->isVisible());
}

void TForm1Test::lastUserIsLoggedInAtStartup()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    writeSettings(QStringLiteral("[State]\nName=Bob\n"));
    makeWindow();
    showWindow();
    QVERIFY(m_form->loginLogic().loggedIn());
    QCOMPARE(m_form->board().ownIndex, m_bob);
}

void TForm1Test::lastNameAdminIsNeverLoggedInAutomatically()
{
    setOption(0, admin::opt::kAutoLogin, true);
    writeSettings(QStringLiteral("[State]\nName=Admin\n"));
    makeWindow();
    showWindow();
    QVERIFY(!m_form->loginLogic().loggedIn());
    QCOMPARE(child<QComboBox>("LoginNames")->currentText(), QStringLiteral("Admin"));
}

void TForm1Test::changeOnAnotherStationReachesTheBoard()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Bob"), QString());
    QVERIFY(m_form->loginLogic().loggedIn());
    // Another station writes Bob's fourth column through its own engine.
    engine::Engine other;
    platform::MemoryEventLog otherLog;
    board::Station station {other, platform::SystemClock::instance(), otherLog, m_data, m_root->path().toStdString() + "/o"};
    QDir().mkpath(QString::fromStdString(station.startDir));
    board::Board otherBoard;
    otherBoard.adminMode = true;
    board::RemarkLog otherRemarkLog(station, otherBoard);
    board::NamesTable otherNames(station, otherBoard, otherRemarkLog);
    QCOMPARE(otherNames.writeColumn(board::column::kMisc, "room 7", true, {255, 255, 255}, m_bob),
             board::WriteResult::Ok);
    // The next poll is due now rather than in a minute.
    m_form->board().pollCounter = m_form->board().options.refreshTicks;
    QTRY_COMPARE_WITH_TIMEOUT(m_form->board().miscs[static_cast<std::size_t>(m_bob)], std::string("room 7"), 5000);
}

void TForm1Test::inAndOutSetTheOwnRemark()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Bob"), QString());
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(m_form->board().remarks[static_cast<std::size_t>(m_bob)], std::string("Out"));
    QCOMPARE(m_form->board().ownStatus, board::remark::kOut);
    action(QStringLiteral("&In"))->trigger();
    QCOMPARE(m_form->board().remarks[static_cast<std::size_t>(m_bob)], std::string("In"));
}

void TForm1Test::fourthColumnClickAsksForTheNewText()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    setOption(m_bob, admin::opt::kLockFourthColumn, false);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Bob"), QString());
    m_prompts.answerText(QStringLiteral("  back at 4  "));
    emit m_form->grid()->cellClicked(m_bob, board::BoardView::kMiscColumn, Qt::LeftButton);
    QCOMPARE(m_prompts.questions().size(), 1u);
    QCOMPARE(m_prompts.questions()[0].prompt, QStringLiteral("Enter New Text"));
    QCOMPARE(m_form->board().miscs[static_cast<std::size_t>(m_bob)], std::string("back at 4"));
    // The date/time column does nothing.
    emit m_form->grid()->cellClicked(m_bob, board::BoardView::kTimeColumn, Qt::LeftButton);
    QCOMPARE(m_prompts.questions().size(), 1u);
}

void TForm1Test::changePasswordRefusesNineCharacters()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Bob"), QString());
    QVERIFY(m_form->loginLogic().loggedIn());
    m_prompts.answerText(QStringLiteral("ninechars"));
    m_prompts.answerText(QStringLiteral("ninechars"));
    m_prompts.answerText(std::nullopt); // the user gives up at the next question
    m_form->changePassword();
    QCOMPARE(m_prompts.messageTexts().size(), 1);
    QVERIFY(m_prompts.messageTexts()[0].contains(QStringLiteral("at most 8 characters")));
    QCOMPARE(m_prompts.questions().size(), 3u);
    QVERIFY(m_prompts.questions()[0].hidden);
    QCOMPARE(m_prompts.questions()[0].caption, QStringLiteral("Change Password"));
    QCOMPARE(m_prompts.questions()[1].prompt, QStringLiteral("Confirm password:"));
    // Still the old (empty) password.
    m_form->logOut();
    typeLogin(QStringLiteral("Bob"), QString());
    QVERIFY(m_form->loginLogic().loggedIn());
}

void TForm1Test::changePasswordAsksAgainAfterMismatch()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    typeLogin(QStringLiteral("Bob"), QString());
    m_prompts.answerText(QStringLiteral("abc"));
    m_prompts.answerText(QStringLiteral("abd"));
    m_prompts.answerText(QStringLiteral("abc"));
    m_prompts.answerText(QStringLiteral("abc"));
    m_form->changePassword();
    QCOMPARE(m_prompts.messageTexts(), QStringList {QStringLiteral("The New and Confirm passwords do not match")});
    QCOMPARE(m_prompts.pendingAnswers(), 0u);
    m_form->logOut();
    typeLogin(QStringLiteral("Bob"), QStringLiteral("ABC"));
    QVERIFY(m_form->loginLogic().loggedIn());
}

void TForm1Test::alertMenuHasItsLinesAndPlace()
{
    QWidget anchor;
    anchor.setGeometry(100, 200, 300, 100);
    board::AlertMenu menu(&anchor);
    const QList<QAction*> items = menu.actions();
    QCOMPARE(items.size(), 7);
    QCOMPARE(items[0]->text(), QStringLiteral("ALERT:"));
    QVERIFY(items[1]->isSeparator());
    QVERIFY(items[5]->isSeparator());
    QCOMPARE(items[6]->text(), QStringLiteral("  [   OK  ]"));
    menu.showAlert({QStringLiteral("one & two"), QStringLiteral("b")}, &anchor);
    QCOMPARE(menu.lines(), (QStringList {QStringLiteral("one & two"), QStringLiteral("b"), QString()}));
    const QRect frame = anchor.frameGeometry();
    QCOMPARE(board::AlertMenu::alertPosition(&anchor), QPoint(frame.left() + 20, frame.top() - 5));
    QVERIFY(menu.isVisible());
}

void TForm1Test::missingHelpRaisesTheAlert()
{
    QDir::setCurrent(m_root->path());
    makeWindow();
    showWindow();
    action(QStringLiteral("&Contents"))->trigger();
    const QStringList lines = m_form->alertMenu()->lines();
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("ERROR: The help file  "));
    QCOMPARE(lines[1], QStringLiteral("is missing. Looking for"));
    QCOMPARE(lines[2], board::HelpViewer::fixedHelpDir() + QStringLiteral(". "));
}

void TForm1Test::contentsOpensTheHelpTopic()
{
    QDir(m_root->path()).mkpath(QStringLiteral("help/html"));
    QFile topic(m_root->filePath(QStringLiteral("help/html/Main Contents.html")));
    QVERIFY(topic.open(QIODevice::WriteOnly));
    topic.write("<html><body><h1>Contents here</h1></body></html>");
    topic.close();
    QDir::setCurrent(m_root->path());
    makeWindow();
    showWindow();
    action(QStringLiteral("&Contents"))->trigger();
    board::HelpViewer* viewer = m_form->helpViewer();
    QVERIFY(viewer->isVisible());
    QVERIFY(viewer->browser()->toPlainText().contains(QStringLiteral("Contents here")));
    QVERIFY(m_form->alertMenu()->lines().join(QString()).isEmpty());
}

void TForm1Test::failedSaveShowsTheServersStateAndNeverNamesTheMirror()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    logIn(QStringLiteral("Bob"));
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(bobsRemark(), std::string("Out"));
    QStringList alerts;
    const auto shown = m_station->alert;
    m_station->alert = [&](const std::vector<std::string>& lines) {
        for (const auto& line : lines)
            alerts << QString::fromStdString(line);
        shown(lines);
    };

    QVERIFY(QFile::resize(QString::fromStdString(m_data + "/qb3.dbf"), 100));
    action(QStringLiteral("&In"))->trigger();
    QVERIFY2(alerts.join(QLatin1Char(' ')).contains(QStringLiteral("Unable to save")), qPrintable(alerts.join(QLatin1Char('|'))));
    QCOMPARE(bobsRemark(), std::string("Out"));
    QCOMPARE(m_form->board().colorCodes[static_cast<std::size_t>(m_bob)], static_cast<std::uint8_t>('r'));
    QCOMPARE(m_form->board().ownStatus, board::remark::kOut);
    auto* status = child<QLabel>("WriteStatus");
    QVERIFY(status && status->isVisibleTo(m_form.get()));
    QVERIFY2(status->text().startsWith(QStringLiteral("Not saved: \"In\"")), qPrintable(status->text()));

    // Later clicks fail the same way and never name this station's mirror.
    action(QStringLiteral("&In"))->trigger();
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(bobsRemark(), std::string("Out"));
    alerts << m_form->alertMenu()->lines();
    for (const QString& line : alerts)
        QVERIFY2(!line.contains(QStringLiteral("q3.dbf")), qPrintable(line));
}

void TForm1Test::damagedNamesTableKeepsTheMirrorAndSaysWhatIsWrong_data()
{
    QTest::addColumn<bool>("truncate");
    QTest::newRow("truncated to 100 bytes") << true;
    QTest::newRow("first 32 bytes overwritten") << false;
}

void TForm1Test::damagedNamesTableKeepsTheMirrorAndSaysWhatIsWrong()
{
    QFETCH(bool, truncate);
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    m_form.reset();
    QFile mirrorFile(m_root->filePath(QStringLiteral("q3.dbf")));
    QVERIFY(mirrorFile.open(QIODevice::ReadOnly));
    const QByteArray mirror = mirrorFile.readAll();
    mirrorFile.close();
    QVERIFY(mirror.size() > 385);

    const QString table = QString::fromStdString(m_data + "/qb3.dbf");
    if (truncate) {
        QVERIFY(QFile::resize(table, 100));
    } else {
        QFile f(table);
        QVERIFY(f.open(QIODevice::ReadWrite));
        f.write(QByteArray(32, 'x'));
    }
    makeWindow();
    showWindow();
    QVERIFY(mirrorFile.open(QIODevice::ReadOnly));
    QCOMPARE(mirrorFile.readAll(), mirror);
    const QStringList lines = m_form->alertMenu()->lines();
    QCOMPARE(lines.size(), 3);
    QVERIFY2(lines[0].contains(QStringLiteral("damaged")), qPrintable(lines.join(QLatin1Char('|'))));
    QVERIFY2(lines[1].trimmed().size() > 5, qPrintable(lines.join(QLatin1Char('|')))); // the engine's own text
    QVERIFY2(lines[2].contains(QStringLiteral("qbtool check")), qPrintable(lines.join(QLatin1Char('|'))));
    auto* state = child<QLabel>("ServerState");
    QVERIFY(state && state->isVisibleTo(m_form.get()));
    QVERIFY(m_form->windowTitle().contains(QStringLiteral("damaged")));
    // The last good copy still knows everybody.
    logIn(QStringLiteral("Bob"));
}

void TForm1Test::missingDataDirectoryShowsTheOfflineStateUntilItReturns()
{
    setOption(m_bob, admin::opt::kAutoLogin, true);
    makeWindow();
    showWindow();
    m_form.reset();
    const QString data = QString::fromStdString(m_data);
    QVERIFY(QDir().rename(data, data + QStringLiteral(".away")));

    makeWindow();
    showWindow();
    auto* state = child<QLabel>("ServerState");
    QVERIFY(state && state->isVisibleTo(m_form.get()));
    QVERIFY2(state->text().startsWith(QStringLiteral("Server not reachable")), qPrintable(state->text()));
    QVERIFY(m_form->windowTitle().contains(QStringLiteral("server not reachable")));
    logIn(QStringLiteral("Bob"));
    QVERIFY(state->isVisibleTo(m_form.get()));
    const std::string before = bobsRemark();
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(bobsRemark(), before);
    auto* status = child<QLabel>("WriteStatus");
    QVERIFY(status && status->isVisibleTo(m_form.get()));
    QVERIFY(status->text().startsWith(QStringLiteral("Not saved")));

    // The directory returns; the names poll notices by itself.
    QVERIFY(QDir().rename(data + QStringLiteral(".away"), data));
    for (int tick = 0; tick < 2 * m_form->board().options.refreshTicks + 20 && state->isVisibleTo(m_form.get());
         ++tick)
        m_form->timer1Tick();
    QVERIFY(!state->isVisibleTo(m_form.get()));
    QCOMPARE(m_form->windowTitle(), QStringLiteral("Quellboard Pro"));
    action(QStringLiteral("&Out)"))->trigger();
    QCOMPARE(bobsRemark(), std::string("Out"));
    QVERIFY(!status->isVisibleTo(m_form.get()));
}

QTEST_MAIN(TForm1Test)
#include "TForm1Test.moc"
