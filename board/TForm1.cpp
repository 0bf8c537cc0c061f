#include "TForm1.h"

#include "board/AlertMenu.h"
#include "board/BoardGrid.h"
#include "board/ExitController.h"
#include "board/HelpViewer.h"
#include "board/NamesPrinter.h"
#include "board/QuickKeys.h"
#include "board/RemarkController.h"
#include "board/TestHooks.h"
#include "board/StartupChecks.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "ui/MenuRegistry.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace qb::board {

namespace {

constexpr const char* kTitle = "Quellboard Pro";
constexpr const char* kVersion = "3.0";
constexpr const char* kSupportUrl = "https://www.quellboard.example/support.html";
constexpr const char* kHomeUrl = "https://www.quellboard.example/";

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s(const QString& q) { return q.toStdString(); }

// The name drop-down fills itself from the board the moment it opens.
class LoginNameBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override
    {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

} // namespace

TForm1::TForm1(Station& station, RunInfo run, QWidget* parent)
    : QMainWindow(parent), m_station(station), m_session(station, std::move(run)), m_board(m_session.board()),
      m_settings(m_session.settings()), m_login(m_session.login())
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QString::fromLatin1(kTitle));
    setWindowIcon(boardIcon());
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
    m_remarks->trayChanged = [this](const QIcon& icon, const QString& tip) { setTray(icon, tip); };
    m_remarks->helpMissing = [this] {
        showAlert(StartupChecks::helpMissingAlert(s(HelpViewer::fixedHelpDir())));
    };
    m_remarks->statusChanged = [this](const QString& text) { showWriteStatus(text); };
    m_remarks->inOutTextsChanged = [this] {
        if (m_trayIn)
            m_trayIn->setText(QStringLiteral("&") + q(m_board.inText));
        if (m_trayOut)
            m_trayOut->setText(QStringLiteral("&") + q(m_board.outText));
    };
    m_session.names().onServerStateChanged = [this] { showServerState(); };
    m_session.pollHooks.setOwnOut = [this] { m_remarks->setOwn(false); };
    m_session.pollHooks.clearRemarkList = [this] { m_remarks->clearRemarkList(); };
    m_session.pollHooks.boardReloaded = [this] {
        repaintBoard();
        updateTrayFromBoard();
    };
    m_printNames = std::make_unique<PrintNamesCommand>();

    m_errAlert = new AlertMenu(this);
    m_station.alert = [this](const std::vector<std::string>& lines) { showAlert(lines); };
    m_station.setRefreshCaption = [this](const std::string& caption) {
        if (m_helpRefresh)
            m_helpRefresh->setText(q(caption));
    };

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    buildLoginPanel();
    m_grid = new BoardGrid(m_board, central);
    m_grid->setObjectName(QStringLiteral("StringGrid1"));
    m_grid->hide();
    layout->addWidget(m_pwdPanel);
    layout->addWidget(m_grid, 1);
    setCentralWidget(central);
    connect(m_grid, &BoardGrid::filterChanged, this, [this] {
        checkViewItem();
        fitHeightToRows();
    });
    connect(m_grid, &BoardGrid::fontSizeChanged, this, [this](int size) {
        for (QAction* a : m_fontItems->actions())
            a->setChecked(a->data().toInt() == size);
    });
    // The status line also says why a click did nothing.
    m_remarks->statusMessage = [this](const QString& text) { statusBar()->showMessage(text, kStatusMs); };
    connect(m_grid, &BoardGrid::cellClicked, m_remarks, &RemarkController::cellClicked);

    buildMenus();
    buildTray();
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

    m_serverState = new QLabel(this);
    m_serverState->setObjectName(QStringLiteral("ServerState"));
    // One line each, cut by a narrow window; the tip holds the whole text.
    m_serverState->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_serverState->setStyleSheet(QStringLiteral("QLabel { color: #a00000; font-weight: bold; }"));
    m_writeStatus = new QLabel(this);
    m_writeStatus->setObjectName(QStringLiteral("WriteStatus"));
    m_writeStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_writeStatus->setStyleSheet(QStringLiteral("QLabel { color: #a00000; }"));
    auto* status = statusBar();
    status->setObjectName(QStringLiteral("StatusBar"));
    status->setSizeGripEnabled(false);
    // One above the other, each as wide as the window.
    auto* lines = new QWidget(status);
    auto* stack = new QVBoxLayout(lines);
    stack->setContentsMargins(2, 2, 2, 2);
    stack->setSpacing(2);
    m_serverState->setParent(lines);
    m_writeStatus->setParent(lines);
    stack->addWidget(m_serverState);
    stack->addWidget(m_writeStatus);
    status->addWidget(lines, 1);
    connect(status, &QStatusBar::messageChanged, this, &TForm1::updateStatusBar);
    updateStatusBar();

    m_shoDbPath->setText(QStringLiteral("DB path: ") + QDir::currentPath() + QLatin1Char('/'));
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
    resizeToPanel();
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

