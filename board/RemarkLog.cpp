#include "RemarkLog.h"

#include "core/TableNames.h"
#include "platform/FileOps.h"

#include <cstdio>

namespace qb::board {

RemarkLog::RemarkLog(Station& station, Board& board)
    : m_station(station), m_board(board), m_table("QBLog", station.engine)
{
    m_table.CreateIfNotFound = false;
    m_table.DbfFields = fieldList();
    m_table.setDbfFileName("qblog.dbf");
}

std::vector<std::string> RemarkLog::fieldList()
{
    return {"ident, C, 4, 0", "name, C, 40, 0", "colname, C, 40, 0", "text, C, 40, 0", "time, C, 20, 0"};
}

std::string RemarkLog::fileName() const
{
    platform::LocalTime t = platform::toLocal(m_station.clock.now());
    return core::remarkLogTableName(t.month, t.year);
}

std::string RemarkLog::formatTime(const platform::LocalTime& t, bool international)
{
    char buf[40];
    if (international) {
        std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
    } else {
        int h12 = t.hour % 12 == 0 ? 12 : t.hour % 12;
        std::snprintf(buf, sizeof buf, "%d:%02d %s %02d/%02d/%04d", h12, t.minute, t.hour < 12 ? "am" : "pm",
                      t.month, t.day, t.year);
    }
    return buf;
}

bool RemarkLog::append(const std::string& column, const std::string& text, const std::string& personName)
{
    int savedPoll = m_board.pollCounter;
    m_board.pollCounter = kPollParked;
    struct Restore {
        Board& b;
        int v;
        engine::TTzDbf& t;
        ~Restore()
        {
            t.CreateIfNotFound = false;
            t.setActive(false);
            b.pollCounter = v;
        }
    } restore {m_board, savedPoll, m_table};

    if (!m_board.options[admin::opt::kLogRemarks])
        return true;

    std::string name = fileName();
    std::string path = m_station.dataPath(name);
    // A missing month's file is created by whichever entry finds it missing,
    // so a program running across the turn of a month keeps logging.
    m_table.CreateIfNotFound = !platform::fileExists(engine::TTzDbf::resolvePath(path));
    bool opened = false;
    for (int attempt = 0; attempt < 4 && !opened; ++attempt) {
        if (attempt > 0)
            m_station.pause(std::chrono::milliseconds(25)); // another station may be creating the month's file
        m_table.setActive(false);
        m_table.setDbfFileName(path);
        m_station.engine.clearError();
        m_table.setActive(true);
        opened = m_table.Active() && m_station.engine.lastError() == 0;
    }
    if (!opened) {
        m_station.log.error("Error updating " + name);
        return false;
    }
    m_table.CreateIfNotFound = false;

    m_table.ClearRecord();
    m_table.SetCField("ident", std::to_string(m_board.ownIndex < 0 ? 0 : m_board.ownIndex).substr(0, 4));
    m_table.setText("name", personName);
    m_table.setText("colname", column);
    m_table.setText("text", text);
    m_table.setText("time", formatTime(platform::toLocal(m_station.clock.now()),
                                       m_board.options[admin::opt::kInternationalDates]));

    // Three rounds at the append lock; the later ones wait first, the last
    // one for up to two seconds, so that stations logging at the same moment
    // all get their entries in.
    auto tryAppend = [&]() -> int { // 1 appended, 0 lock busy, -1 write failed
        if (!m_table.ALock())
            return 0;
        m_table.Append();
        bool ok = m_station.engine.lastError() == 0;
        m_table.Flush();
        m_table.UnLock();
        return ok ? 1 : -1;
    };
    int r = tryAppend();
    if (r == 0) {
        m_station.pause(std::chrono::milliseconds(50));
        r = tryAppend();
    }
    for (int waited = 0; r == 0 && waited < 2000; waited += 20) {
        m_station.pause(std::chrono::milliseconds(20));
        r = tryAppend();
    }
    if (r == 1)
        return true;
    m_station.log.error("Error  updating log file ");
    return false;
}

} // namespace qb::board
