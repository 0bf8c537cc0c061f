// The messaging windows driven as a person would, offscreen: two stations on
// one data directory, each with its own engine and controller.
#include "engine/TTzDbf.h"
#include "engine/controls/TTzNavigator.h"
#include "messages/MessagingController.h"
#include "messages/TSendMsg3.h"
#include "messages/TrdMsgs.h"
#include "platform/EventLog.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tests/support/FakeClock.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

using namespace qb;
using namespace qb::messages;
using qb::test::TempDir;

namespace {

QApplication& app()
{
    static int argc = 1;
    static char name[] = "messaging_window_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* a = new QApplication(argc, argv);
    return *a;
}

// One workstation: engine, host answers and the controller.
struct Workstation {
    engine::Engine engine;
    test::FakeClock clock{std::chrono::system_clock::now()};
    int appReady = (app(), 0);
    platform::MemoryEventLog log;
    board::Station station;
    QWidget boardWindow;
    int own;
    std::string name;
    std::array<bool, 24> options{};
    std::string filter;
    std::vector<std::vector<std::string>> alerts;
    QString title = QStringLiteral("Quellboard Pro");
    std::vector<QString> status;
    qb::testing::ScriptedDialogs dialogs;
    std::unique_ptr<MessagingController> ctl;

    Workstation(const std::string& dir, int ownIndex, std::string ownName,
                std::vector<std::pair<int, std::string>> people)
        : station(engine, clock, log, dir, dir), own(ownIndex), name(std::move(ownName))
    {
        app();
        station.pause = [](std::chrono::milliseconds) {};
        MessagingHost h;
        h.boardWindow = &boardWindow;
        h.loggedIn = [] { return true; };
        h.adminMode = [] { return false; };
        h.ownIndex = [this] { return own; };
        h.ownName = [this] { return name; };
        h.option = [this](int n) { return options[static_cast<std::size_t>(n)]; };
        h.messageInterval = [] { return 4; };
        h.viewFilter = [this] { return filter; };
        h.inText = [] { return std::string("In"); };
        h.people = [people] { return people; };
        h.mirrorPath = [dir] { return dir + "/q3.dbf"; };
        h.workstationDir = [dir] { return dir; };
        h.outOfOfficeColouring = [] { return false; };
        h.alert = [this](const std::vector<std::string>& l) { alerts.push_back(l); };
        h.statusLine = [this](const QString& t) { status.push_back(t); };
        h.setTitle = [this](const QString& t) { title = t; };
        h.caption = [this] { return title; };
        dialogs.setAnswer(core::Dialogs::Answer::Ok);
        h.dialogs = &dialogs;
        ctl = std::make_unique<MessagingController>(station, h);
        ctl->loggedIn();
    }
};

// A names-table copy with the fields "everyone" is read from.
void writeMirror(const std::string& path, int people)
{
    engine::Engine e;
    engine::TTzDbf t("Mirror", e);
    t.DbfFields = {"ident, N, 4, 0", "name, C, 40, 0", "group, C, 40, 0"};
    t.setDbfFileName(path);
    ASSERT_TRUE(t.openOrCreate());
    for (int i = 0; i <= people; ++i) {
        t.ClearRecord();
        t.SetLongField("ident", i);
        t.setText("name", i == 0 ? "Admin" : "Person " + std::to_string(i));
        t.setText("group", i % 2 ? "Sales" : "Office");
        ASSERT_TRUE(t.ALock());
        t.Append();
        t.Flush();
        t.UnLock();
    }
}

std::vector<std::pair<int, std::string>> peopleList(int n)
{
    std::vector<std::pair<int, std::string>> p;
    for (int i = 1; i <= n; ++i)
        p.emplace_back(i, "Person " + std::to_string(i));
    return p;
}

// With QB_SCREENSHOT_DIR set (run under a real X server), windows are saved
// there as PNG files for the README and for looking at them.
void screenshot(QWidget* w, const char* name)
{
    const QByteArray dir = qgetenv("QB_SCREENSHOT_DIR");
    if (dir.isEmpty())
        return;
    QTest::qWait(200);
    w->grab().save(QString::fromUtf8(dir) + QLatin1Char('/') + QLatin1String(name));
}

std::vector<StoredMessage> messagesOf(Workstation& w, int index)
{
    engine::TTzDbf t("QBAll", w.engine);
    std::vector<StoredMessage> all;
    if (!openMailbox(t, w.station, index, false))
        return all;
    for (t.GoTop(); !t.dEOF(); t.Skip(1))
        all.push_back(readMessage(t));
    return all;
}

} // namespace

