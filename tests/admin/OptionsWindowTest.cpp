// The options window driven with the mouse as a person or the administrator
// would, on a scratch data directory. With QB_SCREENSHOT_DIR set (and a real
// display, for example under xvfb-run with QT_QPA_PLATFORM=xcb) the
// screenshots test also saves pictures of the three modes there.
#include "admin/AdminCommands.h"
#include "admin/ConfigTable.h"
#include "admin/GroupMenu.h"
#include "admin/NameAdmin.h"
#include "admin/TOptionsForm.h"
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "engine/controls/TTzCheckBox.h"
#include "tests/support/ScriptedDialogs.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "tools/DataDirCommands.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <set>
#include <sstream>

using namespace qb;
using admin::TOptionsForm;

namespace {

// Reads one logical or number of the first record of an ident, as another station would.
std::int64_t stored(const std::string& dir, int ident, const std::string& field)
{
    engine::Engine e;
    engine::TTzDbf t("Peek", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3cfg3.dbf");
    if (!t.setActive(true))
        return -1;
    for (t.GoTop(); !t.dEOF(); t.Skip(1))
        if (t.GetLongField("ident") == ident)
            return field.rfind("value", 0) == 0 || field.rfind("usercan", 0) == 0 ? t.GetLField(field)
                                                                                  : t.GetLongField(field);
    return -2;
}

void store(const std::string& dir, int ident, const std::string& field, std::int64_t v)
{
    engine::Engine e;
    engine::TTzDbf t("Poke", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3cfg3.dbf");
    QVERIFY(t.setActive(true));
    for (t.GoTop(); !t.dEOF(); t.Skip(1))
        if (t.GetLongField("ident") == ident)
            break;
    QVERIFY(!t.dEOF());
    if (field.rfind("value", 0) == 0 || field.rfind("usercan", 0) == 0 || field.find("lock") != std::string::npos)
        t.SetLField(field, v != 0);
    else
        t.SetLongField(field, v);
    QVERIFY(t.RLock());
    t.Replace();
    t.Flush();
    t.UnLock();
}

QColor background(QWidget* w) { return w->palette().color(QPalette::Window); }

std::string fileBytes(const std::string& path)
{
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

} // namespace

class OptionsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void withheldRightIsGreyAndCannotBeTicked();
    void intervalListsShowStoredTicks_data();
    void intervalListsShowStoredTicks();
    void changeAllShowsProgressAndCount();
    void addingModeAddsWithTheShownOptions();
    void groupMenuCreatesAndChooses();
    void adminCommandsAskFirst();
    void screenshots();

private:
    std::unique_ptr<TOptionsForm> open(bool admin, const QString& caption, int target);
    void tick(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2)); }

    std::unique_ptr<QTemporaryDir> m_root;
    std::string m_dir;
    std::unique_ptr<engine::Engine> m_engine;
    platform::MemoryEventLog m_log;
    std::unique_ptr<board::Station> m_station;
    admin::Options m_memory;
    qb::testing::ScriptedDialogs m_prompts; // boxes and prompts
};

void OptionsWindowTest::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_dir = m_root->filePath(QStringLiteral("data")).toStdString();
    std::ostringstream out, err;
    QCOMPARE(tools::initCommand({m_dir, "--demo"}, out, err), 0);
    m_engine = std::make_unique<engine::Engine>();
    m_station = std::make_unique<board::Station>(*m_engine, platform::SystemClock::instance(), m_log, m_dir, m_dir);
    m_station->pause = [](std::chrono::milliseconds) {};
    m_prompts = qb::testing::ScriptedDialogs();
}

void OptionsWindowTest::cleanup()
{
    m_station.reset();
    m_engine.reset();
    m_root.reset();
}

std::unique_ptr<TOptionsForm> OptionsWindowTest::open(bool admin, const QString& caption, int target)
{
    TOptionsForm::Context c;
    c.station = m_station.get();
    c.adminMode = admin;
    c.inMemory = &m_memory;
    c.caption = caption;
    c.target = target;
    c.dialogs = &m_prompts;
    c.groups = [] { return QStringList {QStringLiteral("Sales"), QStringLiteral("R+D")}; };
    auto form = std::make_unique<TOptionsForm>(std::move(c));
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    form->initialise();
    return form;
}

