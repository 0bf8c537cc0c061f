#include "DataDirCommands.h"

#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "admin/RemarkEntries.h"
#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "core/Colors.h"
#include "core/TableNames.h"
#include "engine/TTzDbf.h"
#include "engine/TTzSession.h"
#include "messages/MessageStore.h"
#include "planner/PersonalTables.h"
#include "platform/FileOps.h"
#include "tools/TableFiles.h"
#include "tools/TableImage.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <ostream>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qb::tools {

namespace {

// Event-log entries of a command-line run are held until the command knows
// its outcome: a lock that is free on the next try is not worth a line that
// reads like a failed write.
class ToolEventLog final : public platform::EventLog {
public:
    void error(std::string_view text) override { m_entries.emplace_back(text); }
    void info(std::string_view) override {}
    void printTo(std::ostream& os)
    {
        for (const auto& e : m_entries)
            os << "qbtool: " << shown(e) << "\n";
        m_entries.clear();
    }
    void discard() { m_entries.clear(); }

private:
    std::vector<std::string> m_entries;
};

// One station for the duration of a command. The tool never loads the board
// nor writes the own remark, the only steps that use the local mirror, so
// it needs no start directory (and makes no temporary one).
struct ToolStation {
    engine::Engine engine;
    ToolEventLog log;
    board::Station station;
    explicit ToolStation(const std::string& dataDir)
        : station(engine, platform::SystemClock::instance(), log, dataDir, "")
    {
        engine.setRetry(3, 40);
    }
};

using Clock = std::chrono::steady_clock;

} // namespace

// Pause between tries while waiting: short and jittered, so that several
// scripts waiting for one lock do not retry in step.
void pauseBeforeRetry()
{
    static thread_local unsigned seed = static_cast<unsigned>(::getpid());
    seed = seed * 1103515245u + 12345u;
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + (seed >> 16) % 20));
}

// Parses "--wait SECONDS" out of args (removing it). False with a message
// on a bad value.
bool takeWaitOption(std::vector<std::string>& args, double& seconds, const char* command, std::ostream& err)
{
    seconds = kDefaultWaitSeconds;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--wait")
            continue;
        char* end = nullptr;
        double v = i + 1 < args.size() ? std::strtod(args[i + 1].c_str(), &end) : -1;
        if (i + 1 >= args.size() || end == args[i + 1].c_str() || *end != '\0' || !(v >= 0) || v > 86400) {
            err << "qbtool " << command << ": --wait takes a number of seconds (0 to 86400)\n";
            return false;
        }
        seconds = v;
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        --i;
    }
    return true;
}

Clock::time_point deadlineAfter(double seconds)
{
    return Clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(seconds * 1e6));
}

// Why a table the command opens through the engine must not be used: it is
// a FIFO, device or directory (the open would block or fail oddly), or, for
// a table the command writes, a symbolic link (writes stay in the data
// directory). Empty when the file is missing or a regular file.
std::string tableFileProblem(const std::string& name, bool written)
{
    const std::string path = engine::TTzDbf::resolvePath(name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode)) {
        if (written)
            return shown(path) + " is a symbolic link; the tool writes only files inside the data directory";
        if (::stat(path.c_str(), &st) != 0)
            return {};
    }
    if (!S_ISREG(st.st_mode))
        return shown(path) + (S_ISDIR(st.st_mode) ? " is a directory" : " is not a regular file") + ", not a table";
    if (st.st_size > TableImage::kMaxTableBytes)
        return shown(path) + " is " + std::to_string(st.st_size) + " bytes, more than a table can hold";
    return {};
}

namespace {

std::string trimmed(const std::string& s)
{
    auto b = s.find_first_not_of(' ');
    if (b == std::string::npos)
        return {};
    return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

bool directoryIsEmpty(const std::string& dir)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return true;
    bool empty = true;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") {
            empty = false;
            break;
        }
    }
    ::closedir(d);
    return empty;
}

bool createTable(engine::Engine& e, const std::string& path, const std::vector<std::string>& fields,
                 std::ostream& err)
{
    engine::TTzDbf t("QBInit", e);
    t.DbfFields = fields;
    t.setDbfFileName(path);
    if (!t.createFromFields()) {
        err << "qbtool init: cannot create " << path << ": " << e.lastErrorText() << "\n";
        return false;
    }
    return true;
}

