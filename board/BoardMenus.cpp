#include "BoardMenus.h"

#include "board/BoardQuickKeys.h"
#include "ui/MenuRegistry.h"

#include <QAction>
#include <QDesktopServices>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QUrl>

namespace qb::board {

namespace {

constexpr const char* kTitle = "Quellboard Pro";
constexpr const char* kVersion = "3.0";
constexpr const char* kSupportUrl = "https://www.quellboard.example/support.html";
constexpr const char* kHomeUrl = "https://www.quellboard.example/";

} // namespace

QAction* BoardMenus::addItem(int order, const QString& text, const QKeySequence& key)
{
    auto* a = new QAction(text, m_menus.menu(ui::MenuPlace::Actions));
    a->setShortcut(key);
    m_menus.place(ui::MenuPlace::Actions, order, a);
    return a;
}

void BoardMenus::addSeparator(int order)
{
    auto* a = new QAction(m_menus.menu(ui::MenuPlace::Actions));
    a->setSeparator(true);
    m_menus.place(ui::MenuPlace::Actions, order, a);
}

BoardMenus::BoardMenus(QMainWindow* window, ui::MenuRegistry& menus, BoardGrid& grid, BoardQuickKeys& quickKeys,
                       Hooks hooks)
    : QObject(window), m_window(window), m_menus(menus), m_hooks(std::move(hooks))
{
    QMenuBar* bar = window->menuBar();
    using ui::MenuPlace;
    namespace order = ui::menuorder;
    const auto run = [](const std::function<void()>& hook) { return [&hook] { hook(); }; };

    // Actions: the board's items; messaging and name administration put
    // theirs in between (see ui/MenuRegistry.h).
    QMenu* actions = bar->addMenu(QStringLiteral("&Actions"));
    menus.attach(MenuPlace::Actions, actions);
    m_logOut = addItem(order::kLogOut, QStringLiteral("&Log Out"), QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(m_logOut, &QAction::triggered, this, run(m_hooks.logOut));
    QAction* adminLogIn = addItem(order::kAdminLogIn, QStringLiteral("&Admin Log In"), QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(adminLogIn, &QAction::triggered, this, run(m_hooks.adminLogIn));
    m_changePassword = addItem(order::kChangePassword, QStringLiteral("&Change Password"));
    connect(m_changePassword, &QAction::triggered, this, run(m_hooks.changePassword));
    addSeparator(order::kSeparator1);
    m_changeAll = new QMenu(QStringLiteral("Change All Remarks"), actions);
    menus.place(MenuPlace::Actions, order::kChangeAll, m_changeAll->menuAction());
    using Kind = RemarkActions::ChangeAll;
    const std::pair<const char*, Kind> changeAllItems[] = {
        {"In", Kind::In}, {"Out", Kind::Out}, {"Customize Remark", Kind::Custom}, {"Change In to Out", Kind::InToOut}};
    for (const auto& [caption, kind] : changeAllItems) {
        QAction* a = m_changeAll->addAction(QString::fromLatin1(caption));
        a->setObjectName(QStringLiteral("ChangeAll") + QString::fromLatin1(caption).remove(QLatin1Char(' ')));
        connect(a, &QAction::triggered, this, [this, kind = kind] { m_hooks.changeAll(kind); });
    }
    QAction* print = addItem(order::kPrintNames, QStringLiteral("&Print Names"), QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(print, &QAction::triggered, this, run(m_hooks.printNames));
    print->setObjectName(QStringLiteral("PrintNames1"));
    m_quickKeys = quickKeys.makeMenu(actions);
    menus.place(MenuPlace::Actions, order::kQuickKeys, m_quickKeys->menuAction());
    addSeparator(order::kSeparator2);
    QAction* exit = addItem(order::kExit, QStringLiteral("E&xit"));
    connect(exit, &QAction::triggered, window, &QWidget::close);

    m_view = new ViewMenu(bar, grid, m_hooks.view);

    menus.attach(MenuPlace::Options, bar->addMenu(QStringLiteral("O&ptions")));
    m_refreshMain = bar->addAction(QStringLiteral("&Refresh"), this, run(m_hooks.refresh));
    m_refreshMain->setVisible(false);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&Contents"), this, run(m_hooks.contents));
    m_helpRefresh = help->addAction(QStringLiteral("Refresh"), this, run(m_hooks.refresh));
    m_dbPath = help->addAction(QStringLiteral("DB path: "));
    m_dbPath->setObjectName(QStringLiteral("ShoDBPath"));
    m_dbPath->setVisible(false);
    help->addSeparator();
    help->addAction(QStringLiteral("On-Line Web Support"), this, [this] { openWeb(QString::fromLatin1(kSupportUrl)); });
    help->addAction(QStringLiteral("&Quellboard Web Site"), this, [this] { openWeb(QString::fromLatin1(kHomeUrl)); });
    help->addSeparator();
    help->addAction(QStringLiteral("&About"), this, [this] {
        if (m_hooks.about)
            m_hooks.about(QString::fromLatin1(kTitle),
                          QStringLiteral("%1\nVersion %2\n\nStaff in/out board").arg(kTitle, kVersion));
    });

    // "(Name", "&In", "&Out)": the bar reads as the name, In and Out in parentheses.
    m_ownName = bar->addAction(QStringLiteral(" "), this, run(m_hooks.toggleOwnRow));
    m_ownName->setObjectName(QStringLiteral("OwnName"));
    m_in = bar->addAction(QStringLiteral("&In"), this, [this] { m_hooks.own(true); });
    m_out = bar->addAction(QStringLiteral("&Out)"), this, [this] { m_hooks.own(false); });
    m_in->setVisible(false);
    m_out->setVisible(false);
}

void BoardMenus::applyLogin(const LoginMenuState& state, const QString& ownName)
{
    m_ownName->setText(ownName);
    m_in->setVisible(state.inOut);
    m_out->setVisible(state.inOut);
    m_changePassword->setEnabled(state.changePassword);
    m_logOut->setEnabled(state.logOut);
    m_changeAll->menuAction()->setVisible(state.changeAll);
    m_dbPath->setVisible(state.dbPath);
    // The areas' items follow their own rules.
    m_menus.refresh();
}

void BoardMenus::hideAdminItems()
{
    m_dbPath->setVisible(false);
    m_changeAll->menuAction()->setVisible(false);
    m_quickKeys->menuAction()->setVisible(false);
}

void BoardMenus::setRefreshVisible(bool visible) { m_refreshMain->setVisible(visible); }

void BoardMenus::setRefreshCaption(const QString& caption) { m_helpRefresh->setText(caption); }

void BoardMenus::setDbPath(const QString& path) { m_dbPath->setText(QStringLiteral("DB path: ") + path); }

void BoardMenus::openWeb(const QString& url)
{
    if (!QDesktopServices::openUrl(QUrl(url)))
        m_hooks.inform(QStringLiteral("Web browser not found."));
}

} // namespace qb::board
