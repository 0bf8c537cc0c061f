#include "TForm1.h"

#include "board/AlertMenu.h"
#include "board/BoardGrid.h"
#include "board/BoardMenus.h"
#include "board/BoardQuickKeys.h"
#include "board/BoardStatusBar.h"
#include "board/BoardTray.h"
#include "board/BoardWindowLogic.h"
#include "board/ExitController.h"
#include "board/HelpViewer.h"
#include "board/LoginPanel.h"
#include "board/NamesPrinter.h"
#include "board/PasswordChange.h"
#include "board/RemarkController.h"
#include "board/StartupChecks.h"
#include "board/TestHooks.h"
#include "board/WindowFitting.h"
#include "ui/MenuRegistry.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QMenu>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace qb::board {

namespace {

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

} // namespace

TForm1::TForm1(Station& station, RunInfo run, QWidget* parent)
    : QMainWindow(parent), m_station(station), m_session(station, std::move(run)), m_board(m_session.board()),
      m_settings(m_session.settings()), m_login(m_session.login())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(q(boardCaption(ServerState::Reachable)));
    setWindowIcon(BoardTray::programIcon());
    m_menus = new ui::MenuRegistry(this);
    auto* namePopup = new QMenu(this);
    namePopup->setObjectName(QStringLiteral("PopupMenu1"));
    m_menus->attach(ui::MenuPlace::NamePopup, namePopup);
    m_remarks = new RemarkController(m_station, m_board, m_login.remarks(), m_settings, this, *m_menus);
    m_menus->setContextSource([this] {
        ui::MenuContext c;
        c.loggedIn = m_login.loggedIn();
        c.admin = m_board.adminMode;
        for (int n = 1; n <= admin::kOptionCount; ++n)
            c.options[static_cast<std::size_t>(n)] = m_board.options[n];
        c.ownIndex = m_board.ownIndex;
        c.target = m_remarks->optionsTarget();
        c.targetName = m_remarks->selectedPerson();
        return c;
    });
    m_remarks->boardChanged = [this] { repaintBoard(); };
    m_remarks->trayChanged = [this](const QIcon& icon, const QString& tip) { m_tray->set(icon, tip); };
    m_remarks->helpMissing = [this] {
        showAlert(StartupChecks::helpMissingAlert(s(HelpViewer::fixedHelpDir())));
    };
    m_remarks->statusChanged = [this](const QString& text) { m_status->setWriteStatus(text); };
    m_remarks->inOutTextsChanged = [this] {
        if (m_tray)
            m_tray->updateInOutTexts();
    };
    m_session.names().onServerStateChanged = [this] { showServerState(); };
    m_session.pollHooks.setOwnOut = [this] { m_remarks->setOwn(false); };
    m_session.pollHooks.clearRemarkList = [this] { m_remarks->clearRemarkList(); };
    m_session.pollHooks.boardReloaded = [this] {
        repaintBoard();
        m_tray->followBoard();
    };
    m_printNames = std::make_unique<PrintNamesCommand>();

    m_errAlert = new AlertMenu(this);
    m_station.alert = [this](const std::vector<std::string>& lines) { showAlert(lines); };
    m_station.setRefreshCaption = [this](const std::string& caption) {
        if (m_bar)
            m_bar->setRefreshCaption(q(caption));
    };
    buildParts();

    // Timer1: every 500 ms the overnight step and the names poll, which
    // brings other stations' changes to this board.
    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(500);
    connect(m_timer1, &QTimer::timeout, this, &TForm1::timer1Tick);
    m_timer1->start();
    // Test-only; not even created unless a test asks for it.
    if (TestHooks::requested()) {
        m_testHooks = new TestHooks(this);
        m_testHooks->attach(m_board, m_login, *m_remarks, [this] { reloadBoard(true); });
    }
    m_session.created(static_cast<long long>(QCoreApplication::applicationPid()));
    m_fit->toPanel();
}

TForm1::~TForm1()
{
    // The grid paints from m_board, which goes before QWidget deletes children.
    m_timer1->stop();
    // The controller borrows the login's remark actions: it goes first.
    delete m_remarks;
    m_remarks = nullptr;
    delete takeCentralWidget();
    m_grid = nullptr;
    m_station.alert = nullptr;
    m_station.setRefreshCaption = nullptr;
    m_session.names().onServerStateChanged = nullptr;
}