void OptionsWindowTest::withheldRightIsGreyAndCannotBeTicked()
{
    store(m_dir, 1, "usercan1", false);
    store(m_dir, 1, "value1", false);
    store(m_dir, 1, "usercan2", true);
    const QColor face = QApplication::palette().color(QPalette::Button);
    QVERIFY(face != TOptionsForm::lime());
    {
        // The person himself: option 1 grey and locked, option 2 lime and free.
        auto form = open(false, QString::fromLatin1(admin::kOwnOptionsCaption), 1);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Options"));
        QVERIFY(!form->findChild<QPushButton*>(QStringLiteral("ChangeAll"))->isVisible());
        QVERIFY(!form->findChild<QGroupBox*>(QStringLiteral("AddGroup"))->isVisible());
        engine::TTzCheckBox* one = form->box(1);
        QCOMPARE(background(one), face);
        QCOMPARE(background(form->box(2)), TOptionsForm::lime());
        QCOMPARE(one->checkState(), Qt::Unchecked);
        tick(one);
        QCOMPARE(one->checkState(), Qt::Unchecked);
        QTest::mouseClick(one, Qt::RightButton, {}, QPoint(8, 8)); // only the administrator grants
        QCOMPARE(background(one), face);
        form->close();
        QCOMPARE(form->closeResult(), admin::CloseResult::NothingToWrite);
        QCOMPARE(stored(m_dir, 1, "value1"), 0);
    }
    {
        // The administrator: the same colours, and he ticks and grants anyway.
        auto form = open(true, QString::fromStdString(admin::adminOptionsCaption("Anna Berger")), 1);
        QVERIFY(form);
        QCOMPARE(form->windowTitle(), QStringLiteral("Options for Anna Berger (Admin Mode)"));
        QVERIFY(form->findChild<QPushButton*>(QStringLiteral("ChangeAll"))->isVisible());
        engine::TTzCheckBox* one = form->box(1);
        QCOMPARE(background(one), face);
        QCOMPARE(background(form->box(2)), TOptionsForm::lime());
        tick(one);
        QCOMPARE(one->checkState(), Qt::Checked);
        emit one->customContextMenuRequested(QPoint(8, 8));
        QCOMPARE(background(one), TOptionsForm::lime());
        emit form->box(2)->customContextMenuRequested(QPoint(8, 8));
        QCOMPARE(background(form->box(2)), face);
        form->close();
        QCOMPARE(form->closeResult(), admin::CloseResult::Written);
    }
    QCOMPARE(stored(m_dir, 1, "value1"), 1);
    QCOMPARE(stored(m_dir, 1, "usercan1"), 1);
    QCOMPARE(stored(m_dir, 1, "usercan2"), 0);
}

void OptionsWindowTest::intervalListsShowStoredTicks_data()
{
    QTest::addColumn<int>("msgchk");
    QTest::addColumn<int>("refresh");
    QTest::addColumn<QString>("messageText");
    QTest::addColumn<QString>("refreshText");
    QTest::newRow("odd ticks") << 180 << 90 << "1 minutes" << "45 seconds";
    QTest::newRow("list entries") << 7200 << 2400 << "1 hour" << "20 minutes";
    QTest::newRow("seconds") << 16 << 8 << "8 seconds" << "4 seconds";
    QTest::newRow("broken") << 0 << -1 << "40 seconds" << "30 seconds";
}

void OptionsWindowTest::intervalListsShowStoredTicks()
{
    QFETCH(int, msgchk);
    QFETCH(int, refresh);
    store(m_dir, 2, "msgchk", msgchk);
    store(m_dir, 2, "refresh", refresh);
    store(m_dir, 2, "msglock", 0);
    store(m_dir, 2, "reflock", 1);
    auto form = open(false, QStringLiteral("Options"), 2);
    QVERIFY(form);
    auto* messages = form->findChild<QComboBox*>(QStringLiteral("MessageList"));
    auto* refreshes = form->findChild<QComboBox*>(QStringLiteral("RefreshList"));
    QTEST(messages->currentText(), "messageText");
    QTEST(refreshes->currentText(), "refreshText");
    // msglock off: the person may choose; reflock on: he may not.
    QVERIFY(messages->isEnabled());
    QVERIFY(!refreshes->isEnabled());
    QCOMPARE(background(form->findChild<QLabel*>(QStringLiteral("MessageLabel"))), TOptionsForm::lime());
    messages->setCurrentIndex(2);
    emit messages->activated(2);
    QCOMPARE(messages->currentText(), QStringLiteral("2 minutes"));
    form->close();
    QCOMPARE(stored(m_dir, 2, "msgchk"), 240);
    // A broken interval goes out fixed up together with the change.
    QCOMPARE(stored(m_dir, 2, "refresh"), refresh < 1 ? 60 : refresh);
}