QIcon TForm1::boardIcon()
{
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(40, 40, 40), 2));
    p.setBrush(QColor(245, 245, 235));
    p.drawRoundedRect(2, 3, 28, 26, 3, 3);
    const QColor rows[] = {QColor(0, 200, 0), QColor(230, 0, 0), QColor(0, 200, 0)};
    for (int i = 0; i < 3; ++i) {
        p.setPen(Qt::NoPen);
        p.setBrush(rows[i]);
        p.drawRect(7, 8 + i * 7, 18, 4);
    }
    return QIcon(pm);
}

// ---- building ---------------------------------------------------------------

void TForm1::buildLoginPanel()
{
    m_pwdPanel = new QFrame(this);
    m_pwdPanel->setObjectName(QStringLiteral("PwdPanel"));
    m_pwdPanel->setFrameShape(QFrame::StyledPanel);

    auto* names = new LoginNameBox(m_pwdPanel);
    names->beforePopup = [this] { fillLoginNames(); };
    m_loginNames = names;
    m_loginNames->setObjectName(QStringLiteral("LoginNames"));
    m_loginNames->setEditable(true);
    m_loginNames->setInsertPolicy(QComboBox::NoInsert);
    m_loginNames->setMaxVisibleItems(20);
    m_loginNames->setMinimumWidth(220);
    // Enter in the name box goes on to the password.
    connect(m_loginNames->lineEdit(), &QLineEdit::returnPressed, this, [this] {
        m_edit1->setFocus(Qt::TabFocusReason);
        m_edit1->selectAll();
    });

    m_edit1 = new QLineEdit(m_pwdPanel);
    m_edit1->setObjectName(QStringLiteral("Edit1"));
    m_edit1->setEchoMode(QLineEdit::Password);

    m_ok = new QPushButton(QStringLiteral("OK"), m_pwdPanel);
    m_ok->setObjectName(QStringLiteral("OK"));
    m_ok->setDefault(true);
    m_ok->setEnabled(false);
    auto* help = new QPushButton(QStringLiteral("Help"), m_pwdPanel);
    help->setObjectName(QStringLiteral("HelpButton"));
    auto* show = new QPushButton(QStringLiteral("Show Names"), m_pwdPanel);
    show->setObjectName(QStringLiteral("ShowNames"));

    m_label2 = new QLabel(m_pwdPanel);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_label2->setMinimumWidth(300);

    auto* grid = new QGridLayout(m_pwdPanel);
    grid->addWidget(new QLabel(QStringLiteral("Name:"), m_pwdPanel), 0, 0);
    grid->addWidget(m_loginNames, 0, 1);
    grid->addWidget(m_ok, 0, 2);
    grid->addWidget(new QLabel(QStringLiteral("Password:"), m_pwdPanel), 1, 0);
    grid->addWidget(m_edit1, 1, 1);
    grid->addWidget(help, 1, 2);
    grid->addWidget(show, 2, 2);
    grid->addWidget(m_label2, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);

    connect(m_ok, &QPushButton::clicked, this, &TForm1::loginClicked);
    connect(m_edit1, &QLineEdit::returnPressed, this, &TForm1::loginClicked);
    connect(help, &QPushButton::clicked, this, &TForm1::showStartingUpHelp);
    connect(show, &QPushButton::clicked, this, &TForm1::showNames);
    connect(m_loginNames, &QComboBox::activated, this, [this] { m_edit1->setFocus(); });
}

QAction* TForm1::addItem(ui::MenuPlace place, int order, const QString& text, const QKeySequence& key)
{
    auto* a = new QAction(text, m_menus->menu(place));
    a->setShortcut(key);
    m_menus->place(place, order, a);
    return a;
}

