#include "RemarkActions.h"

#include "engine/RecordCommit.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>

namespace qb::board {

namespace {

std::string trim(const std::string& s)
{
    auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Exactly In, or In but unavailable; "in the office" is left alone.
bool isInRemark(const std::string& remark)
{
    std::string current = platform::asciiLower(trim(remark));
    return current == "in" || current.rfind("in but un", 0) == 0;
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
    const int previousStatus = m_board.ownStatus;
    // msgcnt takes the own status of this change.
    m_board.ownStatus = remark::kIn;
    WriteResult r = m_names.writeOwnRemark(text, colorLetter, inUse);
    if (r == WriteResult::Ok)
        m_log.append("Remark", text, m_board.ownName);
    else
        m_board.ownStatus = previousStatus;
    // The reload shows what the server holds (the mirror is written only
    // after the server took the change), and sets the own status and tray
    // tip from it.
    m_names.load(true);
    return r;
}

WriteResult RemarkActions::setIn()
{
    std::string text = expand ? expand(m_board.inText) : m_board.inText;
    WriteResult r = setOwnRemark(text, 'l', true);
    activityIntervalMs = 1000;
    if (r != WriteResult::Ok)
        return r;
    m_board.ownStatus = remark::kIn;
    m_board.trayHint = (text + ": " + m_board.ownName).substr(0, 60);
    return r;
}

WriteResult RemarkActions::setOut()
{
    std::string text = expand ? expand(m_board.outText) : m_board.outText;
    WriteResult r = setOwnRemark(text, 'r', true);
    activityIntervalMs = m_board.options[admin::opt::kActivityInOut] ? 300000 : 0;
    if (r != WriteResult::Ok)
        return r;
    m_board.ownStatus = remark::kOut;
    m_board.trayHint = (text + ": " + m_board.ownName).substr(0, 60);
    return r;
}

std::string RemarkActions::notSavedText(WriteResult r, const std::string& text)
{
    std::string why;
    switch (r) {
    case WriteResult::Ok:
    case WriteResult::NotAllowed: return {};
    case WriteResult::OpenFailed: why = "the names table on the server could not be opened"; break;
    case WriteResult::LockFailed: why = "another workstation is writing that row; please try again"; break;
    case WriteResult::MissingRecord:
    case WriteResult::AccessFailed: why = "the row is missing from the names table on the server"; break;
    case WriteResult::WriteFailed: why = "the names table on the server could not be written"; break;
    }
    return "Not saved: \"" + text + "\" \u2014 " + why + ".";
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

std::string RemarkActions::refusal(int boardIndex, bool fourthColumn) const
{
    if (boardIndex < 1 || !m_board.isShown(boardIndex) || m_board.ownIndex < 0)
        return {};
    if (!mayChangeRow(boardIndex))
        return std::string("Only your own ") + (fourthColumn ? "fourth column" : "remark") +
               " can be changed: the option \"" + admin::builtInCaption(admin::opt::kChangeOthers) + "\" is off.";
    if (fourthColumn && !mayEditFourthColumn(boardIndex))
        return std::string("The fourth column cannot be changed: the option \"") +
               admin::builtInCaption(admin::opt::kLockFourthColumn) + "\" is on.";
    return {};
}

WriteResult RemarkActions::applyPickedRemark(int boardIndex, const Picked& picked)
{
    if (!mayChangeRow(boardIndex))
        return WriteResult::NotAllowed;
    WriteResult r = m_names.writeColumn(column::kRemark, picked.text, picked.inUse, picked.color, boardIndex);
    if (r != WriteResult::Ok)
        return r;
    m_board.remarks[static_cast<std::size_t>(boardIndex)] = picked.text;
    if (boardIndex == m_board.ownIndex) {
        if (picked.type >= 0 && picked.type <= 6)
            m_board.ownStatus = picked.type;
        m_board.trayHint = (picked.text + ": " + m_board.ownName).substr(0, 60);
    }
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
        if (table.Deleted() || (kind == ChangeAll::InToOut && !isInRemark(table.getText("remark"))))
            continue;
        if (!table.RLock()) {
            m_station.log.error("Error writing to qb3.dbf on the server.");
        } else {
            // Read again under the lock: the row may have changed since, and
            // its other columns are written back as they are now.
            table.Go(r);
            const bool wanted = kind != ChangeAll::InToOut || isInRemark(table.getText("remark"));
            if (wanted && !table.Deleted()) {
                table.setText("remark", text);
                table.SetCField("color", std::string("#") + letter);
                table.SetLongField("chgcntr", static_cast<unsigned char>(letter));
                table.SetRealField("time", stamp);
                table.Replace();
                table.Flush();
                ++changed;
            }
            table.UnLock();
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
