// qbp3, the board program: `qbp3 [5] [DATA_DIR]`. The first argument is
// ignored (the launcher passes "5"); the second becomes the current
// directory, where every shared table is opened by name.
#include "board/AdminWiring.h"
#include "board/BoardGrid.h"
#include "board/DialogIcons.h"
#include "board/HelpViewer.h"
#include "board/SingleInstance.h"
#include "board/StartupChecks.h"
#include "board/StartupMarks.h"
#include "board/TForm1.h"
#include "board/TestHooks.h"
#include "core/Station.h"
#include "planner/PlannerWindows.h"
#include "engine/TTzDbf.h"
#include "messages/MessageMenus.h"
#include "messages/MessagingController.h"
#include "messages/MessagingTestCommands.h"
#include "messages/TSendMsg3.h"
#include "messages/TrdMsgs.h"
#include "planner/TPickDT.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Paths.h"
#include "ui/MenuRegistry.h"
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QDir>
#include <QStatusBar>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <memory>
#include <unistd.h>

using namespace qb;

namespace {

// With QB_STARTUP_MARKS set: the mark "shown" once the grid has painted for
// a logged-in user (the end of the start-up a user waits for).
class ShownMark : public QObject {
public:
    explicit ShownMark(board::TForm1& form) : m_form(form) {}
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!m_done && event->type() == QEvent::Paint && m_form.loginLogic().loggedIn()) {
            auto* w = qobject_cast<QWidget*>(watched);
            if (w && m_form.grid()->isVisible() && (w == m_form.grid() || m_form.grid()->isAncestorOf(w))) {
                m_done = true;
                // After this paint and the flush of the window.
                QTimer::singleShot(0, [] { board::startupMark("shown"); });
            }
        }
        return false;
    }

private:
    board::TForm1& m_form;
    bool m_done = false;
};

} // namespace