void TForm1::addSeparator(ui::MenuPlace place, int order)
{
    auto* a = new QAction(m_menus->menu(place));
    a->setSeparator(true);
    m_menus->place(place, order, a);
}

void TForm1::buildMenus()
{
    QMenuBar* bar = menuBar();
    using ui::MenuPlace;
    namespace order = ui::menuorder;

    // Actions: the board's items; messaging and name administration put
    // theirs in between (see ui/MenuRegistry.h).
    QMenu* actions = bar->addMenu(QStringLiteral("&Actions"));
    m_menus->attach(MenuPlace::Actions, actions);
    m_logOut = addItem(MenuPlace::Actions, order::kLogOut, QStringLiteral("&Log Out"), QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(m_logOut, &QAction::triggered, this, &TForm1::logOut);
    QAction* adminLogIn =
        addItem(MenuPlace::Actions, order::kAdminLogIn, QStringLiteral("&Admin Log In"), QKeySequence(Qt::CTRL | Qt::Key_A));
    connect(adminLogIn, &QAction::triggered, this, &TForm1::adminLogIn);
    m_changePassword = addItem(MenuPlace::Actions, order::kChangePassword, QStringLiteral("&Change Password"));
    connect(m_changePassword, &QAction::triggered, this, &TForm1::changePassword);
    addSeparator(MenuPlace::Actions, order::kSeparator1);
    m_changeAll = new QMenu(QStringLiteral("Change All Remarks"), actions);
    m_menus->place(MenuPlace::Actions, order::kChangeAll, m_changeAll->menuAction());
    using Kind = RemarkActions::ChangeAll;
    const std::pair<const char*, Kind> changeAllItems[] = {
        {"In", Kind::In}, {"Out", Kind::Out}, {"Customize Remark", Kind::Custom}, {"Change In to Out", Kind::InToOut}};
    for (const auto& [caption, kind] : changeAllItems) {
        QAction* a = m_changeAll->addAction(QString::fromLatin1(caption));
        a->setObjectName(QStringLiteral("ChangeAll") + QString::fromLatin1(caption).remove(QLatin1Char(' ')));
        connect(a, &QAction::triggered, this, [this, kind = kind] { m_remarks->changeAll(kind); });
    }
    QAction* print =
        addItem(MenuPlace::Actions, order::kPrintNames, QStringLiteral("&Print Names"), QKeySequence(Qt::CTRL | Qt::Key_P));
    connect(print, &QAction::triggered, this, [this] {
        m_printNames->run(this, m_login.loggedIn(), m_grid->view(), m_grid->font(), [this](const QString& t) { inform(t); });
    });
    print->setObjectName(QStringLiteral("PrintNames1"));
    m_quickKeys = new QMenu(QStringLiteral("&Quick Keys"), actions);
    m_menus->place(MenuPlace::Actions, order::kQuickKeys, m_quickKeys->menuAction());
    QAction* showKeys = m_quickKeys->addAction(QStringLiteral("&Show Key Assignments"),
                                               QKeySequence(Qt::CTRL | Qt::Key_K), this, [this] {
        if (m_login.loggedIn())
            inform(q(keyAssignmentsText(m_settings.quickKey1, m_settings.quickKey2)));
    });
    showKeys->setObjectName(QStringLiteral("ShowKeyAssignments"));
    addAction(showKeys); // the submenu is hidden as shipped; Ctrl+K works all the same
    for (int key : {1, 2}) {
        QAction* set = m_quickKeys->addAction(QStringLiteral("Set the &%1 key").arg(key), this, [this, key] {
            if (!m_dialogs)
                return;
            const auto text = m_dialogs->askText("Set text for number " + std::to_string(key) + " key",
                                                 "Enter the text you want assigned", false);
            if (text)
                (key == 1 ? m_settings.quickKey1 : m_settings.quickKey2) = *text;
        });
        set->setObjectName(QStringLiteral("SetKey%1").arg(key));
    }
    m_quickKeys->menuAction()->setVisible(false); // not shown as shipped
    addSeparator(MenuPlace::Actions, order::kSeparator2);
    QAction* exit = addItem(MenuPlace::Actions, order::kExit, QStringLiteral("E&xit"));
    connect(exit, &QAction::triggered, this, &QWidget::close);

    m_viewMenu = bar->addMenu(QStringLiteral("&View"));
    // The current filter and font size carry a check mark.
    m_viewItems = new QActionGroup(this);
    m_viewItems->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    m_viewAll = m_viewMenu->addAction(QStringLiteral("All"), QKeySequence(Qt::Key_F2), this, &TForm1::showAllRows);
    m_viewAll->setCheckable(true);
    m_viewAll->setChecked(true);
    m_viewItems->addAction(m_viewAll);
    m_viewSeparator = m_viewMenu->addSeparator();
    QMenu* fonts = m_viewMenu->addMenu(QStringLiteral("Font Size"));
    m_fontItems = new QActionGroup(this);
    for (int size : {8, 10, 12, 14, 16, 24}) {
        QAction* a = fonts->addAction(QString::number(size), this, [this, size] {
            m_grid->setFontSize(size);
            m_settings.font = m_grid->fontSize();
            m_remarks->setListFontSize(m_settings.font);
            fitHeightToRows(true);
        });
        a->setObjectName(QStringLiteral("FontSize%1").arg(size));
        a->setData(size);
        a->setCheckable(true);
        a->setChecked(size == m_grid->fontSize());
        m_fontItems->addAction(a);
        if (size == 10)
            a->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    }
    m_viewMenu->addAction(QStringLiteral("Autosize Columns"), this, [this] { m_grid->autosizeColumns(); });

    m_menus->attach(MenuPlace::Options, bar->addMenu(QStringLiteral("O&ptions")));
    m_refreshMain = bar->addAction(QStringLiteral("&Refresh"), this, [this] { reloadBoard(true); });
    m_refreshMain->setVisible(false);

    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    help->addAction(QStringLiteral("&Contents"), this, &TForm1::showContents);
    m_helpRefresh = help->addAction(QStringLiteral("Refresh"), this, [this] { reloadBoard(true); });
    m_shoDbPath = help->addAction(QStringLiteral("DB path: "));
    m_shoDbPath->setObjectName(QStringLiteral("ShoDBPath"));
    m_shoDbPath->setVisible(false);
    help->addSeparator();
    help->addAction(QStringLiteral("On-Line Web Support"), this, [this] { openWeb(QString::fromLatin1(kSupportUrl)); });
    help->addAction(QStringLiteral("&Quellboard Web Site"), this, [this] { openWeb(QString::fromLatin1(kHomeUrl)); });
    help->addSeparator();
    help->addAction(QStringLiteral("&About"), this, [this] {
        QMessageBox::about(this, QString::fromLatin1(kTitle),
                           QStringLiteral("%1\nVersion %2\n\nStaff in/out board").arg(kTitle, kVersion));
    });

    // "(Name", "&In", "&Out)": the bar reads as the name, In and Out in parentheses.
    m_ownName = bar->addAction(QStringLiteral(" "), this, &TForm1::toggleOwnRow);
    m_ownName->setObjectName(QStringLiteral("OwnName"));
    m_inItem = bar->addAction(QStringLiteral("&In"), this, [this] { m_remarks->setOwn(true); });
    m_outItem = bar->addAction(QStringLiteral("&Out)"), this, [this] { m_remarks->setOwn(false); });
    m_inItem->setVisible(false);
    m_outItem->setVisible(false);
}

void TForm1::buildTray()
{
    using ui::MenuPlace;
    namespace order = ui::menuorder;
    m_tray = new QSystemTrayIcon(windowIcon(), this);
    m_tray->setObjectName(QStringLiteral("LaunchBarIcon1"));
    m_tray->setToolTip(QString::fromLatin1(kTitle));
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu2"));
    m_menus->attach(MenuPlace::Tray, menu);
    connect(addItem(MenuPlace::Tray, order::kTrayOpen, QStringLiteral("&Open Quellboard")), &QAction::triggered, this,
            &TForm1::openBoardWindow);
    connect(addItem(MenuPlace::Tray, order::kTrayMinimize, QStringLiteral("Mi&nimize Quellboard")), &QAction::triggered,
            this, &QWidget::hide);
    addSeparator(MenuPlace::Tray, order::kTraySeparator1);
    m_trayIn = addItem(MenuPlace::Tray, order::kTrayIn, QStringLiteral("&In"));
    connect(m_trayIn, &QAction::triggered, this, [this] { m_remarks->setOwn(true); });
    m_trayOut = addItem(MenuPlace::Tray, order::kTrayOut, QStringLiteral("&Out"));
    connect(m_trayOut, &QAction::triggered, this, [this] { m_remarks->setOwn(false); });
    addSeparator(MenuPlace::Tray, order::kTraySeparator2);
    addSeparator(MenuPlace::Tray, order::kTraySeparator3);
    connect(addItem(MenuPlace::Tray, order::kTrayExit, QStringLiteral("E&xit")), &QAction::triggered, this, [this] {
        if (m_board.options[admin::opt::kConfirmExit])
            openBoardWindow();
        close();
    });
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger && isVisible() && isActiveWindow())
            hide();
        else if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            openBoardWindow();
    });
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
            m_edit1->setFocus();
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
    m_edit1->setText(q(settings.password));
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    const WindowGeometry g = settings.geometryFor(screen.width(), screen.height());
    move(g.left, g.top);
    // At least room for the login panel and the find box.
    const int panelHeight = 2 * m_grid->findBox()->sizeHint().height() + m_pwdPanel->sizeHint().height() +
                            m_pwdPanel->y() + 10;
    resize(g.width, std::max(g.height, panelHeight));
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
    if (QSystemTrayIcon::isSystemTrayAvailable())
        m_tray->show();
    m_trayIn->setText(QStringLiteral("&") + q(m_board.inText));
    m_trayOut->setText(QStringLiteral("&") + q(m_board.outText));
}

