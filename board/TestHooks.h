// Test-only ways into a running board program, for tests that start real
// qbp3 processes. The program creates this object only when one of the two
// environment variables is set, and neither is meant for users:
//
//   QB_TEST_BOARD_DUMP=FILE   after every repaint of the board the program
//                             replaces FILE with its visible rows (see dump()).
//   QB_TEST_CONTROL=NAME      the program listens on the local socket NAME for
//                             one-line commands and answers each with one
//                             line (see command()).
#pragma once

#include "board/Board.h"
#include "board/BoardView.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

class QLocalServer;

namespace qb::board {

class LoginLogic;
class RemarkController;

class TestHooks : public QObject {
    Q_OBJECT
public:
    // Whether either environment variable is set (the program creates a
    // TestHooks only then).
    static bool requested();
    // Reads the two environment variables; starts listening when asked to.
    explicit TestHooks(QObject* parent = nullptr);

    // Replaces the dump file (written beside it, then renamed, so a reader
    // never sees half a file). Line 1: "dump N" (N counts the dumps of this
    // run); then one line per visible row in grid order:
    // board index, name, remark, fourth column, separated by tabs.
    void dump(const BoardView& view);

    // What the commands work on (all must outlive this object); reload
    // loads the board from a fresh copy and repaints.
    void attach(Board& board, LoginLogic& login, RemarkController& remarks, std::function<void()> reload);

    // One command, as the user would do it; the answer is "ok ..." or
    // "error ...":
    //   state              "ok LOGGEDIN OWNINDEX OWNREMARK"
    //   in | out           the own In or Out; answers the own remark
    //   pick INDEX ENTRY   clicks the remark cell of board index INDEX and
    //                      picks entry ENTRY of the list once it shows;
    //                      answers the row's remark afterwards
    //   reload             a fresh load, as Refresh
    QString command(const QStringList& words);
    // Adds a command other areas answer (words[0] is its name).
    void addCommand(const QString& name, std::function<QString(const QStringList& words)> run)
    {
        m_extra[name] = std::move(run);
    }
    bool listening() const { return m_server != nullptr; }

    static QString formatDump(const BoardView& view, int number);

private:
    void onConnection();
    QString m_dumpPath;
    std::map<QString, std::function<QString(const QStringList&)>> m_extra;
    QLocalServer* m_server = nullptr;
    int m_dumps = 0;
    Board* m_board = nullptr;
    LoginLogic* m_login = nullptr;
    RemarkController* m_remarks = nullptr;
    std::function<void()> m_reload;
};

} // namespace qb::board
