// The shared names table "qb3.dbf", its local mirror "q3.dbf" and the load of
// the in-memory board. Readers copy the whole file and read the copy; writers
// change one record of the shared file under a record lock.
#pragma once

#include "board/Board.h"
#include "board/Colors.h"
#include "board/RemarkLog.h"
#include "board/Station.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"

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

class NamesTable {
public:
    static constexpr const char* kFileName = "qb3.dbf";
    static constexpr int kHeaderLength = 385;
    static constexpr int kRecordLength = 233;

    NamesTable(Station& station, Board& board, RemarkLog& log);

    static std::vector<std::string> fieldList();

    // Copies the shared table to the mirror byte for byte. Returns false (with
    // an event-log entry) when either file cannot be opened.
    bool copy(const std::string& source, const std::string& destination);
    // Rebuilds the board from the mirror, copying the shared table first when
    // forced or when there is no mirror yet. False when nothing could be read.
    bool load(bool forceCopy);
    // Writes one column of one row to the shared table (selector, new text in
    // UTF-8, in-use flag and colour for remarks). The caller reloads afterwards.
    WriteResult writeColumn(int selector, const std::string& text, bool inUse, const Rgb& color, int boardIndex);
    // Writes the own remark to the shared table and to the mirror.
    WriteResult writeOwnRemark(const std::string& text, char colorLetter, bool inUse);

    // Largest board index + 1 of the last copy.
    int lastCopyRows() const { return m_lastCopyRows; }

private:
    bool openShared(engine::TTzDbf& t);
    void rebuildDisplayOrder();
    Station& m_station;
    Board& m_board;
    RemarkLog& m_log;
    engine::TTzDbf m_mirror;
    engine::TTzDbf m_server;
    int m_lastCopyRows = 0;
};

} // namespace qb::board