void TForm1::offerName(const std::optional<std::string>& name)
{
    m_ok->setEnabled(true);
    if (name)
        m_loginNames->setEditText(q(*name));
}

void TForm1::loginPanelStays()
{
    m_label2->setText(QString::fromLatin1(LoginLogic::kPleaseEnter));
    resizeToPanel();
}

void TForm1::startupFinished()
{
    // A filtered board shows fewer rows than the saved height holds.
    if (!m_grid->view().filter().empty())
        fitHeightToRows();
    emit startupDone();
}

// ---- login -----------------------------------------------------------------

void TForm1::loginClicked()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    m_edit1->setFocus();
    const std::string name = s(m_loginNames->currentText());
    const std::string password = s(m_edit1->text());
    emptyLoginNames();
    LoginOutcome outcome = m_session.login(name, password);
    applyOutcome(outcome);
    QApplication::restoreOverrideCursor();
}

void TForm1::applyOutcome(const LoginOutcome& out)
{
    using R = LoginOutcome::Result;
    if (out.clearPassword)
        m_edit1->clear();
    if (out.beep)
        QApplication::beep();
    if (!out.label2.empty())
        m_label2->setText(q(out.label2));
    if (out.result == R::NotFound || out.result == R::InvalidPassword) {
        repaintBoard();
        m_edit1->setFocus();
        return;
    }
    if (out.adminInfoBox)
        inform(QString::fromLatin1(LoginLogic::kAdminInfo));
    if (out.result == R::Held)
        return;

    updateCaption();
    m_tray->setIcon(windowIcon());
    m_refreshMain->setVisible(out.effects.refreshItemVisible);
    updateLoginMenus();
    showBoardAfterLogin();
    updateTrayFromBoard();
    if (!m_board.adminMode)
        m_remarks->startActivityTimer();
    if (!out.alert.empty())
        showAlert(out.alert);
    showWriteStatus(q(out.writeStatus));
    if (out.taskbarButton)
        openBoardWindow();
    saveSettings();
}