// The window's parts, in the order the user meets them: panel and grid,
// menus, notification icon, exit request, status bar.
void TForm1::buildParts()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    m_panel = new LoginPanel([this] { return m_login.dropDownNames(); }, this);
    connect(m_panel, &LoginPanel::okClicked, this, &TForm1::loginClicked);
    connect(m_panel, &LoginPanel::helpClicked, this, [this] { showHelp(false); });
    connect(m_panel, &LoginPanel::showNamesClicked, this, &TForm1::showNames);
    m_grid = new BoardGrid(m_board, central);
    m_grid->setObjectName(QStringLiteral("StringGrid1"));
    m_grid->hide();
    layout->addWidget(m_panel);
    layout->addWidget(m_grid, 1);
    setCentralWidget(central);
    // The status line also says why a click did nothing.
    m_remarks->statusMessage = [this](const QString& text) { statusBar()->showMessage(text, kStatusMs); };
    connect(m_grid, &BoardGrid::cellClicked, m_remarks, &RemarkController::cellClicked);

    BoardQuickKeys::Hooks keys;
    keys.repaint = [this] { repaintBoard(); };
    keys.reload = [this](bool fresh) { reloadBoard(fresh); };
    keys.inform = [this](const QString& text) { inform(text); };
    keys.keyTyped = [this] { m_tray->showProgramIcon(); }; // a key press clears a notification icon
    m_quickKeys = new BoardQuickKeys(this, m_station, m_board, m_login, m_settings, *m_grid, keys);

    BoardMenus::Hooks menu;
    menu.logOut = [this] { logOut(); };
    menu.adminLogIn = [this] { adminLogIn(); };
    menu.changePassword = [this] { changePassword(); };
    menu.changeAll = [this](RemarkActions::ChangeAll kind) { m_remarks->changeAll(kind); };
    menu.printNames = [this] {
        m_printNames->run(this, m_login.loggedIn(), m_grid->view(), m_grid->font(), [this](const QString& t) { inform(t); });
    };
    menu.refresh = [this] { reloadBoard(true); };
    menu.contents = [this] { showHelp(true); };
    menu.toggleOwnRow = [this] { toggleOwnRow(); };
    menu.own = [this](bool in) { m_remarks->setOwn(in); };
    menu.inform = [this](const QString& text) { inform(text); };
    menu.about = [this](const QString& caption, const QString& text) {
        if (m_dialogs)
            m_dialogs->message(core::Dialogs::Box::About, s(text), core::Dialogs::Buttons::Ok, std::nullopt, s(caption));
    };
    menu.view.fit = [this](bool naturalWidth) { m_fit->toRows(naturalWidth); };
    menu.view.fontChosen = [this](int size) {
        m_settings.font = size;
        m_remarks->setListFontSize(m_settings.font);
    };
    m_bar = new BoardMenus(this, *m_menus, *m_grid, *m_quickKeys, menu);

    BoardTray::Hooks tray;
    tray.open = [this] { openBoardWindow(); };
    tray.own = [this](bool in) { m_remarks->setOwn(in); };
    tray.exit = [this] { close(); };
    m_tray = new BoardTray(this, *m_menus, m_board, m_login, tray);
    ui::installLaterWork(*m_menus);

    ExitController::Hooks exitHooks;
    exitHooks.loggedIn = [this] { return m_login.loggedIn(); };
    exitHooks.saveSettings = [this] { saveSettings(); };
    exitHooks.remarks = [this] {
        m_remarks->loadRemarkTexts();
        const admin::RemarkList& list = m_remarks->remarkList();
        return InOutRemarks {list.inText(), list.outText(), list.inColor(), list.outColor()};
    };
    exitHooks.answeredYes = [this] {
        if (QTimer* t = m_remarks->timer222())
            t->setInterval(300000);
    };
    m_exit = new ExitController(m_station, m_board, m_session.remarkLog(), this, m_grid, exitHooks);
    updateLoginMenus();

    m_status = new BoardStatusBar(this);
    m_fit = std::make_unique<WindowFitting>(*this, *m_grid, *m_panel, *m_status);
    m_bar->setDbPath(QDir::currentPath() + QLatin1Char('/'));
}

// ---- start-up ------------------------------------------------------------

void TForm1::postStartup()
{
    if (!m_session.startupPending() || m_startupPosted)
        return;
    m_startupPosted = true;
    QMetaObject::invokeMethod(this, &TForm1::deferredStartup, Qt::QueuedConnection);
}

void TForm1::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        postStartup();
        if (!m_grid->isVisible())
            m_panel->focusPassword();
    }
}

void TForm1::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // A desktop without a window manager never activates the window.
    postStartup();
}

void TForm1::deferredStartup()
{
    m_startupPosted = false;
    m_session.runStartup(*this);
}