void OptionsWindowTest::changeAllShowsProgressAndCount()
{
    for (int i = 0; i < 60 - 8; ++i) { // the demo has 8 people
        admin::AddPersonOutcome r = admin::addPerson(*m_station, {"Person " + std::to_string(i), "G", {}}, nullptr);
        QCOMPARE(int(r.result), int(admin::AddPersonResult::Ok));
    }
    auto form = open(true, QString::fromStdString(admin::adminOptionsCaption("Person 7")), 12);
    QVERIFY(form);
    tick(form->box(13));
    QVERIFY(form->box(13)->checkState() == Qt::Checked);
    auto* label = form->findChild<QLabel*>(QStringLiteral("ErrorLabel"));
    std::set<QString> shown;
    QTimer sampler;
    connect(&sampler, &QTimer::timeout, this, [&] { shown.insert(label->text()); });
    sampler.start(0);
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("ChangeAll")), Qt::LeftButton);
    sampler.stop();
    QVERIFY2(shown.size() >= 10, "record numbers shown while it runs");
    QVERIFY(label->isVisible());
    QCOMPARE(label->text(), QStringLiteral(" 61 Set "));
    form->close();
    for (int ident = 0; ident <= 60; ++ident)
        QCOMPARE(stored(m_dir, ident, "value13"), 1);
}

void OptionsWindowTest::addingModeAddsWithTheShownOptions()
{
    auto form = open(true, QString::fromLatin1(admin::kAddingCaption), 0);
    QVERIFY(form);
    QCOMPARE(form->height(), TOptionsForm::kAddingHeight);
    QVERIFY(form->findChild<QGroupBox*>(QStringLiteral("AddGroup"))->isVisible());
    QVERIFY(!form->findChild<QPushButton*>(QStringLiteral("ChangeAll"))->isVisible());
    tick(form->box(22));
    const bool encrypt = form->box(22)->checkState() == Qt::Checked;
    auto* name = form->findChild<QLineEdit*>(QStringLiteral("NameEdit"));
    auto* group = form->findChild<QComboBox*>(QStringLiteral("GroupList"));
    QTest::keyClicks(name, QStringLiteral("Zoe Quinn"));
    group->setEditText(QStringLiteral("Q&A"));
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("AddButton")), Qt::LeftButton);
    QVERIFY2(m_prompts.shown().empty(), qPrintable(m_prompts.messageTexts().join(QLatin1Char('\n'))));
    QCOMPARE(name->text(), QString());
    QVERIFY(group->findText(QStringLiteral("Q+A")) >= 0);
    // The same name again is refused with a reason, nothing added.
    QTest::keyClicks(name, QStringLiteral("zoe quinn"));
    QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("AddButton")), Qt::LeftButton);
    QCOMPARE(m_prompts.messageTexts().size(), 1);
    QVERIFY(m_prompts.messageTexts().front().contains(QStringLiteral("on the board already")));
    form->close();
    const int index = admin::findPerson(*m_station, "Zoe Quinn");
    QCOMPARE(index, 9);
    QCOMPARE(stored(m_dir, index, "value22"), encrypt ? 1 : 0);
}

void OptionsWindowTest::groupMenuCreatesAndChooses()
{
    admin::GroupMenu menu(&m_prompts);
    menu.choice().setGroups({"Sales", "Support", "R&D"});
    menu.rebuild();
    QStringList texts;
    for (QAction* a : menu.actions())
        texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
    QCOMPARE(texts, (QStringList {QString::fromLatin1(admin::GroupChoice::kTitle), "-", "Create New Group", "-", "Sales",
                                  "Support", "R+D"}));
    QSignalSpy chosen(&menu, &admin::GroupMenu::groupChosen);
    m_prompts.answerText(QStringLiteral("Q&A"));
    menu.findChild<QAction*>(QStringLiteral("CreateNewGroup"))->trigger();
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("Q+A"));
    QCOMPARE(m_prompts.questions().back().caption, QStringLiteral("Enter New Group"));
    QCOMPARE(menu.actions().size(), 8);
    menu.actions().at(5)->trigger(); // Support
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(chosen.at(1).at(0).toString(), QStringLiteral("Support"));
    m_prompts.answerText(std::nullopt);
    menu.findChild<QAction*>(QStringLiteral("CreateNewGroup"))->trigger();
    QCOMPARE(chosen.count(), 2);
    QCOMPARE(menu.choice().current(), std::string());
}