void TForm1::showBoardAfterLogin()
{
    m_pwdPanel->hide();
    m_grid->show();
    repaintBoard();
    m_grid->layoutColumnsForOptions();
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    const WindowGeometry g = m_settings.geometryFor(screen.width(), screen.height());
    resize(g.width, m_board.adminMode ? height() : g.height);
    fitHeightToRows();
    m_grid->setFocus();
}

void TForm1::updateLoginMenus()
{
    const bool in = m_login.loggedIn();
    const bool admin = in && m_board.adminMode;
    const bool person = in && !admin;
    m_ownName->setText(q(m_login.ownNameCaption()));
    m_inItem->setVisible(person);
    m_outItem->setVisible(person);
    m_trayIn->setEnabled(person);
    m_trayOut->setEnabled(person);
    m_changePassword->setEnabled(in);
    m_logOut->setEnabled(in);
    m_changeAll->menuAction()->setVisible(admin);
    m_shoDbPath->setVisible(admin);
    // The areas' items follow their own rules.
    m_menus->refresh();
}

void TForm1::logOut()
{
    m_shoDbPath->setVisible(false);
    m_changeAll->menuAction()->setVisible(false);
    m_quickKeys->menuAction()->setVisible(false);
    m_remarks->stopActivityTimer();
    m_session.logout(m_grid->isVisible(), windowState());
    updateLoginMenus();
    m_edit1->clear();
    m_grid->hide();
    m_grid->setFilter("");
    m_pwdPanel->show();
    m_edit1->setFocus();
    m_loginNames->setEditText(q(m_board.lastLoginName));
    m_label2->setText(QString::fromLatin1(LoginLogic::kPleaseLogOn));
    repaintBoard();
    resizeToPanel();
}

