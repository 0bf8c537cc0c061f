#include "RemarkActions.h"

#include "engine/RecordCommit.h"

#include <algorithm>
#include <cctype>

namespace qb::board {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string trim(const std::string& s)
{
    auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

} // namespace

RemarkActions::RemarkActions(Station& station, Board& board, NamesTable& names, RemarkLog& log)
    : m_station(station), m_board(board), m_names(names), m_log(log)
{
}

WriteResult RemarkActions::setOwnRemark(const std::string& text, char colorLetter, bool inUse)
{
    if (m_board.adminMode || m_board.ownIndex <= 0)
        return WriteResult::NotAllowed;
    m_board.ownStatus = remark::kIn;
    auto i = static_cast<std::size_t>(m_board.ownIndex);
    if (i < m_board.remarks.size()) {
        m_board.remarks[i] = text;
        m_board.colorTexts[i] = std::string(1, colorLetter);
        m_board.times[i] = platform::nowDateTime(m_station.clock);
    }
    m_board.trayHint = m_board.ownName + " is " + m_board.inText;
    WriteResult r = m_names.writeOwnRemark(text, colorLetter, inUse);
    if (r == WriteResult::Ok)
        m_log.append("Remark", text, m_board.ownName);
    m_names.load(true);
    return r;
}

WriteResult RemarkActions::setIn()
{
    std::string text = expand ? expand(m_board.inText) : m_board.inText;
    WriteResult r = setOwnRemark(text, 'l', true);
    m_board.ownStatus = remark::kIn;
    m_board.trayHint = (text + ": " + m_board.ownName).substr(0, 60);
    activityIntervalMs = 1000;
    return r;
}

WriteResult RemarkActions::setOut()
{
    std::string text = expand ? expand(m_board.outText) : m_board.outText;
    WriteResult r = setOwnRemark(text, 'r', true);
    m_board.ownStatus = remark::kOut;
    m_board.trayHint = (text + ": " + m_board.ownName).substr(0, 60);
    activityIntervalMs = m_board.options[admin::opt::kActivityInOut] ? 300000 : 0;
    return r;
}

bool RemarkActions::mayChangeRow(int boardIndex) const
{
    if (boardIndex < 1 || !m_board.isShown(boardIndex))
        return false;
    return m_board.adminMode || boardIndex == m_board.ownIndex || m_board.options[admin::opt::kChangeOthers];
}

bool RemarkActions::mustConfirmOtherRow(int boardIndex) const
{
    return m_board.options[admin::opt::kWarnOthers] && boardIndex != m_board.ownIndex && !m_board.adminMode;
}

bool RemarkActions::mayEditFourthColumn(int boardIndex) const
{
    if (!mayChangeRow(boardIndex))
        return false;
    return m_board.adminMode || !m_board.options[admin::opt::kLockFourthColumn];
}

WriteResult RemarkActions::applyPickedRemark(int boardIndex, const Picked& picked)
{
    if (!mayChangeRow(boardIndex))
        return WriteResult::NotAllowed;
    if (boardIndex == m_board.ownIndex) {
        if (picked.type >= 0 && picked.type <= 6)
            m_board.ownStatus = picked.type;
        m_board.trayHint = (picked.text + ": " + m_board.ownName).substr(0, 60);
    }
    WriteResult r = m_names.writeColumn(column::kRemark, picked.text, picked.inUse, picked.color, boardIndex);
    if (r == WriteResult::Ok)
        m_board.remarks[static_cast<std::size_t>(boardIndex)] = picked.text;
    return r;
}

WriteResult RemarkActions::applyFourthColumn(int boardIndex, const std::string& text)
{
    if (!mayEditFourthColumn(boardIndex))
        return WriteResult::NotAllowed;
    std::string t = trim(text);
    WriteResult r = m_names.writeColumn(column::kMisc, t, true, Rgb {255, 255, 255}, boardIndex);
    if (r == WriteResult::Ok)
        m_board.miscs[static_cast<std::size_t>(boardIndex)] = t;
    return r;
}

int RemarkActions::changeAllRemarks(ChangeAll kind, const std::string& customText)
{
    if (!m_board.adminMode)
        return 0;
    std::string text;
    char letter;
    switch (kind) {
    case ChangeAll::In: text = "In"; letter = 'l'; break;
    case ChangeAll::Out:
    case ChangeAll::InToOut: text = "Out"; letter = 'r'; break;
    case ChangeAll::Custom: text = customText; letter = 'y'; break;
    }
    double stamp = engine::encodeStoredTime(platform::nowDateTime(m_station.clock));
    engine::TTzDbf table("QBChgAll", m_station.engine);
    table.CreateIfNotFound = false;
    table.setDbfFileName(m_station.dataPath(NamesTable::kFileName));
    m_station.engine.clearError();
    if (!table.setActive(true))
        return -1;
    int changed = 0;
    int touched = 0;
    std::int64_t count = table.RecCount();
    for (std::int64_t r = 2; r <= count; ++r) {
        table.Go(r);
        if (table.Deleted())
            continue;
        if (kind == ChangeAll::InToOut) {
            std::string current = lower(trim(table.getText("remark")));
            // Exactly In, or In but unavailable; "in the office" is left alone.
            if (current != "in" && current.rfind("in but un", 0) != 0)
                continue;
        }
        table.setText("remark", text);
        table.SetCField("color", std::string("#") + letter);
        table.SetLongField("chgcntr", static_cast<unsigned char>(letter));
        table.SetRealField("time", stamp);
        if (table.RLock()) {
            table.Replace();
            table.Flush();
            table.UnLock();
            ++changed;
        } else {
            m_station.log.error("Error writing to qb3.dbf on the server.");
        }
        if (++touched % 5 == 0)
            m_station.pause(std::chrono::milliseconds(50));
    }
    table.setActive(false);
    m_names.load(true);
    return changed;
}

void RemarkActions::toggleOwnFilter(std::string& filter) const
{
    if (m_board.adminMode)
        return;
    if (filter == "~~") {
        auto i = static_cast<std::size_t>(m_board.ownIndex);
        filter = i < m_board.groups.size() ? m_board.groups[i] : std::string();
    } else {
        filter = "~~";
    }
}

} // namespace qb::board
