#include "BoardTray.h"

#include "board/Board.h"
#include "board/BoardWindowLogic.h"
#include "board/LoginLogic.h"
#include "board/RemarkController.h"
#include "ui/MenuRegistry.h"
#include "ui/PaintedIcons.h"

#include <QAction>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

namespace qb::board {

namespace {

QAction* addItem(ui::MenuRegistry& menus, int order, const QString& text)
{
    auto* a = new QAction(text, menus.menu(ui::MenuPlace::Tray));
    menus.place(ui::MenuPlace::Tray, order, a);
    return a;
}

void addSeparator(ui::MenuRegistry& menus, int order)
{
    auto* a = new QAction(menus.menu(ui::MenuPlace::Tray));
    a->setSeparator(true);
    menus.place(ui::MenuPlace::Tray, order, a);
}

TrayActivation activationOf(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Trigger: return TrayActivation::Click;
    case QSystemTrayIcon::DoubleClick: return TrayActivation::DoubleClick;
    default: return TrayActivation::Other;
    }
}

} // namespace

QIcon BoardTray::programIcon() { return ui::icons::board(); }

BoardTray::BoardTray(QWidget* window, ui::MenuRegistry& menus, const Board& board, const LoginLogic& login,
                     Hooks hooks)
    : QObject(window), m_window(window), m_board(board), m_login(login), m_hooks(std::move(hooks))
{
    namespace order = ui::menuorder;
    m_tray = new QSystemTrayIcon(window->windowIcon(), window);
    m_tray->setObjectName(QStringLiteral("LaunchBarIcon1"));
    m_tray->setToolTip(window->windowTitle());
    auto* menu = new QMenu(window);
    menu->setObjectName(QStringLiteral("PopupMenu2"));
    menus.attach(ui::MenuPlace::Tray, menu);
    connect(addItem(menus, order::kTrayOpen, QStringLiteral("&Open Quellboard")), &QAction::triggered, this,
            [this] { m_hooks.open(); });
    connect(addItem(menus, order::kTrayMinimize, QStringLiteral("Mi&nimize Quellboard")), &QAction::triggered,
            window, &QWidget::hide);
    addSeparator(menus, order::kTraySeparator1);
    m_in = addItem(menus, order::kTrayIn, QStringLiteral("&In"));
    connect(m_in, &QAction::triggered, this, [this] { m_hooks.own(true); });
    m_out = addItem(menus, order::kTrayOut, QStringLiteral("&Out"));
    connect(m_out, &QAction::triggered, this, [this] { m_hooks.own(false); });
    addSeparator(menus, order::kTraySeparator2);
    addSeparator(menus, order::kTraySeparator3);
    connect(addItem(menus, order::kTrayExit, QStringLiteral("E&xit")), &QAction::triggered, this, [this] {
        if (m_board.options[admin::opt::kConfirmExit])
            m_hooks.open();
        m_hooks.exit();
    });
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        switch (trayResponse(activationOf(reason), m_window->isVisible(), m_window->isActiveWindow())) {
        case TrayResponse::Hide: m_window->hide(); break;
        case TrayResponse::Open: m_hooks.open(); break;
        case TrayResponse::None: break;
        }
    });
}

void BoardTray::showIfAvailable()
{
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_tray->show();
}

void BoardTray::reshow()
{
    if (m_tray->isVisible()) {
        m_tray->hide();
        m_tray->show();
    }
}

void BoardTray::hide() { m_tray->hide(); }

void BoardTray::set(const QIcon& icon, const QString& tip)
{
    m_tray->setIcon(icon);
    m_tray->setToolTip(tip.left(63));
}

void BoardTray::setIcon(const QIcon* icon)
{
    switch (trayIconFor(icon != nullptr, m_login.loggedIn(), m_board.adminMode)) {
    case TrayIcon::Given: m_tray->setIcon(*icon); break;
    case TrayIcon::OwnStatus: m_tray->setIcon(RemarkController::iconForStatus(m_board.ownStatus)); break;
    case TrayIcon::Board: m_tray->setIcon(m_window->windowIcon()); break;
    }
}

void BoardTray::showProgramIcon() { m_tray->setIcon(m_window->windowIcon()); }

void BoardTray::followBoard()
{
    // The load made the tip; the icon follows the own status.
    if (trayFollowsBoard(m_login.loggedIn(), m_board.adminMode, m_board.trayHint))
        set(RemarkController::iconForStatus(m_board.ownStatus), QString::fromStdString(m_board.trayHint));
}

void BoardTray::updateInOutTexts()
{
    m_in->setText(QStringLiteral("&") + QString::fromStdString(m_board.inText));
    m_out->setText(QStringLiteral("&") + QString::fromStdString(m_board.outText));
}

void BoardTray::enableInOut(bool enabled)
{
    m_in->setEnabled(enabled);
    m_out->setEnabled(enabled);
}

} // namespace qb::board