void TForm1::adminLogIn()
{
    if (!isVisible())
        return;
    logOut();
    m_loginNames->setEditText(QString::fromLatin1(LoginLogic::kAdminName));
}

void TForm1::showNames()
{
    emptyLoginNames();
    for (QAction* a : m_groupItems)
        m_viewMenu->removeAction(a);
    qDeleteAll(m_groupItems);
    m_groupItems.clear();
    reloadBoard(true);
    m_loginNames->showPopup();
}

void TForm1::fillLoginNames()
{
    if (m_loginNames->count() > 0)
        return;
    const QString typed = m_loginNames->currentText();
    for (const std::string& name : m_login.dropDownNames())
        m_loginNames->addItem(q(name));
    m_loginNames->setCurrentIndex(-1);
    m_loginNames->setEditText(typed);
}

void TForm1::emptyLoginNames()
{
    const QString typed = m_loginNames->currentText();
    m_loginNames->clear();
    m_loginNames->setEditText(typed);
}

void TForm1::changePassword()
{
    if (!m_login.loggedIn() || !m_dialogs)
        return;
    const std::string caption = "Change Password";
    for (;;) {
        auto first = m_dialogs->askText(caption, "New password:", true);
        if (!first)
            return;
        auto second = m_dialogs->askText(caption, "Confirm password:", true);
        if (!second)
            return;
        ChangePasswordResult r = m_login.changePassword(*first, *second);
        if (r == ChangePasswordResult::Ok) {
            repaintBoard();
            return;
        }
        inform(q(LoginLogic::changePasswordText(r)));
        if (r != ChangePasswordResult::Mismatch && r != ChangePasswordResult::TooLong &&
            r != ChangePasswordResult::InvalidCharacter)
            return;
    }
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
        fitHeightToRows();
}

void TForm1::ownOptionsChanged()
{
    admin::MenuEffects effects;
    m_session.reloadOwnOptions(&effects);
    m_remarks->clearRemarkList();
    m_refreshMain->setVisible(effects.refreshItemVisible);
    m_menus->refresh();
    if (m_board.options[admin::opt::kTaskbarButton])
        openBoardWindow();
    repaintBoard();
    // The columns the options show, sized as after a login.
    m_grid->layoutColumnsForOptions();
    fitHeightToRows();
}

void TForm1::showAllRows()
{
    if (m_grid->setFilter(""))
        fitHeightToRows();
    checkViewItem();
}

QStringList TForm1::viewGroups() const
{
    QStringList groups;
    for (const QAction* a : m_groupItems)
        groups << a->text().trimmed();
    return groups;
}

void TForm1::addViewGroup(const QString& group)
{
    QString caption = group;
    caption.replace(QLatin1Char('&'), QLatin1Char('+'));
    for (const QAction* a : m_groupItems)
        if (a->text() == caption)
            return;
    addGroupItem(caption, s(group),
                 BoardView::shortcutFor(static_cast<int>(m_groupItems.size()) + 1));
}

void TForm1::repaintBoard()
{
    m_grid->reload();
    rebuildViewMenu();
    if (m_testHooks)
        m_testHooks->dump(m_grid->view());
}

void TForm1::setTray(const QIcon& icon, const QString& tip)
{
    m_tray->setIcon(icon);
    m_tray->setToolTip(tip.left(63));
}