// Appends records to a fresh table; fill sets the fields of record i.
template <typename Fill>
bool appendRecords(engine::Engine& e, const std::string& path, int count, Fill fill, std::ostream& err)
{
    engine::TTzDbf t("QBInit", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(path);
    if (!t.setActive(true) || !t.ALock()) {
        err << "qbtool init: cannot write " << path << ": " << e.lastErrorText() << "\n";
        return false;
    }
    for (int i = 0; i < count; ++i) {
        t.ClearRecord();
        fill(t, i);
        t.Append();
        if (e.lastError() != 0) {
            err << "qbtool init: cannot write " << path << ": " << e.lastErrorText() << "\n";
            return false;
        }
    }
    t.Flush();
    t.UnLock();
    return true;
}

struct DemoPerson {
    const char* name;
    const char* group;
    const char* remark;
    char color;
    bool inUse;
    const char* misc;
    int minutesAgo;
};

const DemoPerson kDemoPeople[] = {
    {"Anna Berger", "Sales", "In", 'l', true, "ext. 201", 35},
    {"Tomás Novák", "Sales", "Out", 'r', true, "", 120},
    {"Grace Okafor", "Sales", "at lunch", 'w', false, "back 13:30", 20},
    {"Jürgen Weiß", "Support", "In", 'l', true, "on call", 240},
    {"Mei Lin", "Support", "Back at 3:00 pm", 'y', false, "", 55},
    {"Pedro Alves", "Support", "in but unavailable", 'f', true, "meeting room 2", 10},
    {"Sara Nilsson", "Office", "In", 'l', true, "reception", 300},
    {"David Cohen", "Office", "On trip until 12/18/2026", 'y', false, "mobile only", 1440},
};

bool fillDemo(ToolStation& ts, std::ostream& err)
{
    board::Station& st = ts.station;
    std::vector<int> indexes;
    for (const auto& p : kDemoPeople) {
        admin::AddedName added;
        if (admin::addName(st, p.name, p.group, &added) != admin::AddNameResult::Ok) {
            err << "qbtool init: cannot add " << p.name << "\n";
            return false;
        }
        indexes.push_back(added.boardIndex);
    }
    engine::TTzDbf names("QBDemo", ts.engine);
    names.CreateIfNotFound = false;
    names.setDbfFileName(st.dataPath(board::NamesTable::kFileName));
    if (!names.setActive(true))
        return false;
    double now = platform::nowDateTime(st.clock);
    for (std::size_t i = 0; i < indexes.size(); ++i) {
        const DemoPerson& p = kDemoPeople[i];
        names.Go(indexes[i] + 1);
        if (!names.RLock())
            return false;
        names.setText("remark", p.remark);
        names.SetLField("inuse", p.inUse);
        names.SetLongField("chgcntr", static_cast<unsigned char>(p.color));
        names.SetCField("color", std::string("#") + p.color);
        names.setText("misc", p.misc);
        names.SetLongField("msgcnt", 1);
        names.SetRealField("time", engine::encodeStoredTime(now - p.minutesAgo / 1440.0));
        names.Replace();
        names.UnLock();
    }
    names.setActive(false);

    // Options records with the factory values.
    admin::ConfigTable config(ts.engine, st.clock, st.dataDir);
    admin::Options factory;
    for (int idx : indexes)
        config.save(idx, factory, true);

    // A few messages for the first person.
    platform::LocalTime lt = platform::toLocal(st.clock.now());
    char when[32];
    std::snprintf(when, sizeof when, "%02d/%02d/%04d 9:15am", lt.month, lt.day, lt.year);
    messages::Message m1;
    m1.fromId = indexes[3];
    m1.from = kDemoPeople[3].name;
    m1.subject = "Customer Meier";
    m1.time = when;
    m1.flags = messages::flag::kOrdinary | messages::flag::kPleaseCall | messages::flag::kUrgent;
    m1.lines = {"Mr Meier called about the delivery.", "Phone 555 0142, before noon please."};
    messages::Message m2;
    m2.fromId = indexes[6];
    m2.from = kDemoPeople[6].name;
    m2.subject = "Team lunch";
    m2.time = when;
    m2.flags = messages::flag::kOrdinary | messages::flag::kPleaseComment;
    m2.lines = {"Friday at 12:30 at the Italian place?"};
    messages::Message m3 = m1;
    m3.fromId = indexes[0];
    m3.from = kDemoPeople[0].name;
    m3.subject = "Quote for Hansen";
    m3.lines = {"The quote is on the shared drive."};
    m3.flags = messages::flag::kOrdinary | messages::flag::kWillCallBack;
    if (!messages::appendMessage(st, indexes[0], m1) || !messages::appendMessage(st, indexes[0], m2) ||
        !messages::appendMessage(st, indexes[3], m3))
        return false;

    // This week's planner for the first person.
    std::int64_t today = platform::daySerial(lt.year, lt.month, lt.day);
    std::int64_t week = planner::weekKey(today);
    std::string planPath = st.dataPath(core::plannerTableName(indexes[0]));
    const char* plan[10] = {"Office", "Customer visit Hansen", "Office", "Office", "Trade fair",
                            "Trade fair", "Office", "Team meeting 14:00", "Home office", ""};
    if (!createTable(ts.engine, planPath, planner::plannerFieldList(), err))
        return false;
    return appendRecords(
        ts.engine, planPath, 1,
        [&](engine::TTzDbf& t, int) {
            t.SetLongField("weekno", week);
            std::string name;
            for (int f = 2; f <= 11; ++f)
                if (t.Field(f, name))
                    t.setText(name, plan[f - 2]);
        },
        err);
}

} // namespace

