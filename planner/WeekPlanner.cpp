#include "WeekPlanner.h"

#include "engine/TTzDbf.h"
#include "planner/PersonalTables.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/FileOps.h"

#include <cstdio>
#include <thread>

namespace qb::planner {

Pause sleepingPause()
{
    return [](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); };
}

std::string weekLabel(std::int64_t key, const std::function<std::string(std::int64_t)>& shortDate)
{
    return "Week " + shortDate(key + 1) + " to " + shortDate(key + 5);
}

std::string numericDate(std::int64_t daySerial)
{
    int y = 0, m = 0, d = 0;
    platform::civilFromSerial(daySerial, y, m, d);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%d/%d/%04d", m, d, y);
    return buf;
}

std::string trimCell(std::string_view text)
{
    auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return std::string(text);
}

std::string copyWeekText(const WeekCells& cells)
{
    std::string text;
    for (int row = 1; row <= 5; ++row)
        text += cells[cellIndex(1, row)] + "\t" + cells[cellIndex(2, row)] + "\t\r\n";
    return text;
}

std::vector<PastedCell> parseWeekPaste(std::string_view text)
{
    std::vector<PastedCell> out;
    int row = 0;
    auto put = [&](int column, std::string_view piece) {
        if (column <= 2 && row <= 5)
            out.push_back({column, row, std::string(piece)});
    };
    for (auto cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r')) {
        ++row;
        std::string_view line = text.substr(0, cr);
        int column = 0;
        for (auto tab = line.find('\t'); tab != std::string_view::npos; tab = line.find('\t')) {
            put(++column, line.substr(0, tab));
            line.remove_prefix(tab + 1);
        }
        put(++column, line);
        text.remove_prefix(cr + 1);
        if (!text.empty() && text.front() == '\n')
            text.remove_prefix(1);
    }
    return out;
}

bool plannerEditable(int ownerIdent, int userIdent, bool mayChangeOthers)
{
    return ownerIdent == userIdent || mayChangeOthers;
}

// ---- the table ------------------------------------------------------------------

// One open of the table for one load or save; closed when it ends.
class PlannerTable::Session {
public:
    explicit Session(engine::Engine& e) : table("WeekPlan", e) { table.HideDeletedRecs = true; }
    engine::TTzDbf table;
};

PlannerTable::PlannerTable(engine::Engine& engine, std::string dataDir, int ident, Pause pause)
    : m_engine(engine), m_dataDir(std::move(dataDir)), m_ident(ident), m_pause(std::move(pause))
{
}

std::string PlannerTable::displayName() const { return "./" + plannerTableName(m_ident); }

std::string PlannerTable::path() const { return m_dataDir + "/" + plannerTableName(m_ident); }

bool PlannerTable::open(Session& s)
{
    // A missing table is created from the third attempt on; a table that
    // cannot be opened is reported and left alone, never replaced: a lock
    // held elsewhere or a share that is briefly away must not cost a
    // person's planner.
    if (&m_engine.files() == &platform::FileSystem::posix())
        platform::makeDirs(m_dataDir + "/s"); // a failure shows as a failed open
    engine::TTzDbf& t = s.table;
    t.DbfFields = plannerFieldList();
    bool allNotTables = true;
    const int attempts = m_quick ? 1 : kOpenAttempts;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        t.CreateIfNotFound = attempt >= 3;
        t.setActive(false);
        t.setDbfFileName(path());
        t.setActive(true);
        if (m_engine.lastError() == 0 && t.Active())
            break;
        allNotTables = allNotTables && m_engine.lastError() == engine::err::kNotDbase;
        if (attempt == kOpenAttempts && allNotTables) {
            // Not a table at all: nothing a station could read from it. It
            // is moved aside under a new name, and a new table made.
            setAsideNonTable();
            t.CreateIfNotFound = true;
            t.setActive(false);
            t.setActive(true);
            break;
        }
        if (attempt < attempts)
            m_pause(kOpenPause);
    }
    t.CreateIfNotFound = false;
    return t.Active() && m_engine.lastError() == 0;
}

