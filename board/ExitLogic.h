// What ending the program leaves behind on the board: the choices of the
// exit panel ("Do you want to exit?" with In, Out and the current remark)
// and the write of the remark chosen. Plain C++; the board window shows the
// panel and waits for the answer.
#pragma once

#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "core/Station.h"

#include <cstdint>
#include <functional>
#include <string>

namespace qb::board {

enum class ExitPick { In, Out, Current };

// The panel as it is to be shown, and the choice checked at first.
struct ExitPanelState {
    bool confirm = true;  // "Confirm program exit": without it nothing is asked
    bool outPreselected = false;
    std::string inCaption = "In";
    std::string outCaption = "Out";
    std::uint8_t inCode = 'l';
    std::uint8_t outCode = 'r';
    bool currentShown = false; // the current remark is neither In nor Out
    std::string currentCaption;
    std::uint8_t currentCode = 'y';
    ExitPick checked = ExitPick::Current;
};

// The remark list's texts and colour codes of In (type 1) and Out (type 3),
// as stored (placeholders not expanded).
struct InOutRemarks {
    std::string inText = "In";
    std::string outText = "Out";
    std::uint8_t inCode = 'l';
    std::uint8_t outCode = 'r';
};

class ExitLogic {
public:
    // All borrowed; they must outlive this object.
    ExitLogic(Station& station, Board& board, RemarkLog& log);

    // The remark list's placeholder expansion (identity when unset).
    std::function<std::string(const std::string&)> expand;

    // Whether the program simply ends: nobody, the administrator or a
    // record-less person is logged in.
    bool endsAtOnce(bool loggedIn) const;

    // Reads the own record of the shared names table and decides the panel:
    // Out is preselected with "Change in to out on exit" and the record in
    // use, or with "Always set out on exit"; captions are the expanded In and
    // Out texts ("In"/"Out" when they ask for input); the current remark
    // shows as a third choice, checked unless Out is preselected, when it is
    // neither caption; otherwise In is checked when it is the In caption and
    // Out in every other case.
    ExitPanelState prepare(const InOutRemarks& remarks);

    // Writes the remark left behind for pick into the own record of the
    // shared table (remark, own status, colour "3" + code, chgcntr = code;
    // the in-use flag kept) and logs it as a "Remark" change. Current writes
    // nothing. Out takes the stored Out text, expanded when it has "{" and
    // no "<".
    WriteResult leave(const ExitPanelState& panel, ExitPick pick, const InOutRemarks& remarks);

private:
    std::string expanded(const std::string& text) const { return expand ? expand(text) : text; }

    Station& m_station;
    Board& m_board;
    RemarkLog& m_log;
};

} // namespace qb::board