// The names table must place its fields where the descriptors say, and have
// every field the board writes: otherwise a name written by field name lands
// in the wrong bytes, or nowhere.
std::string namesTableProblem(const std::string& path)
{
    TableImage t;
    if (!t.load(engine::TTzDbf::resolvePath(path)))
        return "cannot read qb3.dbf: " + t.error();
    if (!t.usable())
        return "qb3.dbf is not a usable table: " + t.layoutProblem();
    if (t.tooLarge())
        return "qb3.dbf is larger than a table can be";
    auto d = t.layoutDisagreements();
    if (!d.empty())
        return "qb3.dbf is damaged: " + d.front() + " (see qbtool check)";
    for (const std::string& spec : board::NamesTable::fieldList()) {
        std::istringstream in(spec);
        std::string name, type, length;
        std::getline(in, name, ',');
        std::getline(in, type, ',');
        std::getline(in, length, ',');
        type.erase(0, type.find_first_not_of(' '));
        std::string upper = name;
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        auto it = std::find_if(t.fields().begin(), t.fields().end(), [&](const RawField& f) { return f.name == upper; });
        if (it == t.fields().end())
            return "qb3.dbf has no field " + upper + "; it is not a names table";
        if (it->type != type[0] || it->length != std::stoi(length))
            return "qb3.dbf's field " + upper + " is not " + type.substr(0, 1) + " " + std::to_string(std::stoi(length))
                   + "; it is not a names table";
    }
    return {};
}

int initCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    std::string dir;
    bool demo = false;
    for (const auto& a : args) {
        if (a == "--demo")
            demo = true;
        else if (dir.empty() && !a.empty() && a[0] != '-')
            dir = a;
        else {
            err << "qbtool init: unexpected argument " << a << "\nusage: qbtool init DIR [--demo]\n";
            return exitcode::kUsage;
        }
    }
    if (dir.empty()) {
        err << "usage: qbtool init DIR [--demo]\n";
        return exitcode::kUsage;
    }
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    if (platform::fileExists(dir)) {
        err << "qbtool init: " << dir << " is a file, not a directory\n";
        return exitcode::kFailed;
    }
    if (platform::isDirectory(dir) && !directoryIsEmpty(dir)) {
        err << "qbtool init: " << dir << " is not empty; refusing to overwrite an existing data directory\n";
        return exitcode::kFailed;
    }
    if (platform::makeDirs(dir + "/s") != 0) {
        err << "qbtool init: cannot create " << dir << "\n";
        return exitcode::kFailed;
    }
    ToolStation ts(dir);
    engine::Engine& e = ts.engine;
    const std::string names = dir + "/" + board::NamesTable::kFileName;
    const std::string remarks = dir + "/remarks.dbf";
    const std::string config = dir + "/" + admin::ConfigTable::kFileName;
    const std::string labels = dir + "/" + admin::ConfigTable::kLabelFileName;
    const std::string info = dir + "/" + core::infoTableName();
    bool ok = createTable(e, names, board::NamesTable::fieldList(), err) &&
              appendRecords(
                  e, names, 1,
                  [](engine::TTzDbf& t, int) {
                      t.SetLongField("ident", 0);
                      t.setText("name", "Admin");
                      t.setText("remark", "Remark");
                      t.setText("group", "Group");
                      t.setText("misc", "Notes");
                  },
                  err) &&
              createTable(e, remarks, admin::remarkFieldList(), err);
    auto builtIn = admin::builtInRemarks(false);
    ok = ok && appendRecords(
                   e, remarks, static_cast<int>(builtIn.size()),
                   [&](engine::TTzDbf& t, int i) {
                       const auto& entry = builtIn[static_cast<std::size_t>(i)];
                       t.SetCField("c", std::string(1, entry.color));
                       t.SetLongField("position", i + 1);
                       t.SetLongField("type", entry.type);
                       t.setText("text", entry.text);
                   },
                   err);
    ok = ok && createTable(e, config, admin::ConfigTable::fieldList(), err) &&
         createTable(e, labels, admin::ConfigTable::labelFieldList(), err) &&
         appendRecords(
             e, labels, admin::kOptionCount, [](engine::TTzDbf& t, int i) { t.SetLongField("optionno", i + 1); },
             err) &&
         createTable(e, info, planner::infoFieldList(), err) &&
         appendRecords(
             e, info, 1,
             [](engine::TTzDbf& t, int) {
                 t.SetLongField("ident", 0);
                 t.setText("name", "Name");
                 t.setText("title", "Title");
                 t.setText("phone", "Phone");
                 t.setText("extra", "Extension");
                 t.setText("e_mail", "E-mail");
                 t.setText("pager", "Pager");
                 t.setText("division", "Division");
                 t.setText("fax", "Fax");
                 t.setText("notestxt", "Notes");
             },
             err);
    if (ok && demo)
        ok = fillDemo(ts, err);
    ts.log.printTo(err);
    if (!ok)
        return exitcode::kFailed;
    out << "qbtool: new data directory " << dir << (demo ? " with demo people" : "") << "\n";
    return exitcode::kOk;
}