void PlannerTable::setAsideNonTable()
{
    platform::FileSystem& fs = m_engine.files();
    const std::string from = engine::TTzDbf::resolvePath(fs, path());
    std::string stem = from.substr(0, from.size() - 4);
    for (int n = 1; n < 1000; ++n) {
        std::string to = stem + (n == 1 ? std::string(".bad") : ".bad" + std::to_string(n));
        if (fs.exists(to))
            continue;
        if (fs.rename(from, to) == 0)
            m_setAside = to;
        return;
    }
}

bool PlannerTable::openWeek(Session& s, std::int64_t week)
{
    if (!open(s))
        return false;
    engine::TTzDbf& t = s.table;
    if (!t.dEOF() && t.GetLongField("weekno") == week)
        return true;
    engine::FieldValue key;
    key.integer = week;
    t.Locate("weekno", key);
    if (t.dEOF()) {
        t.GoTop();
        engine::FieldValue free;
        t.Locate("weekno", free);
    }
    if (t.dEOF() && t.ALock()) {
        // A free record: it becomes the week's at its first save, so a
        // week only looked at costs no record of its own.
        t.ClearRecord();
        t.Append();
        t.UnLock();
    }
    m_engine.clearError();
    return true;
}

PlannerTable::Load PlannerTable::load(std::int64_t week)
{
    Load out;
    m_setAside.clear();
    Session s(m_engine);
    if (!openWeek(s, week)) {
        out.error = "Error accessing file " + displayName();
        out.setAside = m_setAside;
        return out;
    }
    out.setAside = m_setAside;
    engine::TTzDbf& t = s.table;
    for (int row = 1; row <= 5; ++row)
        for (int column = 1; column <= 2; ++column) {
            std::string raw = t.dEOF() ? std::string() : t.SField(plannerField(column, row));
            out.cells[cellIndex(column, row)] = platform::toUtf8(trimCell(raw), t.codePage());
        }
    out.ok = true;
    return out;
}

PlannerTable::Load PlannerTable::peek(std::int64_t week)
{
    Load out;
    platform::FileSystem& fs = m_engine.files();
    if (!fs.exists(engine::TTzDbf::resolvePath(fs, path()))) {
        out.ok = true;
        return out;
    }
    Session s(m_engine);
    engine::TTzDbf& t = s.table;
    t.CreateIfNotFound = false;
    t.setDbfFileName(path());
    for (int attempt = 1; attempt <= kOpenAttempts && !(t.setActive(true) && m_engine.lastError() == 0); ++attempt)
        m_pause(kOpenPause);
    if (!t.Active() || m_engine.lastError() != 0) {
        out.error = m_engine.lastErrorText().empty() ? "Error accessing file " + displayName()
                                                     : m_engine.lastErrorText();
        return out;
    }
    engine::FieldValue key;
    key.integer = week;
    t.Locate("weekno", key);
    for (int row = 1; row <= 5; ++row)
        for (int column = 1; column <= 2; ++column) {
            std::string raw = t.dEOF() ? std::string() : t.SField(plannerField(column, row));
            out.cells[cellIndex(column, row)] = platform::toUtf8(trimCell(raw), t.codePage());
        }
    m_engine.clearError();
    out.ok = true;
    return out;
}

SaveResult PlannerTable::save(std::int64_t week, const std::map<int, std::string>& texts)
{
    m_setAside.clear();
    Session s(m_engine);
    engine::TTzDbf& t = s.table;
    const int rounds = m_quick ? 1 : kLockAttempts;
    for (int round = 0; round < rounds; ++round) {
        if (round > 0)
            m_pause(kLockPause);
        if (!openWeek(s, week))
            return SaveResult::NotOpened;
        if (t.dEOF() || !t.RLock())
            continue; // no record yet (table lock refused) or the record is locked
        // Under the lock the record is read again: another station may have
        // written another cell, or taken this free record for its own week.
        t.Go(t.RecNo());
        const std::int64_t owner = t.GetLongField("weekno");
        if (m_engine.lastError() != 0 || (owner != week && owner != 0)) {
            t.UnLock();
            continue;
        }
        t.SetLongField("weekno", week);
        for (const auto& [index, text] : texts) {
            std::string name;
            if (t.Field(index + 2, name))
                t.setText(name, trimCell(text));
        }
        m_engine.clearError();
        t.Replace();
        const bool ok = m_engine.lastError() == 0;
        t.Flush();
        t.UnLock();
        if (ok)
            return SaveResult::Saved;
    }
    return SaveResult::Locked;
}

