// Real qbp3 programs on one scratch data directory, each a station of its
// own: its own copy of the program (so its mirror lies in a directory of its
// own), its own settings, offscreen. A board started with startBoard is
// driven and watched through the program's test-only hooks, the control
// socket (QB_TEST_CONTROL) and the board dump (QB_TEST_BOARD_DUMP); see
// board/TestHooks.h. Process tests derive from it next to QObject and call
// makeData() in init() and dropData() in cleanup().
#pragma once

#include "core/Options.h"

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qb::testing {

// A board program started by ProcessStations::startBoard.
struct BoardProcess {
    QString dir;     // the station's directory: the program, sys/, cache/, config/
    QString control; // the control socket's name
    QString dump;    // the file the board writes its rows to after each repaint
    QProcess* process = nullptr;
};

class ProcessStations {
protected:
    // A new scratch area with the demo data directory in it; false when it
    // could not be made.
    bool makeData();
    // Kills what still runs and removes the scratch area.
    void dropData();

    // The board index of the named person in the shared names table (-1
    // when not there).
    int indexOf(const std::string& name) const;
    // Loads the person's options, lets change edit them and saves them with
    // their rights; false when either step failed.
    bool setOptions(int boardIndex, const std::function<void(admin::Options&)>& change);

    // Copies qbp3 under name into the directory dirName of the scratch area
    // (a copy already there is used again); empty when it could not.
    QString installCopy(const QString& dirName, const QString& name = QStringLiteral("qbp3"));
    // The environment of a program: offscreen unless the caller chose a
    // platform, its settings in settingsDir/sys and settingsDir/config, its
    // cache (and so its mirror) next to the program, instance as the
    // single-instance name.
    QProcessEnvironment environment(const QString& program, const QString& settingsDir, const QString& instance) const;
    // Starts the program; it is killed in dropData().
    QProcess* startProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                           QProcess::ProcessChannelMode channels, const QString& workDir = {});

    // Starts a board in the station directory key on the data directory,
    // set up to log in the person automatically when the options allow it.
    BoardProcess startBoard(const QString& key, const QString& person);
    // Sends one line over the board's control socket and returns the
    // answer line ("error no connection" when the board does not listen).
    static QString command(const BoardProcess& board, const QString& line, int answerMs = 15000);
    // Whether, within timeoutMs, the board reports the person of boardIndex
    // logged in.
    static bool waitForLogin(const BoardProcess& board, int boardIndex, int timeoutMs);

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_data;

private:
    std::vector<QProcess*> m_processes;
};

} // namespace qb::testing
