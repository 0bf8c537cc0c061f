// The shared names table "qb3.dbf", its local mirror "q3.dbf" and the load of
// the in-memory board. Readers copy the whole file and read the copy; writers
// change one record of the shared file under a record lock.
#pragma once

#include "board/Board.h"
#include "board/RemarkLog.h"
#include "core/Colors.h"
#include "core/Station.h"
#include "core/TableNames.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::board {

// Column selectors of a one-column write.
namespace column {
constexpr int kName = 1;
constexpr int kRemark = 2;
constexpr int kGroup = 3;
constexpr int kMisc = 4;
constexpr int kColor = 5;
} // namespace column

enum class WriteResult { Ok, OpenFailed, MissingRecord, AccessFailed, NotAllowed, LockFailed, WriteFailed };

// What the last look at the shared names table found. The board keeps
// showing the mirror in every state; only Reachable means it is current.
enum class ServerState {
    Reachable,   // the last copy came through and opened as a names table
    Unreachable, // the shared table (or its directory) could not be opened
    Damaged,     // it opened for copying, but the copy is no names table
};

// Result of one copy of the shared table to the mirror.
enum class CopyResult { Copied, SourceUnreadable, Damaged, MirrorUnwritable };

class NamesTable {
public:
    static constexpr const char* kFileName = core::namesTableName();
    static constexpr int kHeaderLength = 385;
    static constexpr int kRecordLength = 233;

    NamesTable(Station& station, Board& board, RemarkLog& log);

    static std::vector<std::string> fieldList();

    // Copies the shared table byte for byte to a file beside the mirror and
    // puts it in the mirror's place only when it opens cleanly as a names
    // table: a damaged or truncated server file never replaces a good
    // mirror. Failures go to the event log; the server state follows.
    CopyResult copy(const std::string& source, const std::string& destination);
    // Rebuilds the board from the mirror, copying the shared table first when
    // forced or when there is no mirror yet. False when nothing could be read.
    bool load(bool forceCopy);
    // Writes one column of one row to the shared table (selector, new text in
    // UTF-8, in-use flag and colour for remarks). The caller reloads afterwards.
    WriteResult writeColumn(int selector, const std::string& text, bool inUse, const Rgb& color, int boardIndex);
    // Writes the own remark to the shared table and to the mirror.
    WriteResult writeOwnRemark(const std::string& text, char colorLetter, bool inUse);


    ServerState serverState() const { return m_serverState; }
    // The engine's own text of what is wrong with a damaged table.
    const std::string& serverError() const { return m_serverError; }
    // The status line while the board is not current ("" while Reachable):
    // what is wrong and from when the copy shown is.
    std::string serverStateLine() const;
    // Alert lines for a damaged shared table: the engine's own text and
    // what the administrator should run.
    std::vector<std::string> damagedAlert() const;
    // The names poll could not reach the shared table.
    void noteUnreachable() { setServerState(ServerState::Unreachable, {}); }
    // Called after every change of serverState().
    std::function<void()> onServerStateChanged;

private:
    bool openShared(engine::TTzDbf& t);
    void setServerState(ServerState state, std::string error);
    // Opens the shared record of boardIndex, takes its record lock and reads
    // it again under the lock, so that a column another station changed
    // since is kept; then `change` sets only the columns being written.
    engine::CommitResult commitUnderLock(engine::TTzDbf& t, std::int64_t recNo,
                                         const std::function<void(engine::TTzDbf&)>& change);
    void rebuildDisplayOrder();
    Station& m_station;
    Board& m_board;
    RemarkLog& m_log;
    engine::TTzDbf m_mirror;
    engine::TTzDbf m_server;
    ServerState m_serverState = ServerState::Reachable;
    std::string m_serverError;
    std::string m_lastCopyTime;
};

} // namespace qb::board
