// qbp3, the board program: `qbp3 [5] [DATA_DIR]`. The first argument is
// ignored (the launcher passes "5"); the second becomes the current
// directory, where every shared table is opened by name.
#include "board/DialogIcons.h"
#include "board/SingleInstance.h"
#include "board/Station.h"
#include "board/StartupChecks.h"
#include "board/TForm1.h"
#include "engine/TTzDbf.h"
#include "planner/TPickDT.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Paths.h"
#include "ui/QtDialogs.h"

#include <QApplication>
#include <QDir>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <unistd.h>

using namespace qb;

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv, argv + argc);
    const std::string programName = board::StartupChecks::programFileName(args.empty() ? "" : args[0]);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quellboard Pro"));
    QApplication::setApplicationDisplayName(QStringLiteral("Quellboard Pro"));
    QApplication::setQuitOnLastWindowClosed(false); // the tray keeps a hidden board alive
    board::useDesktopDialogIcons();

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
    QObject::connect(&instance, &board::SingleInstance::showRequested, &form1, &board::TForm1::showYourself);
    // The other windows are created here, in the program's order, as they
    // come into being: message reader, send window, remark pick list, then
    // the prompt window, week planner, employee information, list picker.
    planner::TPickDT pickDT;
    // Every box and prompt of every window goes through this one object.
    ui::QtDialogs dialogs(&form1, &pickDT);
    pickDT.setDialogs(&dialogs);
    form1.setDialogs(&dialogs);

    form1.show();
    return app.exec();
}