int main(int argc, char** argv)
{
    board::startupMark("main");
    std::vector<std::string> args(argv, argv + argc);
    const std::string programName = board::StartupChecks::programFileName(args.empty() ? "" : args[0]);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quellboard Pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quellboard Pro"));
    QApplication::setQuitOnLastWindowClosed(false); // the tray keeps a hidden board alive
    board::useDesktopDialogIcons();
    board::startupMark("app");

    // One board per account; a later start hands over and ends without a
    // window. Copies named "m..." run beside any other.
    // QUELLBOARD_INSTANCE renames the instance, so test copies never meet a
    // board the same account runs for real.
    const QString instanceName = qEnvironmentVariableIsEmpty("QUELLBOARD_INSTANCE")
                                     ? board::SingleInstance::defaultName()
                                     : qEnvironmentVariable("QUELLBOARD_INSTANCE");
    board::SingleInstance instance(instanceName);
    if (!board::StartupChecks::skipsSingleInstance(programName) && !instance.claim())
        return 0;

    std::string dataDir = board::StartupChecks::dataDirArgument(args);
    if (!dataDir.empty() && ::chdir(dataDir.c_str()) != 0)
        std::cerr << "qbp3: cannot use data directory " << dataDir << ": " << std::strerror(errno) << "\n";
    if (dataDir.empty() || QDir(QString::fromStdString(dataDir)).exists())
        dataDir = QDir::currentPath().toStdString();

    platform::SyslogEventLog& log = platform::SyslogEventLog::instance();
    board::Station station {engine::TTzDbf::defaultEngine(), platform::SystemClock::instance(), log, dataDir,
                            platform::Paths::startDir()};

    board::TForm1::RunInfo run;
    run.workstationDir = platform::Paths::workstationDir();
    run.desktopDir = platform::Paths::desktopDir();
    run.userName = platform::Paths::userName();
    run.programPath = platform::Paths::programPath();
    for (const auto& a : args)
        run.commandLine += (run.commandLine.empty() ? "" : " ") + a;

    board::TForm1 form1(station, run);
    board::startupMark("window");
    QObject::connect(&instance, &board::SingleInstance::showRequested, &form1, &board::TForm1::showYourself);
    // The other windows are created here, in the program's order, as they
    // come into being: message reader, send window, remark pick list, then
    // the prompt window, week planner, employee information, list picker.
    planner::TPickDT pickDT;
    // Every box and prompt of every window goes through this one object.
    ui::QtDialogs dialogs(&form1, &pickDT);
    pickDT.setDialogs(&dialogs);
    form1.setDialogs(&dialogs);
    planner::PlannerWindows plannerWindows(station.engine, QString::fromStdString(dataDir), station.clock, dialogs,
                                           &form1, [&form1] { return form1.settings().eiChg; });
    planner::installPlannerMenus(form1.menus(), plannerWindows);
    QObject::connect(&plannerWindows, &planner::PlannerWindows::helpRequested, &form1, [&form1](const QString& topic) {
        form1.helpViewer()->showTopic({board::HelpViewer::localHelpDir(), board::HelpViewer::fixedHelpDir()}, topic);
    });

    // Messaging: the send window, the reader and the new-message check, put
    // into the board's menus and its 500 ms timer.
    board::Board& b = form1.board();
    messages::MessagingHost host;
    host.boardWindow = &form1;
    host.loggedIn = [&form1] { return form1.loginLogic().loggedIn(); };
    host.adminMode = [&b] { return b.adminMode; };
    host.ownIndex = [&b] { return b.ownIndex; };
    host.ownName = [&b] { return b.ownName; };
    host.option = [&b](int n) { return b.options[n]; };
    host.messageInterval = [&b] { return b.options.messageTicks; };
    host.viewFilter = [&form1] { return form1.grid()->view().filter(); };
    host.inText = [&b] { return b.inText; };
    host.people = [&b] {
        std::vector<std::pair<int, std::string>> people;
        for (const auto& [name, index] : b.loginNames)
            if (index > 0)
                people.emplace_back(index, name);
        return people;
    };
    host.mirrorPath = [&station] { return station.mirrorPath(); };
    host.workstationDir = [dir = run.workstationDir] { return dir; };
    host.flagLabels = [&form1] { return form1.settings().flagLabels; };
    host.outOfOfficeColouring = [&form1] { return form1.settings().msgColor; };
    host.openHelp = [&form1](const QString& topic) {
        form1.helpViewer()->showTopic({board::HelpViewer::localHelpDir(), board::HelpViewer::fixedHelpDir()}, topic);
    };
    host.alert = [&station](const std::vector<std::string>& lines) { station.showAlert(lines); };
    host.statusLine = [&form1](const QString& text) { form1.statusBar()->showMessage(text, board::TForm1::kStatusMs); };
    host.setTitle = [&form1](const QString& title) { form1.setWindowTitle(title); };
    host.caption = [&form1] { return form1.windowTitle(); };
    host.setTrayIcon = [&form1](const QIcon* icon) { form1.setTrayIcon(icon); };
    host.dialogs = &dialogs;
    messages::MessagingController messaging(station, host);
    form1.setMessageCheck([&messaging] { messaging.timerTick(); });
    const auto nameOf = [&b](int index) {
        return index >= 0 && index < b.rowCount() ? b.names[static_cast<std::size_t>(index)] : std::string();
    };
    messages::installMessageMenus(form1.menus(), messaging, [&b](int index) {
        return index >= 0 && index < b.rowCount() ? b.remarks[static_cast<std::size_t>(index)] : std::string();
    });
    // Options and name administration: "O&ptions", "Add &Name", the name
    // pop-up's administrator items and the group pop-up.
    board::AdminWiring adminWiring;
    adminWiring.clearAlert = [&messaging] { messaging.clearAlert(); };
    adminWiring.afterOwnOptions = [&messaging, &b] { messaging.check().afterOptionsWindow(b.options.messageTicks); };
    adminWiring.messageWindowOpen = [&messaging] {
        return messaging.sendWindow()->isVisible() || messaging.reader()->isVisible();
    };
    adminWiring.showInformation = [&plannerWindows](int index, const QString& name, const ui::MenuContext& c) {
        plannerWindows.showInformation(index, name, c);
    };
    board::installAdministration(form1, station, dialogs, std::move(adminWiring));
    if (board::TestHooks* hooks = form1.testHooks(); hooks && hooks->listening())
        for (auto& [name, command] : messages::messagingTestCommands(messaging, nameOf))
            hooks->addCommand(name, command);

    std::unique_ptr<ShownMark> shownMark;
    if (board::startupMarksOn()) {
        shownMark = std::make_unique<ShownMark>(form1);
        app.installEventFilter(shownMark.get());
    }
    board::startupMark("windows");
    form1.show();
    return app.exec();
}
