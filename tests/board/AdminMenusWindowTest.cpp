// The administration commands as a user reaches them on the board window:
// the administrator adds a person through "Add &Name" and removes him
// through the name pop-up; the group pop-up writes a group; "O&ptions",
// "Set &Options" and "Add &Name" open the options window in its modes; who
// sees which item.
#include "admin/AdminCommands.h"
#include "admin/ConfigTable.h"
#include "admin/GroupMenu.h"
#include "admin/NameAdmin.h"
#include "admin/TOptionsForm.h"
#include "board/AdminWiring.h"
#include "board/BoardGrid.h"
#include "board/TForm1.h"
#include "core/TableNames.h"
#include "engine/controls/TTzCheckBox.h"
#include "engine/TTzDbf.h"
#include "platform/FileOps.h"
#include "tests/support/BoardWindowStation.h"
#include "tests/support/ScriptedDialogs.h"
#include "ui/MenuRegistry.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

using namespace qb;
using board::TForm1;

class AdminMenusWindowTest : public QObject, private qb::testing::BoardWindowStation {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void administratorAddsAPersonAndRemovesHim();
    void groupCellOfferesTheGroupsAndWritesTheChoice();
    void itemsFollowTheLogin_data();
    void itemsFollowTheLogin();
    void commandsOpenTheOptionsWindowInTheirMode_data();
    void commandsOpenTheOptionsWindowInTheirMode();
    void ownOptionsTakeEffectWhenTheWindowCloses();

private:
    void start();
    void logIn(const QString& name);
    // Runs body on the options window the command opens, then closes it.
    void onOptionsWindow(std::function<void(admin::TOptionsForm&)> body);
    void clickName(int boardIndex);
    QAction* item(const char* objectName) const;
    std::string field(int boardIndex, const char* name) const;
    bool shown(const std::string& name) const;

    admin::AdminCommands* m_commands = nullptr;
    std::vector<std::pair<int, QString>> m_cards; // information cards opened
    int m_bob = -1;
};

void AdminMenusWindowTest::init()
{
    QVERIFY(makeStation());
    admin::AddedName added;
    QCOMPARE(admin::addName(*m_station, "Bob", "Sales", &added), admin::AddNameResult::Ok);
    m_bob = added.boardIndex;
    m_cards.clear();
}

void AdminMenusWindowTest::cleanup()
{
    dropStation();
}

void AdminMenusWindowTest::start()
{
    makeWindow();
    board::AdminWiring wiring;
    wiring.showInformation = [this](int index, const QString& name, const ui::MenuContext&) {
        m_cards.emplace_back(index, name);
    };
    m_commands = board::installAdministration(*m_form, *m_station, m_prompts, std::move(wiring));
    showWindow();
}

void AdminMenusWindowTest::logIn(const QString& name)
{
    BoardWindowStation::logIn(name);
    m_prompts.clearMessages();
}

void AdminMenusWindowTest::onOptionsWindow(std::function<void(admin::TOptionsForm&)> body)
{
    QObject::connect(
        m_commands, &admin::AdminCommands::optionsWindowOpened, m_form.get(),
        [body](admin::TOptionsForm* w) {
            QTimer::singleShot(0, w, [w, body] {
                w->initialise();
                body(*w);
                w->findChild<QPushButton*>(QStringLiteral("CloseButton"))->click();
            });
        },
        Qt::SingleShotConnection);
}

void AdminMenusWindowTest::clickName(int boardIndex)
{
    emit m_form->grid()->cellClicked(boardIndex, board::BoardView::kNameColumn, Qt::LeftButton);
    m_form->menus().menu(ui::MenuPlace::NamePopup)->hide();
}

QAction* AdminMenusWindowTest::item(const char* objectName) const
{
    return m_form->findChild<QAction*>(QString::fromLatin1(objectName));
}

std::string AdminMenusWindowTest::field(int boardIndex, const char* name) const
{
    engine::Engine e;
    engine::TTzDbf t("Reader", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data + "/qb3.dbf");
    if (!t.setActive(true))
        return "?";
    t.Go(boardIndex + 1);
    std::string v = t.getText(name);
    t.setActive(false);
    while (!v.empty() && v.back() == ' ')
        v.pop_back();
    return v;
}

bool AdminMenusWindowTest::shown(const std::string& name) const
{
    const board::Board& b = m_form->board();
    for (int index : b.displayOrder)
        if (b.names[static_cast<std::size_t>(index)] == name)
            return true;
    return false;
}

