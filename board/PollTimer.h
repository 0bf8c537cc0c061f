// The 500 ms board timer without its window: the overnight step, the names
// poll by the shared table's last-write time, and the place where the
// new-message check runs.
#pragma once

#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "core/Station.h"

#include <cstdint>
#include <functional>

namespace qb::board {

class PollTimer {
public:
    static constexpr std::int64_t kForceReload = -99;

    struct Hooks {
        std::function<void()> setOwnOut;       // option 17 at night: own remark to Out
        std::function<void()> reloadOptions;   // own configuration record again
        std::function<void()> clearRemarkList; // the pick list reloads next time
        std::function<void()> boardReloaded;   // repaint after a detected change
        std::function<void()> messageCheck;    // new-message check, every tick after the poll
    };

    PollTimer(Station& station, Board& board, NamesTable& names, RemarkLog& log, Hooks hooks);

    // One tick of 500 ms; does nothing while nobody is logged in.
    void tick(bool loggedIn);
    // Remembers the shared table's current time as seen, so only later
    // changes reload (start-up and login).
    void resetStamps();
    // The next poll reloads whatever the time says.
    void forceReload() { m_lastSeen = kForceReload; }

    // Seconds after midnight of this station's overnight step.
    int overnightSecond() const { return 3 * 3600 + m_board.ownIndex * 10; }
    std::int64_t lastSeen() const { return m_lastSeen; }
    int reloads() const { return m_reloads; }

private:
    void overnightStep();
    void namesPoll();
    Station& m_station;
    Board& m_board;
    NamesTable& m_names;
    RemarkLog& m_log;
    Hooks m_hooks;
    bool m_overnight = false;
    std::int64_t m_lastSeen = 0;
    std::int64_t m_lastPolled = 0;
    int m_reloads = 0;
};

} // namespace qb::board