void OptionsWindowTest::adminCommandsAskFirst()
{
    admin::AdminHost host;
    host.station = m_station.get();
    host.dialogs = &m_prompts;
    host.options = &m_memory;
    int reloads = 0;
    std::string forgotten;
    host.reloadBoard = [&] { ++reloads; };
    host.forgetLoginName = [&](const std::string& n) { forgotten = n; };
    host.groups = [] { return QStringList {QStringLiteral("Sales"), QStringLiteral("Support")}; };
    admin::AdminCommands commands(host);
    const std::string before = admin::personName(*m_station, 1);

    // Reset Password and Remove Name ask first; No changes nothing.
    m_prompts.setAnswer(core::Dialogs::Answer::No);
    const std::string bytes = fileBytes(m_dir + "/qb3.dbf");
    commands.resetPassword(1);
    commands.removeName(1);
    const QStringList asked = m_prompts.messageTexts(core::Dialogs::Box::Question);
    QCOMPARE(asked.size(), 2);
    QCOMPARE(asked[0], QStringLiteral("Set password to blank\nfor %1").arg(QString::fromStdString(before)));
    QCOMPARE(asked[1], QStringLiteral("Remove %1").arg(QString::fromStdString(before)));
    QCOMPARE(fileBytes(m_dir + "/qb3.dbf"), bytes);

    // Change Name offers the current name and writes the answer.
    m_prompts.answerText(QStringLiteral("Anna Lund"));
    commands.changeName(1);
    QCOMPARE(m_prompts.questions().back().caption, QStringLiteral("Change Name"));
    QCOMPARE(m_prompts.questions().back().prompt, QStringLiteral("New Name"));
    QCOMPARE(m_prompts.questions().back().initialText, QString::fromStdString(before));
    QCOMPARE(admin::personName(*m_station, 1), std::string("Anna Lund"));

    // The group pop-up writes the chosen group into the clicked person's record.
    commands.groupCellClicked(2, QPoint(10, 10));
    QAction* support = nullptr;
    for (QAction* a : commands.groupMenu()->actions())
        if (a->text() == QStringLiteral("Support"))
            support = a;
    QVERIFY(support);
    support->trigger();
    commands.groupMenu()->hide();
    engine::TTzDbf t("Grp", *m_engine);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_dir + "/qb3.dbf");
    QVERIFY(t.setActive(true));
    t.Go(3);
    QCOMPARE(t.getText("group"), std::string("Support"));
    t.setActive(false);

    // Remove Name answered Yes: removed, and this station forgets the name.
    m_prompts.setAnswer(core::Dialogs::Answer::Yes);
    commands.removeName(1);
    QCOMPARE(admin::personName(*m_station, 1), std::string());
    QCOMPARE(forgotten, std::string("Anna Lund"));
    QVERIFY(reloads >= 3);
}

void OptionsWindowTest::screenshots()
{
    const QString dir = qEnvironmentVariable("QB_SCREENSHOT_DIR");
    if (dir.isEmpty())
        QSKIP("QB_SCREENSHOT_DIR not set");
    QDir().mkpath(dir);
    store(m_dir, 1, "usercan1", false);
    struct Shot {
        bool admin;
        QString caption;
        int target;
        const char* file;
    };
    const Shot shots[] = {
        {false, QStringLiteral("Options"), 1, "options-own.png"},
        {true, QString::fromStdString(admin::adminOptionsCaption("Anna Berger")), 1, "options-admin.png"},
        {true, QString::fromLatin1(admin::kAddingCaption), 0, "options-adding.png"},
    };
    for (const Shot& s : shots) {
        auto form = open(s.admin, s.caption, s.target);
        QVERIFY(form);
        QTest::qWait(200);
        QVERIFY(form->grab().save(dir + QLatin1Char('/') + QLatin1String(s.file)));
        if (s.target == 1 && s.admin) {
            form->findChild<QTabWidget*>(QStringLiteral("Notebook"))->setCurrentIndex(2);
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("TextPanel")), Qt::LeftButton);
            QTest::qWait(100);
            QVERIFY(form->grab().save(dir + QStringLiteral("/options-admin-labels.png")));
        }
        form->close();
    }
    admin::GroupMenu menu(&m_prompts);
    menu.choice().setGroups({"Office", "Sales", "Support", "R&D"});
    menu.rebuild();
    menu.popup(QPoint(200, 200));
    QTest::qWait(300);
    QVERIFY(menu.grab().save(dir + QStringLiteral("/group-menu.png")));
    menu.hide();
}

QTEST_MAIN(OptionsWindowTest)
#include "OptionsWindowTest.moc"
