#include "PollTimer.h"

#include "platform/FileOps.h"

namespace qb::board {

PollTimer::PollTimer(Station& station, Board& board, NamesTable& names, RemarkLog& log, Hooks hooks)
    : m_station(station), m_board(board), m_names(names), m_log(log), m_hooks(std::move(hooks))
{
}

void PollTimer::resetStamps()
{
    std::uint64_t t = platform::lastWriteTimeOf(m_station.dataPath(NamesTable::kFileName));
    if (t != 0) {
        m_lastSeen = static_cast<std::int64_t>(t & 0xFFFFFFFFu);
        m_lastPolled = m_lastSeen;
    }
}

void PollTimer::tick(bool loggedIn)
{
    if (!loggedIn) {
        // The login panel also shows the offline state; it ends by itself
        // once the shared table is back, whoever is logged in.
        if (m_names.serverState() != ServerState::Reachable)
            namesPoll();
        return;
    }
    overnightStep();
    namesPoll();
    if (m_hooks.messageCheck)
        m_hooks.messageCheck();
}

void PollTimer::overnightStep()
{
    platform::LocalTime now = platform::toLocal(m_station.clock.now());
    int second = now.hour * 3600 + now.minute * 60 + now.second;
    if (second < overnightSecond()) {
        m_overnight = true;
        return;
    }
    if (!m_overnight)
        return;
    m_overnight = false;
    if (m_board.ownStatus == remark::kIn || m_board.ownStatus == remark::kInUnavailable) {
        if (m_board.options[admin::opt::kActivityInOut]) {
            if (m_hooks.setOwnOut)
                m_hooks.setOwnOut();
        } else {
            m_log.append("Alert", "On over night", m_board.ownName);
        }
    }
    if (m_hooks.reloadOptions)
        m_hooks.reloadOptions();
    if (m_hooks.clearRemarkList)
        m_hooks.clearRemarkList();
    forceReload();
}

void PollTimer::namesPoll()
{
    int interval = m_board.options.refreshTicks;
    if (m_board.pollCounter < interval + 200)
        ++m_board.pollCounter;
    if (m_board.pollCounter <= interval)
        return;
    m_board.pollCounter = 0;
    // One open, fstat and close: opening revalidates cached attributes on NFS.
    std::uint64_t t = platform::lastWriteTimeOf(m_station.dataPath(NamesTable::kFileName));
    std::int64_t value;
    if (t == 0) {
        m_station.log.error("Failed to access qb3.dbf on server");
        m_names.noteUnreachable();
        value = m_lastPolled;
    } else {
        value = static_cast<std::int64_t>(t & 0xFFFFFFFFu);
    }
    m_lastPolled = value;
    if (m_lastSeen == kForceReload)
        m_lastSeen = value + 1;
    // While the board shows an old copy, every poll that reaches the file
    // tries a fresh one, whatever its time says.
    if (value != m_lastSeen || (t != 0 && m_names.serverState() != ServerState::Reachable)) {
        m_lastSeen = value;
        if (m_names.load(true)) {
            ++m_reloads;
            if (m_hooks.boardReloaded)
                m_hooks.boardReloaded();
        }
        m_board.pollCounter = 0;
    }
}

} // namespace qb::board