int addNameCommand(const CommandArgs& argsIn, std::ostream& out, std::ostream& err)
{
    CommandArgs args = argsIn;
    double waitSeconds = 0;
    if (!takeWaitOption(args, waitSeconds, "add-name", err))
        return exitcode::kUsage;
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: qbtool add-name DIR NAME [GROUP] [--wait SECONDS]\n";
        return exitcode::kUsage;
    }
    const std::string& dir = args[0];
    const std::string name = trimmed(args[1]);
    const std::string group = args.size() == 3 ? trimmed(args[2]) : std::string();
    std::string problem = admin::storedTextProblem(args[1], "the name");
    if (problem.empty() && args.size() == 3)
        problem = admin::storedTextProblem(args[2], "the group");
    if (problem.empty() && name.empty())
        problem = "a name must have 1 to 40 characters";
    if (problem.empty() && platform::asciiLower(name) == "admin")
        problem = "\"Admin\" is the administrator's record, not a person";
    if (problem.empty() && name == "__")
        problem = "\"__\" marks a removed person on the board";
    if (!problem.empty()) {
        err << "qbtool add-name: " << problem << "\n";
        return exitcode::kUsage;
    }
    const std::string namesPath = dir + "/" + board::NamesTable::kFileName;
    if (!platform::fileExists(engine::TTzDbf::resolvePath(namesPath))) {
        err << "qbtool add-name: " << shown(dir) << " holds no qb3.dbf\n";
        return exitcode::kFailed;
    }
    // Both tables are checked before anything is written, so a person is not
    // added where the options record cannot follow.
    for (const auto& [file, written] : {std::pair {namesPath, true}, {dir + "/" + admin::ConfigTable::kFileName, true}})
        if (std::string p = tableFileProblem(file, written); !p.empty()) {
            err << "qbtool add-name: " << p << "\n";
            return exitcode::kFailed;
        }
    if (std::string p = namesTableProblem(namesPath); !p.empty()) {
        err << "qbtool add-name: " << p << "\n";
        return exitcode::kFailed;
    }

    // The same add as the options window's "&Add": the position and the
    // name under the append lock, an earlier person's files kept aside, the
    // options record (factory values and rights), or nothing at all.
    ToolStation ts(dir);
    const auto deadline = deadlineAfter(waitSeconds);
    admin::AddPersonOutcome r = admin::addPerson(ts.station, {name, group, admin::OptionsRecord {}}, [&] {
        if (Clock::now() >= deadline)
            return false;
        ts.log.discard();
        pauseBeforeRetry();
        return true;
    });
    switch (r.result) {
    case admin::AddPersonResult::Ok: break;
    case admin::AddPersonResult::Duplicate:
        err << "qbtool add-name: " << shown(name) << " is on the board already\n";
        return exitcode::kUsage;
    case admin::AddPersonResult::Invalid:
        err << "qbtool add-name: " << shown(r.problem) << "\n";
        return exitcode::kUsage;
    case admin::AddPersonResult::Full: err << "qbtool add-name: the board is full\n"; return exitcode::kFailed;
    case admin::AddPersonResult::LockFailed:
        err << "qbtool add-name: qb3.dbf stays locked by another station\n";
        return exitcode::kRecordLocked;
    case admin::AddPersonResult::NotSetAside:
        err << "qbtool add-name: " << shown(r.problem) << "\n";
        return exitcode::kFailed;
    case admin::AddPersonResult::OptionsFailed:
        ts.log.printTo(err);
        err << "qbtool add-name: " << shown(r.problem) << "; ";
        if (!r.undoFailed)
            err << shown(name) << " was not added\n";
        else
            err << shown(name) << " was written at board index " << r.added.boardIndex
                << " but could not be removed again: remove that person before adding the name again\n";
        return exitcode::kFailed;
    default:
        ts.log.printTo(err);
        err << "qbtool add-name: cannot write qb3.dbf in " << shown(dir) << "\n";
        return exitcode::kNotWritable;
    }
    out << shown(name) << " added at board index " << r.added.boardIndex << "\n";
    // On stderr: the one line on stdout is what scripts read.
    for (const std::string& kept : r.added.setAside)
        err << "qbtool add-name: an earlier person's " << shown(kept) << " kept aside\n";
    return exitcode::kOk;
}

