// Remark changes of the board: the own In/Out, clicks on remark and
// fourth-column cells with their permission rules, and the administrator's
// change of all remarks.
#pragma once

#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "core/Colors.h"
#include "core/Station.h"

#include <functional>
#include <string>

namespace qb::board {

class RemarkActions {
public:
    RemarkActions(Station& station, Board& board, NamesTable& names, RemarkLog& log);

    // Expands placeholders of In/Out texts (the remark list supplies it).
    std::function<std::string(const std::string&)> expand;
    // Interval the activity timer gets after an In or Out (0: unchanged).
    int activityIntervalMs = 0;

    // The own remark to In or Out (persons only).
    WriteResult setIn();
    WriteResult setOut();
    // Writes the own remark (status 1 first), logs it and reloads the board.
    WriteResult setOwnRemark(const std::string& text, char colorLetter, bool inUse);

    // The status-bar line after a write of text: "" when it was saved, else
    // that it was not and why, so the board never passes for saved.
    static std::string notSavedText(WriteResult r, const std::string& text);

    // What a left click on a remark or fourth-column cell of this row may do.
    bool mayChangeRow(int boardIndex) const;
    // Option 2: ask "This is not your name. Do you want to proceed?" first.
    bool mustConfirmOtherRow(int boardIndex) const;
    // Option 20 locks the fourth column for persons.
    bool mayEditFourthColumn(int boardIndex) const;
    // Why a click on a person row's remark or fourth-column cell may not
    // change it, in the words of the options window; empty when it may (or
    // when there is no such row, which needs no explanation).
    std::string refusal(int boardIndex, bool fourthColumn) const;

    // A remark picked from the list for a row: written to the server only.
    struct Picked {
        std::string text;
        Rgb color;
        bool inUse = false;
        int type = 0;
    };
    WriteResult applyPickedRemark(int boardIndex, const Picked& picked);
    // New fourth-column text for a row (trimmed).
    WriteResult applyFourthColumn(int boardIndex, const std::string& text);

    enum class ChangeAll { In, Out, InToOut, Custom };
    // Administrator: sets every person's remark; returns the number changed,
    // -1 when the table could not be opened. Reloads the board afterwards.
    int changeAllRemarks(ChangeAll kind, const std::string& customText = {});

    // Own-name item: toggles the filter between the own row and the own group.
    void toggleOwnFilter(std::string& filter) const;

private:
    Station& m_station;
    Board& m_board;
    NamesTable& m_names;
    RemarkLog& m_log;
};

} // namespace qb::board