// The window's steps of the deferred start-up (BoardSession::runStartup).

void TForm1::busy(bool on)
{
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void TForm1::settingsRead(const LocalSettings& settings)
{
    m_grid->setFontSize(settings.font);
    m_remarks->setListFontSize(m_grid->fontSize());
    m_panel->setPassword(settings.password);
    m_fit->toSettings(settings);
}

void TForm1::restoreView(const std::string& filter, const std::array<int, 5>& widths)
{
    m_grid->setFilter(filter);
    m_grid->setColumnWidths(widths);
}

void TForm1::boardLoaded()
{
    m_remarks->loadRemarkTexts();
    repaintBoard();
    m_grid->layoutColumns();
    m_tray->showIfAvailable();
    m_tray->updateInOutTexts();
}

void TForm1::offerName(const std::optional<std::string>& name)
{
    m_panel->enableOk();
    if (name)
        m_panel->setName(*name);
}

void TForm1::loginPanelStays()
{
    m_panel->setGreeting(LoginLogic::kPleaseEnter);
    m_fit->toPanel();
}

void TForm1::startupFinished()
{
    // A filtered board shows fewer rows than the saved height holds.
    if (!m_grid->view().filter().empty())
        m_fit->toRows();
    emit startupDone();
}

// ---- login -----------------------------------------------------------------

void TForm1::loginClicked()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_panel->focusPassword();
    const std::string name = m_panel->name();
    const std::string password = m_panel->password();
    m_panel->emptyNames();
    LoginOutcome outcome = m_session.login(name, password);
    applyOutcome(outcome);
    QApplication::restoreOverrideCursor();
}

void TForm1::applyOutcome(const LoginOutcome& out)
{
    using R = LoginOutcome::Result;
    if (out.clearPassword)
        m_panel->clearPassword();
    if (out.beep)
        QApplication::beep();
    if (!out.label2.empty())
        m_panel->setGreeting(out.label2);
    if (out.result == R::NotFound || out.result == R::InvalidPassword) {
        repaintBoard();
        m_panel->focusPassword();
        return;
    }
    if (out.adminInfoBox)
        inform(QString::fromLatin1(LoginLogic::kAdminInfo));
    if (out.result == R::Held)
        return;

    updateCaption();
    m_tray->showProgramIcon();
    m_bar->setRefreshVisible(out.effects.refreshItemVisible);
    updateLoginMenus();
    showBoardAfterLogin();
    m_tray->followBoard();
    if (!m_board.adminMode)
        m_remarks->startActivityTimer();
    if (!out.alert.empty())
        showAlert(out.alert);
    m_status->setWriteStatus(q(out.writeStatus));
    if (out.taskbarButton)
        openBoardWindow();
    saveSettings();
}

void TForm1::showBoardAfterLogin()
{
    m_panel->hide();
    m_grid->show();
    repaintBoard();
    m_grid->layoutColumnsForOptions();
    m_fit->afterLogin(m_settings, m_board.adminMode);
    m_grid->setFocus();
}

void TForm1::updateLoginMenus()
{
    const LoginMenuState state = loginMenuState(m_login.loggedIn(), m_board.adminMode);
    m_tray->enableInOut(state.inOut);
    m_bar->applyLogin(state, q(m_login.ownNameCaption()));
}

void TForm1::logOut()
{
    m_bar->hideAdminItems();
    m_remarks->stopActivityTimer();
    m_session.logout(m_grid->isVisible(), windowState());
    updateLoginMenus();
    m_panel->clearPassword();
    m_grid->hide();
    m_grid->setFilter("");
    m_panel->show();
    m_panel->focusPassword();
    m_panel->setName(m_board.lastLoginName);
    m_panel->setGreeting(LoginLogic::kPleaseLogOn);
    repaintBoard();
    m_fit->toPanel();
}

void TForm1::adminLogIn()
{
    if (!isVisible())
        return;
    logOut();
    m_panel->setName(LoginLogic::kAdminName);
}

void TForm1::showNames()
{
    m_panel->emptyNames();
    m_bar->view().forgetGroups();
    reloadBoard(true);
    m_panel->openNames();
}

void TForm1::changePassword()
{
    if (!m_login.loggedIn() || !m_dialogs)
        return;
    const auto change = [this](const std::string& first, const std::string& second) {
        return m_login.changePassword(first, second);
    };
    if (askPasswordChange(*m_dialogs, change, core::ScreenPoint {x() + 50, y() + 30}))
        repaintBoard();
}

// ---- board -------------------------------------------------------------------