void TForm1::setTrayIcon(const QIcon* icon)
{
    if (icon)
        m_tray->setIcon(*icon);
    else if (m_login.loggedIn() && !m_board.adminMode)
        m_tray->setIcon(RemarkController::iconForStatus(m_board.ownStatus));
    else
        m_tray->setIcon(windowIcon());
}

void TForm1::updateTrayFromBoard()
{
    // The load made the tip; the icon follows the own status.
    if (!m_login.loggedIn() || m_board.adminMode || m_board.trayHint.empty())
        return;
    setTray(RemarkController::iconForStatus(m_board.ownStatus), q(m_board.trayHint));
}

void TForm1::setDialogs(core::Dialogs* dialogs)
{
    m_dialogs = dialogs;
    m_remarks->setDialogs(dialogs);
}

void TForm1::timer1Tick()
{
    m_session.tick();
}

void TForm1::rebuildViewMenu()
{
    if (!m_groupItems.isEmpty())
        return; // built once; Show Names empties it
    for (const ViewItem& item : m_grid->view().viewItems())
        addGroupItem(q(item.caption), item.group, item.shortcut);
    checkViewItem();
}

void TForm1::addGroupItem(const QString& caption, const std::string& group, const std::string& shortcut)
{
    auto* a = new QAction(caption, m_viewMenu);
    if (!shortcut.empty())
        a->setShortcut(QKeySequence(q(shortcut)));
    connect(a, &QAction::triggered, this, [this, group] {
        if (m_grid->setFilter(group))
            fitHeightToRows();
        checkViewItem();
    });
    a->setCheckable(true);
    a->setData(q(group));
    m_viewItems->addAction(a);
    m_viewMenu->insertAction(m_viewSeparator, a);
    m_groupItems << a;
}

void TForm1::checkViewItem()
{
    // "All" for no filter, the group's item for a group; nothing while only
    // the own row shows.
    const QString filter = q(m_grid->view().filter());
    m_viewAll->setChecked(filter.isEmpty());
    for (QAction* a : m_groupItems)
        a->setChecked(!filter.isEmpty() && a->data().toString() == filter);
}

void TForm1::fitHeightToRows(bool naturalWidth)
{
    if (!m_grid->isVisible())
        return;
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect(0, 0, 1280, 800);
    // One resize with the final size: on some desktops a resize takes effect
    // only later, so width() cannot be read back in between.
    int w = width();
    if (!isMaximized()) {
        // Every column whole as far as the screen allows: a larger font
        // widens the window, a smaller one (naturalWidth) narrows it again.
        const int decoration = std::max(0, frameGeometry().width() - width());
        const int natural = std::min(m_grid->naturalWidth(screen.height()), screen.width() - decoration);
        w = naturalWidth ? natural : std::max(w, natural);
    }
    bool capped = false;
    const int client = m_grid->fittedClientHeight(screen.height(), isMaximized(), &capped, w);
    // A window grown past the screen's right edge moves left to show it all.
    const int decoration = std::max(0, frameGeometry().width() - width());
    const int left = std::max(screen.left(), std::min(x(), screen.right() + 1 - w - decoration));
    if (capped || left != x())
        move(left, capped ? screen.top() : y());
    resize(w, client + chromeHeight());
    // When the size did not change there is no resize event to autosize.
    m_grid->autosizeColumns();
}

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
    fitHeightToRows();
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

void TForm1::saveSettings()
{
    m_session.saveSettings(windowState());
}

// ---- help, alerts, window ----------------------------------------------------

HelpViewer* TForm1::helpViewer()
{
    if (!m_help)
        m_help = new HelpViewer(this);
    return m_help;
}

void TForm1::showContents()
{
    const QString fixed = HelpViewer::fixedHelpDir();
    if (!helpViewer()->showTopic({HelpViewer::localHelpDir(), fixed}, QString::fromLatin1(HelpViewer::kContentsTopic)))
        showAlert(StartupChecks::helpMissingAlert(s(fixed)));
}

void TForm1::showStartingUpHelp()
{
    const QString fixed = HelpViewer::fixedHelpDir();
    if (!helpViewer()->showTopic({fixed}, QString::fromLatin1(HelpViewer::kStartingUpTopic)))
        showAlert(StartupChecks::helpMissingAlert(s(fixed)));
}

