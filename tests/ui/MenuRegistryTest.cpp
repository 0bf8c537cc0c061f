// The menus an area fills through the registry: greyed items of later work
// become real in their place, new items go by their order, and every item
// shows for whom its rule says.
#include "ui/MenuRegistry.h"

#include <QAction>
#include <QMenu>
#include <QtTest>

using namespace qb;
using ui::MenuContext;
using ui::MenuPlace;

namespace {

// The visible, non-separator texts of a menu, in order.
QStringList shown(const QMenu* menu)
{
    QStringList texts;
    for (const QAction* a : menu->actions())
        if (a->isVisible() && !a->isSeparator())
            texts << a->text();
    return texts;
}

} // namespace

class MenuRegistryTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void laterWorkBecomesRealInItsPlace();
    void newItemGoesByItsOrder();
    void itemsShowForWhomTheirRuleSays_data();
    void itemsShowForWhomTheirRuleSays();

private:
    QMenu* m_actions = nullptr;
    QMenu* m_popup = nullptr;
    QMenu* m_tray = nullptr;
    QMenu* m_options = nullptr;
    ui::MenuRegistry* m_menus = nullptr;
    MenuContext m_context;
};

void MenuRegistryTest::init()
{
    m_actions = new QMenu;
    m_popup = new QMenu;
    m_tray = new QMenu;
    m_options = new QMenu;
    m_menus = new ui::MenuRegistry;
    m_context = MenuContext {};
    m_menus->setContextSource([this] { return m_context; });
    m_menus->attach(MenuPlace::Actions, m_actions);
    m_menus->attach(MenuPlace::NamePopup, m_popup);
    m_menus->attach(MenuPlace::Tray, m_tray);
    m_menus->attach(MenuPlace::Options, m_options);
    // The board's own items around the places left for the others.
    auto* logOut = new QAction(QStringLiteral("&Log Out"), m_actions);
    m_menus->place(MenuPlace::Actions, ui::menuorder::kLogOut, logOut);
    auto* exit = new QAction(QStringLiteral("E&xit"), m_actions);
    m_menus->place(MenuPlace::Actions, ui::menuorder::kExit, exit);
    auto* name = new QAction(QStringLiteral("Carol"), m_popup);
    m_menus->place(MenuPlace::NamePopup, ui::menuorder::kPopupName, name);
    ui::installLaterWork(*m_menus);
}

void MenuRegistryTest::cleanup()
{
    delete m_menus;
    delete m_actions;
    delete m_popup;
    delete m_tray;
    delete m_options;
}

void MenuRegistryTest::laterWorkBecomesRealInItsPlace()
{
    QAction* grey = m_menus->action(ui::menukey::kPopupSendMessage);
    QVERIFY(grey && !grey->isEnabled());
    QCOMPARE(grey->toolTip(), QString::fromLatin1(ui::MenuRegistry::kNotInThisVersion));
    const QList<QAction*> before = m_popup->actions();

    int sentTo = -1;
    QAction* real = m_menus->install({ui::menukey::kPopupSendMessage, MenuPlace::NamePopup,
                                      ui::menuorder::kPopupSendMessage, QStringLiteral("&Send Message"), {}, {}, {},
                                      {}, [&sentTo](const MenuContext& c) { sentTo = c.target; }});
    QCOMPARE(real, grey);
    QCOMPARE(m_popup->actions(), before);
    QVERIFY(real->isEnabled());
    QVERIFY(real->toolTip() != QString::fromLatin1(ui::MenuRegistry::kNotInThisVersion));
    // The command acts on the person clicked when it is chosen.
    m_context.target = 7;
    real->trigger();
    QCOMPARE(sentTo, 7);
}

void MenuRegistryTest::newItemGoesByItsOrder()
{
    m_menus->install({"planner.popup", MenuPlace::NamePopup, ui::menuorder::kPopupPlanner, QStringLiteral("&Planner"),
                      {}, {}, {}, {}, [](const MenuContext&) {}});
    m_context.admin = true;
    m_menus->refresh();
    QCOMPARE(shown(m_popup), (QStringList {QStringLiteral("Carol"), QStringLiteral("&Planner"),
                                           QStringLiteral("Reset &Password"), QStringLiteral("&Change Name"),
                                           QStringLiteral("Remove Name")}));
}

void MenuRegistryTest::itemsShowForWhomTheirRuleSays_data()
{
    QTest::addColumn<bool>("loggedIn");
    QTest::addColumn<bool>("admin");
    QTest::addColumn<bool>("messagesOff");
    QTest::addColumn<QStringList>("actions");
    QTest::addColumn<QStringList>("popup");

    const QString logOut = QStringLiteral("&Log Out"), exit = QStringLiteral("E&xit");
    const QString read = QStringLiteral("&Read Message(s)"), add = QStringLiteral("Add &Name");
    const QStringList personPopup {QStringLiteral("Carol"), QStringLiteral("&Send Message"),
                                   QStringLiteral("&Read Message")};
    const QStringList adminPopup {QStringLiteral("Carol"), QStringLiteral("Reset &Password"),
                                  QStringLiteral("&Change Name"), QStringLiteral("Remove Name")};
    QTest::newRow("nobody") << false << false << false << QStringList {logOut, read, exit} << personPopup;
    QTest::newRow("person") << true << false << false << QStringList {logOut, read, exit} << personPopup;
    QTest::newRow("person, messages off") << true << false << true << QStringList {logOut, exit}
                                          << QStringList {QStringLiteral("Carol")};
    QTest::newRow("administrator") << true << true << false << QStringList {logOut, add, exit} << adminPopup;
    QTest::newRow("administrator, messages off") << true << true << true << QStringList {logOut, add, exit}
                                                 << adminPopup;
}

void MenuRegistryTest::itemsShowForWhomTheirRuleSays()
{
    QFETCH(bool, loggedIn);
    QFETCH(bool, admin);
    QFETCH(bool, messagesOff);
    QFETCH(QStringList, actions);
    QFETCH(QStringList, popup);
    m_context.loggedIn = loggedIn;
    m_context.admin = admin;
    m_context.options[10] = messagesOff;
    m_menus->refresh();
    QCOMPARE(shown(m_actions), actions);
    QCOMPARE(shown(m_popup), popup);
    // The tray and Options items of later work show to everybody, greyed.
    QCOMPARE(shown(m_tray), (QStringList {QStringLiteral("&Read Message(s)"), QStringLiteral("O&ptions")}));
    QCOMPARE(shown(m_options), QStringList {QStringLiteral("O&ptions...")});
    for (QAction* a : m_tray->actions())
        QVERIFY(!a->isEnabled());
}

QTEST_MAIN(MenuRegistryTest)
#include "MenuRegistryTest.moc"
