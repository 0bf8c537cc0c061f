#include "PersonalCommands.h"

#include "engine/TTzDbf.h"
#include "planner/InfoCard.h"
#include "planner/PersonalTables.h"
#include "planner/WeekPlanner.h"
#include "platform/Clock.h"
#include "tools/DataDirCommands.h"
#include "tools/JsonText.h"
#include "tools/TableFiles.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>
#include <sys/stat.h>

namespace qb::tools {

namespace {

// An engine that only reads: tables are opened read-only, deny-none.
struct ReadingEngine {
    engine::Engine engine;
    ReadingEngine() { engine.openModeOverride = engine::openmode::kReadOnlyDenyNone; }
};

// A file that is there but is no regular file (a FIFO would block the open).
std::string notAFile(const std::string& name)
{
    const std::string path = engine::TTzDbf::resolvePath(name);
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode))
        return {};
    return shown(path) + " is not a regular file, not a table";
}

// The board index of a person (any case of the name), -1 when not on the
// board, -2 with the reason in error when the names table cannot be read.
int findPerson(engine::Engine& e, const std::string& dir, const std::string& name, std::string& error)
{
    const std::string path = dir + "/qb3.dbf";
    if (error = notAFile(path); !error.empty())
        return -2;
    engine::TTzDbf names("QBFind", e);
    names.CreateIfNotFound = false;
    names.HideDeletedRecs = true;
    names.setDbfFileName(path);
    if (!names.setActive(true)) {
        error = "cannot open qb3.dbf in " + shown(dir) + ": " + shown(e.lastErrorText());
        return -2;
    }
    for (names.GoTop(); !names.dEOF(); names.Skip(1))
        if (names.RecNo() > 1 && platform::asciiLower(names.getText("name")) == platform::asciiLower(name))
            return static_cast<int>(names.RecNo() - 1);
    return -1;
}

// Text of one cell on one TAB-separated line: no TAB or line break inside.
std::string oneLine(std::string s)
{
    for (char& c : s)
        if (static_cast<unsigned char>(c) < ' ')
            c = ' ';
    return s;
}

bool parseDate(const std::string& text, std::int64_t& serial)
{
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 || y < 1900 || m < 1 || m > 12 ||
        d < 1 || d > 31)
        return false;
    serial = platform::daySerial(y, m, d);
    int y2 = 0, m2 = 0, d2 = 0;
    platform::civilFromSerial(serial, y2, m2, d2);
    return y2 == y && m2 == m && d2 == d;
}

std::string isoDate(std::int64_t serial)
{
    int y = 0, m = 0, d = 0;
    platform::civilFromSerial(serial, y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", y, m, d);
    return buf;
}

} // namespace

int exportPlannerCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    const char* usage = "usage: qbtool export-planner DIR NAME [--week YYYY-MM-DD]\n";
    std::vector<std::string> pos;
    std::int64_t day = static_cast<std::int64_t>(platform::nowDateTime(platform::SystemClock::instance()));
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--week") {
            if (i + 1 >= args.size() || !parseDate(args[i + 1], day)) {
                err << "qbtool export-planner: --week takes a date as YYYY-MM-DD\n" << usage;
                return exitcode::kUsage;
            }
            ++i;
        } else {
            pos.push_back(args[i]);
        }
    }
    if (pos.size() != 2) {
        err << usage;
        return exitcode::kUsage;
    }
    ReadingEngine r;
    std::string error;
    const int index = findPerson(r.engine, pos[0], pos[1], error);
    if (index == -2) {
        err << "qbtool export-planner: " << error << "\n";
        return exitcode::kFailed;
    }
    if (index < 0) {
        err << "qbtool export-planner: " << shown(pos[1]) << " is not on the board\n";
        return exitcode::kUnknownName;
    }
    const std::string plannerPath = pos[0] + "/" + planner::plannerTableName(index);
    if (std::string p = notAFile(plannerPath); !p.empty()) {
        err << "qbtool export-planner: " << p << "\n";
        return exitcode::kFailed;
    }
    const std::int64_t key = planner::weekKey(day);
    planner::PlannerTable table(r.engine, pos[0], index);
    planner::PlannerTable::Load week = table.peek(key);
    if (!week.ok) {
        err << "qbtool export-planner: cannot read " << shown(plannerPath) << ": " << shown(week.error) << "\n";
        return exitcode::kFailed;
    }
    static const char* const kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri"};
    for (int row = 1; row <= 5; ++row)
        out << isoDate(key + row) << '\t' << kDays[row - 1] << '\t'
            << oneLine(week.cells[static_cast<std::size_t>(planner::cellIndex(1, row))]) << '\t'
            << oneLine(week.cells[static_cast<std::size_t>(planner::cellIndex(2, row))]) << '\n';
    out.flush();
    return out ? exitcode::kOk : exitcode::kFailed;
}

int infoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> pos;
    bool json = false;
    for (const auto& a : args) {
        if (a == "--json")
            json = true;
        else
            pos.push_back(a);
    }
    if (pos.size() != 2) {
        err << "usage: qbtool info DIR NAME [--json]\n";
        return exitcode::kUsage;
    }
    ReadingEngine r;
    std::string error;
    const int index = findPerson(r.engine, pos[0], pos[1], error);
    if (index == -2) {
        err << "qbtool info: " << error << "\n";
        return exitcode::kFailed;
    }
    if (index < 0) {
        err << "qbtool info: " << shown(pos[1]) << " is not on the board\n";
        return exitcode::kUnknownName;
    }
    if (std::string p = notAFile(pos[0] + "/" + planner::kInfoFileName); !p.empty()) {
        err << "qbtool info: " << p << "\n";
        return exitcode::kFailed;
    }
    error.clear();
    std::optional<planner::InfoCard> card = planner::InfoTable::read(r.engine, pos[0], index, error);
    if (!card && !error.empty()) {
        err << "qbtool info: cannot read moreinfo.dbf: " << shown(error) << "\n";
        return exitcode::kFailed;
    }
    if (!card) {
        card.emplace();
        card->ident = index;
        card->fields[0] = pos[1];
    }
    constexpr int kShown = planner::kInfoFieldCount - 1; // notestxt is a caption, not a person's field
    if (json) {
        out << "{\"ident\": " << index;
        for (int i = 0; i < kShown; ++i)
            out << ", " << JsonText::quote(planner::kInfoFields[static_cast<std::size_t>(i)]) << ": "
                << JsonText::quote(card->fields[static_cast<std::size_t>(i)]);
        out << ", \"notes\": " << JsonText::quote(card->notes) << "}\n";
    } else {
        std::array<std::string, planner::kInfoFieldCount> captions;
        for (int i = 0; i < planner::kInfoFieldCount; ++i)
            captions[static_cast<std::size_t>(i)] = planner::defaultCaption(i);
        {
            planner::InfoTable t(r.engine, pos[0], [](std::chrono::milliseconds) {});
            if (t.open())
                captions = t.captions();
        }
        for (int i = 0; i < kShown; ++i)
            out << shown(captions[static_cast<std::size_t>(i)]) << ": "
                << shown(card->fields[static_cast<std::size_t>(i)]) << "\n";
        out << shown(captions[planner::kNotesCaption]) << ":\n";
        std::size_t start = 0;
        while (start < card->notes.size()) {
            auto nl = card->notes.find('\n', start);
            out << "  " << shown(card->notes.substr(start, nl == std::string::npos ? std::string::npos : nl - start))
                << "\n";
            start = nl == std::string::npos ? card->notes.size() : nl + 1;
        }
    }
    out.flush();
    return out ? exitcode::kOk : exitcode::kFailed;
}

} // namespace qb::tools