// ---- the window's state ---------------------------------------------------------

WeekPlan::WeekPlan(engine::Engine& engine, std::string dataDir, const platform::Clock& clock, Pause pause)
    : m_engine(engine), m_dataDir(std::move(dataDir)), m_clock(clock), m_pause(std::move(pause))
{
}

void WeekPlan::setOwner(int ident, bool editable)
{
    m_owner = ident;
    m_editable = editable;
}

std::int64_t WeekPlan::today() const { return static_cast<std::int64_t>(platform::nowDateTime(m_clock)); }

PlannerTable WeekPlan::table() const { return PlannerTable(m_engine, m_dataDir, m_owner, m_pause); }

PlannerTable::Load WeekPlan::load()
{
    if (m_week == 0)
        m_week = today();
    m_key = weekKey(m_week);
    m_week = m_key;
    if (hasWaiting())
        saveWaiting();
    PlannerTable t = table();
    PlannerTable::Load out = t.load(m_key);
    if (!out.setAside.empty())
        m_setAside = out.setAside;
    if (out.ok) // what is still waiting is what the user sees
        for (const auto& [k, text] : m_waiting)
            if (std::get<0>(k) == m_owner && std::get<1>(k) == m_key)
                out.cells[std::get<2>(k)] = text;
    return out;
}

SaveResult WeekPlan::saveCell(int column, int row, const std::string& text)
{
    if (!m_editable)
        return SaveResult::NotOpened;
    m_waiting[{m_owner, m_key, cellIndex(column, row)}] = trimCell(text);
    return saveWaiting(false);
}

SaveResult WeekPlan::saveWaiting(bool patient)
{
    const bool quick = !patient && m_failedAt && m_clock.now() - *m_failedAt < std::chrono::seconds(2);
    SaveResult worst = SaveResult::Saved;
    std::map<std::pair<int, std::int64_t>, std::map<int, std::string>> byWeek;
    for (const auto& [k, text] : m_waiting)
        byWeek[{std::get<0>(k), std::get<1>(k)}][std::get<2>(k)] = text;
    for (const auto& [week, texts] : byWeek) {
        PlannerTable t(m_engine, m_dataDir, week.first, m_pause);
        t.setQuick(quick);
        SaveResult r = t.save(week.second, texts);
        if (!t.setAside().empty())
            m_setAside = t.setAside();
        if (r == SaveResult::Saved) {
            for (const auto& [index, text] : texts) {
                auto it = m_waiting.find({week.first, week.second, index});
                if (it != m_waiting.end() && it->second == text) // not retyped meanwhile
                    m_waiting.erase(it);
            }
        } else {
            worst = r;
        }
    }
    m_lastWaitResult = worst;
    if (worst == SaveResult::Saved)
        m_failedAt.reset();
    else
        m_failedAt = m_clock.now();
    return worst;
}

std::set<std::pair<int, int>> WeekPlan::waitingCells() const
{
    std::set<std::pair<int, int>> out;
    for (const auto& [k, text] : m_waiting)
        if (std::get<0>(k) == m_owner && std::get<1>(k) == m_key)
            out.insert({std::get<2>(k) % 2 + 1, std::get<2>(k) / 2 + 1});
    return out;
}

std::string WeekPlan::waitingText() const
{
    if (m_waiting.empty())
        return {};
    std::string why = m_lastWaitResult == SaveResult::NotOpened
                          ? "the planner file cannot be opened"
                          : "another station holds the planner locked";
    return std::to_string(m_waiting.size()) + (m_waiting.size() == 1 ? " entry is" : " entries are") +
           " not saved yet: " + why + ".";
}

std::vector<PastedCell> WeekPlan::pasteWeek(std::string_view text)
{
    if (!m_editable)
        return {};
    std::vector<PastedCell> cells = parseWeekPaste(text);
    for (const PastedCell& c : cells)
        saveCell(c.column, c.row, c.text);
    return cells;
}

} // namespace qb::planner
