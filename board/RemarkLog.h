// The monthly remark-change log "LGmmyyyy.dbf": one entry per remark or
// fourth-column change and a few events, appended by every station.
#pragma once

#include "board/Board.h"
#include "core/Station.h"
#include "engine/TTzDbf.h"

#include <string>
#include <vector>

namespace qb::board {

class RemarkLog {
public:
    RemarkLog(Station& station, Board& board);

    static std::vector<std::string> fieldList();
    // "LG" + MMYYYY of now + ".dbf".
    std::string fileName() const;
    // Time text of an entry: "yyyy/mm/dd hh:nn" (international) or
    // "h:nn ampm mm/dd/yyyy".
    static std::string formatTime(const platform::LocalTime& t, bool international);

    // Appends an entry when option 13 is on; does nothing otherwise. Returns
    // false when the entry could not be written (reported to the event log).
    bool append(const std::string& column, const std::string& text, const std::string& personName);

private:
    Station& m_station;
    Board& m_board;
    engine::TTzDbf m_table;
};

} // namespace qb::board