// A message typed at one station reaches the other's reader through the
// alert; it shows green once, is marked read, and a reply goes back.
TEST(MessagingWindows, SentMessageIsAnnouncedReadAndAnswered)
{
    TempDir dir;
    Workstation anna(dir.path(), 1, "Anna Berger", peopleList(3));
    Workstation ben(dir.path(), 2, "Ben Okafor", peopleList(3));
    ben.options[7] = true; // bring the board forward with the reader
    ben.options[6] = true; // sound

    anna.ctl->openSendWindow(2, "Ben Okafor", "In");
    TSendMsg3* w = anna.ctl->sendWindow();
    ASSERT_TRUE(w->isVisible());
    EXPECT_EQ(w->recipientText(), "Ben Okafor");
    QTest::keyClicks(w->subject(), "Parcel");
    w->memo()->setPlainText("A parcel for you\nat reception");
    w->setFlags(flag::kUrgent | flag::kPleaseCall);
    screenshot(w, "send-window.png");
    w->sendButton()->click();
    EXPECT_FALSE(w->isVisible());
    ASSERT_TRUE(anna.alerts.empty());

    int ticks = 0;
    while (ben.ctl->check().alertState == alert::kNone && ticks < 20) {
        ben.ctl->timerTick();
        ++ticks;
    }
    EXPECT_LE(ticks, 5) << "found within the interval and a tick";
    EXPECT_EQ(ben.ctl->soundsPlayed(), 1);
    QTRY_VERIFY_WITH_TIMEOUT(ben.ctl->reader()->isVisible(), 2000);
    TrdMsgs* r = ben.ctl->reader();
    EXPECT_TRUE(r->shownGreen());
    EXPECT_EQ(r->memo()->toPlainText(), "A parcel for you\nat reception");
    EXPECT_EQ(r->fromText(), "Anna Berger");
    EXPECT_TRUE(r->flagPanelShown());
    EXPECT_EQ(r->shownFlags(), flag::kUrgent | flag::kPleaseCall | flag::kOrdinary);
    screenshot(r, "reader-new-message.png");
    auto stored = messagesOf(ben, 2);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_TRUE(stored[0].read);
    EXPECT_EQ(stored[0].fromId, 1);

    // Blinking while the reader is up stops once it is closed.
    r->closeReader();
    EXPECT_EQ(ben.ctl->check().alertState, alert::kNone);
    ben.ctl->timerTick();
    EXPECT_EQ(ben.title, "Quellboard Pro");

    // Shown again it is black; a direct reply goes back to the sender.
    ben.ctl->readMessages();
    ASSERT_TRUE(r->isVisible());
    EXPECT_FALSE(r->shownGreen());
    QTest::keyClicks(r->memo(), "Thanks");
    EXPECT_TRUE(r->directReply());
    QTest::keyClick(r->memo(), Qt::Key_Escape);
    EXPECT_FALSE(r->directReply());
    EXPECT_EQ(r->memo()->toPlainText(), "A parcel for you\nat reception");
    QTest::keyClicks(r->memo(), "T");
    QTest::keyClicks(r->memo(), "hanks, coming");
    r->findChild<QPushButton*>("ReplyButton")->click();
    auto back = messagesOf(anna, 1);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].subject, "Re: Parcel");
    EXPECT_EQ(back[0].lines, (std::vector<std::string>{"Thanks, coming", "----- Original Message -----",
                                                       "From: Anna Berger", "Sent: " + stored[0].time,
                                                       "> A parcel for you", "> at reception"}));

    // Print to a PDF file: the lines of the print-out.
    const std::string pdf = dir.file("message.pdf");
    r->choosePrinter = [&](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(pdf));
        return true;
    };
    ASSERT_TRUE(r->print());
    std::string text;
    if (qb::test::runCommand("command -v pdftotext >/dev/null") == 0) {
        ASSERT_EQ(qb::test::runCommand("pdftotext -layout '" + pdf + "' -", &text), 0);
        EXPECT_NE(text.find("Quellboard Pro Message"), std::string::npos) << text;
        EXPECT_NE(text.find("From: Anna Berger"), std::string::npos) << text;
        EXPECT_NE(text.find("Received " + stored[0].time), std::string::npos) << text;
        EXPECT_NE(text.find("To: Ben Okafor"), std::string::npos) << text;
        EXPECT_NE(text.find("Subject: Parcel"), std::string::npos) << text;
        EXPECT_NE(text.find("at reception"), std::string::npos) << text;
    }

    // Deleting the only message leaves an empty table (packed: nobody else has it open).
    r->deleteMessage();
    EXPECT_EQ(r->windowTitle(), "Messages: 0");
    EXPECT_TRUE(messagesOf(ben, 2).empty());
    r->closeReader();
}