void TForm1::reloadBoard(bool freshCopy)
{
    m_session.reload(freshCopy);
    repaintBoard();
}

void TForm1::reloadFresh(bool fit)
{
    reloadBoard(true);
    if (fit)
        m_fit->toRows();
}

void TForm1::ownOptionsChanged()
{
    admin::MenuEffects effects;
    m_session.reloadOwnOptions(&effects);
    m_remarks->clearRemarkList();
    m_bar->setRefreshVisible(effects.refreshItemVisible);
    m_menus->refresh();
    if (m_board.options[admin::opt::kTaskbarButton])
        openBoardWindow();
    repaintBoard();
    // The columns the options show, sized as after a login.
    m_grid->layoutColumnsForOptions();
    m_fit->toRows();
}

void TForm1::showAllRows() { m_bar->view().showAll(); }

QStringList TForm1::viewGroups() const { return m_bar->view().groups(); }

void TForm1::addViewGroup(const QString& group) { m_bar->view().addGroup(group); }

void TForm1::repaintBoard()
{
    m_grid->reload();
    m_bar->view().rebuild();
    if (m_testHooks)
        m_testHooks->dump(m_grid->view());
}

void TForm1::setTrayIcon(const QIcon* icon) { m_tray->setIcon(icon); }

void TForm1::setDialogs(core::Dialogs* dialogs)
{
    m_dialogs = dialogs;
    m_remarks->setDialogs(dialogs);
    m_quickKeys->setDialogs(dialogs);
}

void TForm1::timer1Tick() { m_session.tick(); }

void TForm1::toggleOwnRow()
{
    if (!m_login.loggedIn())
        return;
    if (m_board.adminMode) {
        repaintBoard();
        return;
    }
    std::string filter = m_grid->view().filter();
    m_login.remarks().toggleOwnFilter(filter);
    m_grid->setFilter(filter);
    m_fit->toRows();
}

BoardSession::WindowState TForm1::windowState() const
{
    BoardSession::WindowState w;
    w.filter = m_grid->view().filter();
    w.fontSize = m_grid->fontSize();
    w.columnWidths = m_grid->columnWidths();
    w.top = y();
    w.left = x();
    w.width = width();
    if (m_grid->isVisible())
        w.height = height();
    w.minimised = isMinimized();
    return w;
}

void TForm1::saveSettings() { m_session.saveSettings(windowState()); }

// ---- help, alerts, window ----------------------------------------------------

HelpViewer* TForm1::helpViewer()
{
    if (!m_help)
        m_help = new HelpViewer(this);
    return m_help;
}

void TForm1::showHelp(bool contents)
{
    // Contents may come from the workstation's own copy; the login panel's
    // starting-up topic only from the program's.
    const QString fixed = HelpViewer::fixedHelpDir();
    const bool shown = contents
                           ? helpViewer()->showTopic({HelpViewer::localHelpDir(), fixed},
                                                     QString::fromLatin1(HelpViewer::kContentsTopic))
                           : helpViewer()->showTopic({fixed}, QString::fromLatin1(HelpViewer::kStartingUpTopic));
    if (!shown)
        showAlert(StartupChecks::helpMissingAlert(s(fixed)));
}

void TForm1::showAlert(const std::vector<std::string>& lines)
{
    QStringList list;
    for (const auto& line : lines)
        list << q(line);
    m_errAlert->showAlert(list, this);
}

void TForm1::inform(const QString& text)
{
    if (m_dialogs)
        m_dialogs->inform(s(text), core::ScreenPoint {x() + 50, y() + 30});
}

void TForm1::showServerState()
{
    m_status->setServerState(q(m_session.names().serverStateLine()));
    updateCaption();
    if (m_session.names().serverState() == ServerState::Damaged)
        showAlert(m_session.names().damagedAlert());
}

void TForm1::updateCaption() { setWindowTitle(q(boardCaption(m_session.names().serverState()))); }

void TForm1::openBoardWindow()
{
    showNormal();
    raise();
    activateWindow();
}

void TForm1::showYourself()
{
    QApplication::beep();
    m_tray->reshow();
    openBoardWindow();
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    if (!m_quickKeys->keyPressed(event))
        QMainWindow::keyPressEvent(event);
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // The exit request decides; a second close while its panel waits is
    // the same request.
    if (m_exitRunning) {
        event->ignore();
        return;
    }
    m_exitRunning = true;
    const bool exit = m_exit->request();
    m_exitRunning = false;
    if (!exit) {
        event->ignore();
        return;
    }
    m_tray->hide();
    event->accept();
    QApplication::quit();
}

} // namespace qb::board