void AdminMenusWindowTest::administratorAddsAPersonAndRemovesHim()
{
    start();
    logIn(QStringLiteral("Admin"));
    QAction* addName = item("AddName1");
    QVERIFY(addName && addName->isVisible() && addName->isEnabled());
    QCOMPARE(addName->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));

    int added = -1;
    onOptionsWindow([&](admin::TOptionsForm& w) {
        w.findChild<QLineEdit*>(QStringLiteral("NameEdit"))->setText(QStringLiteral("Carol"));
        w.findChild<QComboBox*>(QStringLiteral("GroupList"))->setEditText(QStringLiteral("R&D"));
        w.findChild<QPushButton*>(QStringLiteral("AddButton"))->click();
        // The card of the new person comes up while the window stays open.
        QCOMPARE(m_cards.size(), std::size_t(1));
        added = m_cards[0].first;
        QCOMPARE(m_cards[0].second, QStringLiteral("Carol"));
    });
    addName->trigger();
    QVERIFY(added > m_bob);
    QVERIFY(shown("Carol"));
    QCOMPARE(field(added, "group"), std::string("R+D"));
    QVERIFY(m_form->viewGroups().contains(QStringLiteral("R+D")));

    // A mailbox left at that index goes with the person.
    const std::string mailbox = m_data + "/" + core::messageTableName(added);
    QFile box(QString::fromStdString(mailbox));
    QVERIFY(box.open(QIODevice::WriteOnly) && box.write(QByteArray(40, 'x')) == 40);
    box.close();

    // "Remove Name" on his name asks first; No keeps him.
    clickName(added);
    QAction* remove = item("RemoveName1");
    QVERIFY(remove && remove->isVisible() && remove->isEnabled());
    m_prompts.setAnswer(core::Dialogs::Answer::No);
    remove->trigger();
    QCOMPARE(m_prompts.messageTexts(), QStringList {QStringLiteral("Remove Carol")});
    QVERIFY(shown("Carol"));
    m_prompts.setAnswer(core::Dialogs::Answer::Yes);
    remove->trigger();
    QVERIFY(!shown("Carol"));
    QVERIFY(shown("Bob"));
    QCOMPARE(field(added, "name"), std::string());
    QVERIFY(!platform::fileExists(mailbox));
}

void AdminMenusWindowTest::groupCellOfferesTheGroupsAndWritesTheChoice()
{
    admin::AddedName added;
    QCOMPARE(admin::addName(*m_station, "Dana", "Support", &added), admin::AddNameResult::Ok);
    start();

    // A person's click on a group cell filters; no pop-up.
    logIn(QStringLiteral("Bob"));
    emit m_form->grid()->cellClicked(added.boardIndex, board::BoardView::kGroupColumn, Qt::LeftButton);
    QVERIFY(!m_commands->groupMenu()->isVisible());
    m_form->logOut();

    logIn(QStringLiteral("Admin"));
    emit m_form->grid()->cellClicked(m_bob, board::BoardView::kGroupColumn, Qt::LeftButton);
    admin::GroupMenu* menu = m_commands->groupMenu();
    QVERIFY(menu->isVisible());
    QStringList captions;
    for (QAction* a : menu->actions())
        if (!a->isSeparator())
            captions << a->text();
    QCOMPARE(captions, (QStringList {QStringLiteral("        Select Group Name       "), QStringLiteral("Create New Group"),
                                     QStringLiteral("Sales"), QStringLiteral("Support")}));
    menu->actions().at(captions.indexOf(QStringLiteral("Support")) + 2)->trigger(); // two separators before
    menu->hide();
    QCOMPARE(field(m_bob, "group"), std::string("Support"));
    QCOMPARE(m_form->board().groups[static_cast<std::size_t>(m_bob)], std::string("Support"));

    // A new group: "&" becomes "+", and the View menu gets its item.
    m_prompts.answerText(QStringLiteral("Front & Back"));
    emit m_form->grid()->cellClicked(m_bob, board::BoardView::kGroupColumn, Qt::LeftButton);
    menu->findChild<QAction*>(QStringLiteral("CreateNewGroup"))->trigger();
    menu->hide();
    QCOMPARE(field(m_bob, "group"), std::string("Front + Back"));
    QVERIFY(m_form->viewGroups().contains(QStringLiteral("Front + Back")));
}

