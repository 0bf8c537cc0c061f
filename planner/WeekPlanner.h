// One person's week planner: the week keys, the copy and paste text of a
// whole week, and reading and writing a week of "s/shNNN.dbf", a table
// opened for one operation only. No Qt: the planner window and qbtool share it.
//
// Several stations write the same table. A week's record is the first one in
// file order whose weekno is the week; a record with weekno 0 is free and
// becomes the week's record at its first save. Records are appended under the
// table lock and written under the record lock, which is retried briefly; a
// save that still finds the record locked stays pending (WeekPlan) instead of
// being dropped. The table file is never deleted.
#pragma once

#include "engine/Engine.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace qb::platform {
class Clock;
}

namespace qb::planner {

using Pause = std::function<void(std::chrono::milliseconds)>;
// The default pause sleeps.
Pause sleepingPause();

constexpr int kPlanTextWidth = 80;

// The ten texts of a week; cellIndex gives the place of grid cell (column 1
// AM / 2 PM, row 1 Monday .. 5 Friday).
using WeekCells = std::array<std::string, 10>;
inline int cellIndex(int column, int row) { return (row - 1) * 2 + column - 1; }

// "Week " + Monday + " to " + Friday of the week with this key, each day
// serial written by shortDate.
std::string weekLabel(std::int64_t key, const std::function<std::string(std::int64_t)>& shortDate);
// Month/day/year with four digits: the label's dates where no locale is at hand.
std::string numericDate(std::int64_t daySerial);

// Blanks and control characters off both ends.
std::string trimCell(std::string_view text);

// Copy of a week: per row "AM TAB PM TAB CR LF".
std::string copyWeekText(const WeekCells& cells);

// Cells a pasted text fills, in the order they are filled: each line up to a
// CR (an LF after it is dropped) is a row from Monday on, its TAB-separated
// pieces the columns; pieces beyond PM, lines beyond Friday and text after
// the last CR are dropped.
struct PastedCell {
    int column = 0;
    int row = 0;
    std::string text;
};
std::vector<PastedCell> parseWeekPaste(std::string_view text);

// Who may change a planner: its owner, or a user with the right to change
// others' remarks.
bool plannerEditable(int ownerIdent, int userIdent, bool mayChangeOthers);

enum class SaveResult {
    Saved,
    Locked,    // the record (or, for a new week, the table) stayed locked
    NotOpened, // the table could not be opened
};

// One person's planner table.
class PlannerTable {
public:
    PlannerTable(engine::Engine& engine, std::string dataDir, int ident, Pause pause = sleepingPause());

    // The name as the stations show it: "./s/sh007.dbf".
    std::string displayName() const;
    // The path opened: dataDir + "/s/sh007.dbf".
    std::string path() const;

    struct Load {
        bool ok = false;
        WeekCells cells;
        std::string error;    // "Error accessing file ./s/sh007.dbf" when !ok
        std::string setAside; // a file that was not a table, moved to this path
    };
    // Reads the week; appends a free record for a week without one.
    Load load(std::int64_t week);
    // Reads the week and writes nothing: no table is created, no record
    // appended, nothing set aside. A missing table is an empty week.
    Load peek(std::int64_t week);

    // Writes texts (by cellIndex) of one week into the week's record, all
    // under one record lock: trimmed, in the stored code page, cut to 80.
    SaveResult save(std::int64_t week, const std::map<int, std::string>& texts);
    // Set aside while opening for the last save, if anything.
    const std::string& setAside() const { return m_setAside; }
    // One open and one lock attempt instead of the retries: for keystrokes
    // that follow a save that just failed, so typing does not stall.
    void setQuick(bool on) { m_quick = on; }

    // Attempts and pauses (for tests of the retry counts).
    static constexpr int kOpenAttempts = 6;
    static constexpr std::chrono::milliseconds kOpenPause{60};
    static constexpr int kLockAttempts = 8;
    static constexpr std::chrono::milliseconds kLockPause{60};

private:
    class Session;
    bool openWeek(Session& s, std::int64_t week);
    bool open(Session& s);
    void setAsideNonTable();

    engine::Engine& m_engine;
    std::string m_dataDir;
    int m_ident;
    Pause m_pause;
    std::string m_setAside;
    bool m_quick = false;
};

// The planner window's state and rules without the window: the owner, the
// shown week, navigation, and cells not saved yet.
class WeekPlan {
public:
    WeekPlan(engine::Engine& engine, std::string dataDir, const platform::Clock& clock,
             Pause pause = sleepingPause());

    void setOwner(int ident, bool editable);
    int owner() const { return m_owner; }
    bool editable() const { return m_editable; }

    // The current week: a day serial, 0 for "today" at the next load.
    std::int64_t week() const { return m_week; }
    void setWeek(std::int64_t daySerial) { m_week = daySerial; }
    std::int64_t today() const;
    void prior() { m_week -= 7; }
    void next() { m_week += 7; }
    void thisWeek() { m_week = today(); }
    void select(double dateTime) { m_week = static_cast<std::int64_t>(dateTime); }
    // Losing activation to another window forgets the week.
    void deactivated() { m_week = today(); }

    // Reduces the current week to its key, then reads it. The label is set
    // even when the table cannot be read.
    PlannerTable::Load load();
    std::int64_t key() const { return m_key; }

    // Saves the text of a cell of the shown week, together with every cell
    // still waiting. Returns the result for this cell.
    SaveResult saveCell(int column, int row, const std::string& text);
    // Tries every waiting cell again; unless patient, only once each when a
    // save failed within the last two seconds.
    SaveResult saveWaiting(bool patient = true);
    bool hasWaiting() const { return !m_waiting.empty(); }
    // Forgets the waiting cells (the user chose to close without them).
    void dropWaiting() { m_waiting.clear(); }
    // Cells of the shown week that are not saved yet, as (column, row).
    std::set<std::pair<int, int>> waitingCells() const;
    // What a failed save left, for the user.
    std::string waitingText() const;
    // Paste of a whole week: the cells filled, each saved as typed. Nothing
    // into a planner the user may not change.
    std::vector<PastedCell> pasteWeek(std::string_view text);
    const std::string& setAside() const { return m_setAside; }

private:
    PlannerTable table() const;

    engine::Engine& m_engine;
    std::string m_dataDir;
    const platform::Clock& m_clock;
    Pause m_pause;
    int m_owner = 0;
    bool m_editable = false;
    std::int64_t m_week = 0;
    std::int64_t m_key = 0;
    SaveResult m_lastWaitResult = SaveResult::Saved;
    std::optional<std::chrono::system_clock::time_point> m_failedAt;
    std::map<std::tuple<int, std::int64_t, int>, std::string> m_waiting; // (owner, week key, cellIndex) -> text
    std::string m_setAside;
};

} // namespace qb::planner
