#include "board/ExitLogic.h"

#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"

namespace qb::board {
namespace {

// The names table opened for one read or write, never created.
void prepareNames(engine::TTzDbf& t, const std::string& path)
{
    t.CreateIfNotFound = false;
    t.DbfFields = NamesTable::fieldList();
    t.setDbfFileName(path);
}

std::string trimmed(const std::string& s)
{
    const auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

} // namespace

ExitLogic::ExitLogic(Station& station, Board& board, RemarkLog& log) : m_station(station), m_board(board), m_log(log) {}

bool ExitLogic::endsAtOnce(bool loggedIn) const
{
    return !loggedIn || m_board.adminMode || m_board.ownIndex < 0;
}

ExitPanelState ExitLogic::prepare(const InOutRemarks& remarks)
{
    ExitPanelState p;
    const admin::Options& o = m_board.options;
    p.confirm = o[admin::opt::kConfirmExit];
    p.inCode = remarks.inCode;
    p.outCode = remarks.outCode;

    bool inUse = false;
    std::string current;
    engine::TTzDbf t("QBExit", m_station.engine);
    prepareNames(t, m_station.dataPath(NamesTable::kFileName));
    m_station.engine.clearError();
    if (t.setActive(true)) {
        t.Go(m_board.ownIndex + 1);
        if (t.RecNo() == m_board.ownIndex + 1) {
            inUse = t.GetLField("inuse");
            current = trimmed(t.getText("remark"));
        }
        t.setActive(false);
    }
    p.outPreselected = (o[admin::opt::kInToOutOnExit] && inUse) || o[admin::opt::kOutOnExit];
    p.checked = p.outPreselected ? ExitPick::Out : ExitPick::Current;
    if (!p.confirm)
        return p;

    p.inCaption = remarks.inText.find('<') != std::string::npos ? "In" : expanded(remarks.inText);
    p.outCaption = remarks.outText.find('<') != std::string::npos ? "Out" : expanded(remarks.outText);
    if (current != p.inCaption && current != p.outCaption) {
        p.currentShown = true;
        p.currentCaption = current;
        const auto own = static_cast<std::size_t>(m_board.ownIndex);
        const std::uint8_t code = own < m_board.colorCodes.size() ? m_board.colorCodes[own] : 0;
        p.currentCode = code != 0 ? code : 'y'; // a row never coloured
    } else if (!p.outPreselected) {
        p.checked = current == p.inCaption ? ExitPick::In : ExitPick::Out;
    }
    return p;
}

WriteResult ExitLogic::leave(const ExitPanelState& panel, ExitPick pick, const InOutRemarks& remarks)
{
    if (pick == ExitPick::Current)
        return WriteResult::Ok;
    std::string text;
    std::uint8_t code = 0;
    if (pick == ExitPick::Out) {
        text = remarks.outText;
        if (text.find('{') != std::string::npos && text.find('<') == std::string::npos)
            text = expanded(text);
        code = remarks.outCode;
    } else {
        text = panel.inCaption;
        code = remarks.inCode;
    }

    const int savedPoll = m_board.pollCounter;
    m_board.pollCounter = kPollParked;
    WriteResult result = WriteResult::Ok;
    engine::TTzDbf t("QBExit", m_station.engine);
    const std::string path = m_station.dataPath(NamesTable::kFileName);
    prepareNames(t, path);
    m_station.engine.clearError();
    if (!t.setActive(true)) {
        result = WriteResult::OpenFailed;
    } else {
        t.Go(m_board.ownIndex + 1);
        if (t.RecNo() != m_board.ownIndex + 1) {
            result = WriteResult::MissingRecord;
        } else {
            t.setText("remark", text);
            t.SetLongField("msgcnt", m_board.ownStatus);
            t.SetCField("color", std::string("3") + static_cast<char>(code));
            t.SetLongField("chgcntr", code);
            m_station.engine.setRetry(3, 40);
            const engine::CommitResult r = engine::commitRecord(t, true, m_station.clock);
            if (r != engine::CommitResult::Ok) {
                m_station.log.error("Error writing to qb3.dbf on the server.");
                m_station.showAlert({"ERROR: Unable to save ", "\"" + text + "\"", "in file " + path});
                result = r == engine::CommitResult::LockFailed ? WriteResult::LockFailed : WriteResult::WriteFailed;
            }
        }
        t.setActive(false);
    }
    if (result == WriteResult::Ok)
        m_log.append("Remark", text, m_board.ownName);
    m_board.pollCounter = savedPoll == kPollParked ? 0 : savedPoll;
    return result;
}

} // namespace qb::board