int setRemarkCommand(const CommandArgs& argsIn, std::ostream& out, std::ostream& err)
{
    CommandArgs args = argsIn;
    double waitSeconds = 0;
    if (!takeWaitOption(args, waitSeconds, "set-remark", err))
        return exitcode::kUsage;
    std::vector<std::string> pos;
    char letter = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--color" && i + 1 < args.size()) {
            std::string l = args[++i];
            if (l.size() != 1 || !board::isColorLetter(l[0])) {
                err << "qbtool set-remark: --color takes one of the letters a f l r w y\n";
                return exitcode::kUsage;
            }
            letter = l[0];
        } else {
            pos.push_back(args[i]);
        }
    }
    if (pos.size() != 3) {
        err << "usage: qbtool set-remark DIR NAME TEXT [--color a|f|l|r|w|y] [--wait SECONDS]\n";
        return exitcode::kUsage;
    }
    const std::string& dir = pos[0];
    const std::string shownName = shown(pos[1]);
    if (std::string p = admin::storedTextProblem(pos[2], "the remark"); !p.empty()) {
        err << "qbtool set-remark: " << p << "\n";
        return exitcode::kUsage;
    }
    const std::string namesPath = dir + "/" + board::NamesTable::kFileName;
    for (const auto& [file, written] : {std::pair {namesPath, true}, {dir + "/remarks.dbf", false},
                                        {dir + "/" + admin::ConfigTable::kFileName, false}})
        if (std::string p = tableFileProblem(file, written); !p.empty()) {
            err << "qbtool set-remark: " << p << "\n";
            return exitcode::kNotWritable;
        }
    if (platform::fileExists(engine::TTzDbf::resolvePath(namesPath)))
        if (std::string p = namesTableProblem(namesPath); !p.empty()) {
            err << "qbtool set-remark: " << p << "\n";
            return exitcode::kNotWritable;
        }
    ToolStation ts(dir);
    engine::TTzDbf names("QBFind", ts.engine);
    names.CreateIfNotFound = false;
    names.HideDeletedRecs = true;
    names.setDbfFileName(namesPath);
    if (!names.setActive(true)) {
        err << "qbtool set-remark: cannot open qb3.dbf in " << shown(dir) << ": " << shown(ts.engine.lastErrorText())
            << "\n";
        return exitcode::kNotWritable;
    }
    int index = -1;
    for (names.GoTop(); !names.dEOF(); names.Skip(1)) {
        if (names.RecNo() > 1 && platform::asciiLower(names.getText("name")) == platform::asciiLower(pos[1])) {
            index = static_cast<int>(names.RecNo() - 1);
            break;
        }
    }
    names.setActive(false);
    if (index < 0) {
        err << "qbtool set-remark: no person named \"" << shownName << "\" in " << shown(dir) << "\n";
        return exitcode::kUnknownName;
    }

    // In, Out and "in but unavailable" keep the in-use flag and their colours.
    bool inUse = false;
    char color = 'w';
    engine::TTzDbf list("QBRemarks", ts.engine);
    list.CreateIfNotFound = false;
    list.setDbfFileName(dir + "/remarks.dbf");
    std::vector<admin::RemarkEntry> entries;
    if (list.setActive(true)) {
        // The remark list is a short pick list; a damaged file claiming
        // millions of entries is not read to its end.
        constexpr std::size_t kMaxRemarks = 1000;
        for (list.GoTop(); !list.dEOF() && entries.size() < kMaxRemarks; list.Skip(1)) {
            std::string c = list.GetCField("c");
            entries.push_back({c.empty() || c[0] == ' ' ? 'w' : c[0], static_cast<int>(list.GetLongField("type")),
                               list.getText("text")});
        }
        list.setActive(false);
    }
    if (entries.empty())
        entries = admin::builtInRemarks(false);
    for (const auto& e : entries) {
        if (platform::asciiLower(e.text) == platform::asciiLower(pos[2])) {
            inUse = e.type >= 1 && e.type <= 3;
            color = e.color;
            break;
        }
    }
    if (letter)
        color = letter;

    board::Board board;
    board.ownIndex = index;
    admin::ConfigTable config(ts.engine, ts.station.clock, dir);
    config.load(index, board.options, false, index);
    board::RemarkLog log(ts.station, board);
    if (std::string p = tableFileProblem(dir + "/" + log.fileName(), true); !p.empty()) {
        err << "qbtool set-remark: " << p << "\n";
        return exitcode::kNotWritable;
    }
    board::NamesTable table(ts.station, board, log);
    // Each try reads the record afresh, so waiting never writes back fields
    // another station changed meanwhile.
    const auto deadline = deadlineAfter(waitSeconds);
    board::WriteResult result;
    for (;;) {
        ts.log.discard();
        ts.engine.clearError();
        result = table.writeColumn(board::column::kRemark, pos[2], inUse, board::colorOfCode(color), index);
        const bool busy = result == board::WriteResult::LockFailed
                          || (result == board::WriteResult::OpenFailed
                              && ts.engine.lastError() == platform::oserr::kSharingViolation);
        if (!busy || Clock::now() >= deadline)
            break;
        pauseBeforeRetry();
    }
    switch (result) {
    case board::WriteResult::Ok:
        out << shownName << ": " << shown(pos[2]) << "\n";
        return exitcode::kOk;
    case board::WriteResult::LockFailed:
        err << "qbtool set-remark: the record of " << shownName << " stayed locked by another station for "
            << waitSeconds << " s; nothing was changed\n";
        return exitcode::kRecordLocked;
    default:
        ts.log.printTo(err);
        err << "qbtool set-remark: cannot write qb3.dbf in " << shown(dir) << "\n";
        return exitcode::kNotWritable;
    }
}

} // namespace qb::tools