void AdminMenusWindowTest::itemsFollowTheLogin_data()
{
    QTest::addColumn<QString>("who"); // "", "Bob" or "Admin"
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    const char* nameItems[] = {"ResetPassword1", "ChangeName1", "RemoveName1", "SetOptions1"};
    for (const char* n : nameItems) {
        QTest::addRow("person %s", n) << QStringLiteral("Bob") << QString::fromLatin1(n) << false << false;
        QTest::addRow("admin %s", n) << QStringLiteral("Admin") << QString::fromLatin1(n) << true << true;
    }
    QTest::addRow("logged out AddName1") << QString() << QStringLiteral("AddName1") << false << true;
    QTest::addRow("person AddName1") << QStringLiteral("Bob") << QStringLiteral("AddName1") << false << true;
    QTest::addRow("admin AddName1") << QStringLiteral("Admin") << QStringLiteral("AddName1") << true << true;
    for (const char* n : {"Options1", "TrayOptions"}) {
        QTest::addRow("logged out %s", n) << QString() << QString::fromLatin1(n) << true << false;
        QTest::addRow("person %s", n) << QStringLiteral("Bob") << QString::fromLatin1(n) << true << true;
        QTest::addRow("admin %s", n) << QStringLiteral("Admin") << QString::fromLatin1(n) << true << true;
    }
}

void AdminMenusWindowTest::itemsFollowTheLogin()
{
    QFETCH(QString, who);
    QFETCH(QString, objectName);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    start();
    if (!who.isEmpty()) {
        logIn(who);
        clickName(m_bob); // the name items are judged when the pop-up opens
    }
    QAction* a = m_form->findChild<QAction*>(objectName);
    QVERIFY(a);
    QCOMPARE(a->isVisible(), visible);
    if (visible)
        QCOMPARE(a->isEnabled(), enabled);
    // Not yet built items say so; these are built.
    QVERIFY(a->toolTip() != QString::fromLatin1(ui::MenuRegistry::kNotInThisVersion));
}

void AdminMenusWindowTest::commandsOpenTheOptionsWindowInTheirMode_data()
{
    QTest::addColumn<QString>("who");
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("caption"); // empty: no window
    QTest::addColumn<bool>("adding");
    QTest::addColumn<QString>("box");     // the information box instead
    QTest::addRow("own options") << QStringLiteral("Bob") << QStringLiteral("Options1") << QStringLiteral("Options")
                                 << false << QString();
    QTest::addRow("tray options") << QStringLiteral("Bob") << QStringLiteral("TrayOptions")
                                  << QStringLiteral("Options") << false << QString();
    QTest::addRow("administrator's options") << QStringLiteral("Admin") << QStringLiteral("Options1") << QString() << false
                                             << QStringLiteral("Click on a name and\nselect Set Options to \nset "
                                                               "individual options");
    QTest::addRow("set options") << QStringLiteral("Admin") << QStringLiteral("SetOptions1")
                                 << QStringLiteral("Options for Bob (Admin Mode)") << false << QString();
    QTest::addRow("add name") << QStringLiteral("Admin") << QStringLiteral("AddName1")
                              << QStringLiteral("Add New Names and set Options") << true << QString();
}

void AdminMenusWindowTest::commandsOpenTheOptionsWindowInTheirMode()
{
    QFETCH(QString, who);
    QFETCH(QString, objectName);
    QFETCH(QString, caption);
    QFETCH(bool, adding);
    QFETCH(QString, box);
    start();
    logIn(who);
    clickName(m_bob);
    QString seen;
    bool addBox = false;
    onOptionsWindow([&](admin::TOptionsForm& w) {
        seen = w.windowTitle();
        addBox = w.findChild<QWidget*>(QStringLiteral("AddGroup"))->isVisible();
    });
    m_form->findChild<QAction*>(objectName)->trigger();
    QCOMPARE(seen, caption);
    QCOMPARE(addBox, adding);
    QCOMPARE(m_prompts.messageTexts(), box.isEmpty() ? QStringList {} : QStringList {box});
}

void AdminMenusWindowTest::ownOptionsTakeEffectWhenTheWindowCloses()
{
    start();
    logIn(QStringLiteral("Bob"));
    QAction* refresh = nullptr;
    for (QAction* a : m_form->findChildren<QAction*>())
        if (a->text() == QStringLiteral("&Refresh"))
            refresh = a;
    QVERIFY(refresh && !refresh->isVisible());
    QVERIFY(!m_form->board().options[admin::opt::kRefreshItem]);
    onOptionsWindow([](admin::TOptionsForm& w) {
        QWidget* box = w.box(admin::opt::kRefreshItem);
        w.findChild<QTabWidget*>(QStringLiteral("Notebook"))->setCurrentWidget(box->parentWidget());
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(8, box->height() / 2));
    });
    item("Options1")->trigger();
    QVERIFY(m_form->board().options[admin::opt::kRefreshItem]);
    QVERIFY(refresh->isVisible());
}

QTEST_MAIN(AdminMenusWindowTest)
#include "AdminMenusWindowTest.moc"