// "Send to everyone" on a board of 60 names delivers one message to each,
// one recipient per step, while the event loop keeps answering.
TEST(MessagingWindows, MultipleSendToSixtyNamesKeepsTheBoardAnswering)
{
    // On memory, so that what is measured is the program's own work per
    // step and not how long a loaded disk takes to sync (each new table is
    // synced to disk several times).
    const char* saved = std::getenv("TMPDIR");
    const std::string savedTmp = saved ? saved : "";
    if (qb::platform::isDirectory("/dev/shm"))
        ::setenv("TMPDIR", "/dev/shm", 1);
    TempDir dir;
    if (saved)
        ::setenv("TMPDIR", savedTmp.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    writeMirror(dir.file("q3.dbf"), 60);
    Workstation anna(dir.path(), 1, "Person 1", peopleList(60));
    anna.ctl->openSendWindow(5, "Person 5", "In");
    TSendMsg3* w = anna.ctl->sendWindow();
    EXPECT_EQ(w->multipleButton()->text(), "S&end to everyone");
    QTest::keyClicks(w->subject(), "Fire drill");
    w->memo()->setPlainText("At 11:00 today");
    w->findChild<QPushButton*>("ToButton")->click();
    w->setTicked({2, 3, 5, 8, 13});
    screenshot(w, "send-recipients.png");
    w->panelCancel();

    QElapsedTimer sinceLast;
    qint64 longest = 0;
    QTimer watchdog;
    watchdog.setInterval(5);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceLast.restart());
    });
    bool finished = false;
    QObject::connect(anna.ctl.get(), &MessagingController::multipleSendFinished, [&] { finished = true; });
    sinceLast.start();
    watchdog.start();
    w->multipleButton()->click();
    EXPECT_EQ(anna.dialogs.messageTexts(), QStringList {QStringLiteral("Send to everyone")});
    EXPECT_TRUE(anna.ctl->busySending());
    anna.ctl->openSendWindow(3, "Person 3", "In");
    ASSERT_FALSE(anna.alerts.empty());
    EXPECT_EQ(anna.alerts.back(), (std::vector<std::string>{"Busy sending", "Please try later"}));
    QTRY_VERIFY_WITH_TIMEOUT(finished, 60000);
    watchdog.stop();
    EXPECT_LT(longest, 100) << "the event loop was blocked for " << longest << " ms";
    std::cout << "[          ] longest pause of the event loop: " << longest << " ms\n";

    for (int i = 1; i <= 60; ++i) {
        auto m = messagesOf(anna, i);
        ASSERT_EQ(m.size(), 1u) << "person " << i;
        EXPECT_EQ(m[0].subject, "Fire drill");
    }
    EXPECT_EQ(anna.status.back(), "Sent to 60");
    EXPECT_TRUE(std::find(anna.status.begin(), anna.status.end(), "Sending 12 of 60") != anna.status.end());
    EXPECT_FALSE(anna.ctl->busySending());
}
