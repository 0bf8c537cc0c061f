// Test-only ways into a running board program, for tests that start real
// qbp3 processes. Both are off unless their environment variable is set, and
// neither is meant for users:
//
//   QB_TEST_BOARD_DUMP=FILE   after every repaint of the board the program
//                             replaces FILE with its visible rows (see dump()).
//   QB_TEST_CONTROL=NAME      the program listens on the local socket NAME for
//                             one-line commands and answers each with one
//                             line; the board window decides what a command
//                             does (see TForm1::testCommand).
#pragma once

#include "board/Board.h"
#include "board/BoardView.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QLocalServer;

namespace qb::board {

class TestHooks : public QObject {
    Q_OBJECT
public:
    // Reads the two environment variables; starts listening when asked to.
    explicit TestHooks(QObject* parent = nullptr);

    bool dumping() const { return !m_dumpPath.isEmpty(); }
    // Replaces the dump file (written beside it, then renamed, so a reader
    // never sees half a file). Line 1: "dump N" (N counts the dumps of this
    // run); then one line per visible row in grid order:
    // board index, name, remark, fourth column, separated by tabs.
    void dump(const BoardView& view);

    // Handles one command (the words of its line); returns the answer line.
    std::function<QString(const QStringList& words)> handler;

    static QString formatDump(const BoardView& view, int number);

private:
    void onConnection();
    QString m_dumpPath;
    QLocalServer* m_server = nullptr;
    int m_dumps = 0;
};

} // namespace qb::board