void TForm1::openWeb(const QString& url)
{
    if (!QDesktopServices::openUrl(QUrl(url)))
        inform(QStringLiteral("Web browser not found."));
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

void TForm1::resizeToPanel()
{
    m_pwdPanel->adjustSize();
    const QSize panel = m_pwdPanel->sizeHint();
    const int w = std::max(4 * m_label2->x() + m_label2->width(), panel.width());
    resize(w, panel.height() + chromeHeight());
}

int TForm1::chromeHeight()
{
    return menuBar()->sizeHint().height() + m_statusHeight;
}

int TForm1::statusHeight() const
{
    int lines = 0;
    for (const QLabel* label : {m_serverState, m_writeStatus})
        if (!label->isHidden())
            lines += label->sizeHint().height() + 2;
    if (lines == 0 && statusBar()->currentMessage().isEmpty())
        return 0;
    return std::max(lines + 6, statusBar()->sizeHint().height());
}

void TForm1::showServerState()
{
    m_serverState->setText(q(m_session.names().serverStateLine()));
    m_serverState->setToolTip(m_serverState->text());
    updateStatusBar();
    updateCaption();
    if (m_session.names().serverState() == ServerState::Damaged)
        showAlert(m_session.names().damagedAlert());
}

void TForm1::showWriteStatus(const QString& text)
{
    m_writeStatus->setText(text);
    m_writeStatus->setToolTip(text);
    updateStatusBar();
}

void TForm1::updateStatusBar()
{
    m_serverState->setVisible(!m_serverState->text().isEmpty());
    m_writeStatus->setVisible(!m_writeStatus->text().isEmpty());
    const int height = statusHeight();
    statusBar()->setVisible(height > 0);
    // The rows keep their room: the window grows or shrinks by the bar.
    const int delta = height - m_statusHeight;
    m_statusHeight = height;
    if (delta != 0 && isVisible() && !isMaximized())
        resize(width(), this->height() + delta);
}

void TForm1::updateCaption()
{
    QString caption = QString::fromLatin1(kTitle);
    switch (m_session.names().serverState()) {
    case ServerState::Reachable: break;
    case ServerState::Unreachable: caption += QStringLiteral(" \u2014 server not reachable"); break;
    case ServerState::Damaged: caption += QStringLiteral(" \u2014 names table damaged"); break;
    }
    setWindowTitle(caption);
}

void TForm1::openBoardWindow()
{
    showNormal();
    raise();
    activateWindow();
}

void TForm1::showYourself()
{
    QApplication::beep();
    if (m_tray->isVisible()) {
        m_tray->hide();
        m_tray->show();
    }
    openBoardWindow();
}

void TForm1::keyPressEvent(QKeyEvent* event)
{
    const QString text = event->text();
    const bool plain = text.size() == 1 && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const char32_t key = plain ? text[0].unicode() : 0;
    const QuickKeyStep step = quickKeyStep(key, m_grid->findBox() && m_grid->findBox()->isVisible(),
                                           m_grid->isVisible(), m_settings.quickKey1, m_settings.quickKey2);
    if (step.kind == QuickKeyStep::FocusFind) {
        m_grid->findBox()->setFocus();
        return;
    }
    if (key != 0)
        m_tray->setIcon(windowIcon()); // a key press clears a notification icon
    switch (step.kind) {
    case QuickKeyStep::SetRemark: {
        std::string remark = step.text;
        if (m_dialogs && remark.find_first_of("<{") != std::string::npos)
            remark = admin::RemarkList::expandPlaceholders(q(remark), m_station.clock, *m_dialogs,
                                                           m_board.options[admin::opt::kInternationalDates])
                         .text.toStdString();
        if (m_login.remarks().setOwnRemark(remark, 'w', false) != WriteResult::NotAllowed)
            m_board.ownStatus = remark::kOther;
        repaintBoard();
        return;
    }
    case QuickKeyStep::Reload:
        if (!platform::fileExists(m_station.dataPath(NamesTable::kFileName)))
            m_station.log.error("Network Error");
        else
            m_board.pollCounter = m_board.options.refreshTicks - 5; // the next poll comes within 5 ticks
        reloadBoard(false);
        return;
    case QuickKeyStep::Find:
        m_grid->setFilter("");
        reloadBoard(false);
        m_grid->startFind(QChar(step.text[0]));
        return;
    default:
        break;
    }
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
