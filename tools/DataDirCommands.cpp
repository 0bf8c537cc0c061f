#include "DataDirCommands.h"

#include "admin/ConfigTable.h"
#include "admin/RemarkEntries.h"
#include "board/Colors.h"
#include "board/NameAdmin.h"
#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "engine/TTzDbf.h"
#include "messages/MessageStore.h"
#include "planner/PersonalTables.h"
#include "platform/FileOps.h"

#include <algorithm>
#include <cctype>
#include <dirent.h>
#include <ostream>
#include <unistd.h>

namespace qb::tools {

namespace {

// Event-log entries of a command-line run go to stderr.
class StreamEventLog final : public platform::EventLog {
public:
    explicit StreamEventLog(std::ostream& os) : m_os(os) {}
    void error(std::string_view text) override { m_os << "qbtool: " << text << "\n"; }
    void info(std::string_view) override {}

private:
    std::ostream& m_os;
};

// One station for the duration of a command.
struct ToolStation {
    engine::Engine engine;
    StreamEventLog log;
    board::Station station;
    std::string scratch;
    ToolStation(const std::string& dataDir, std::ostream& err)
        : log(err), station(engine, platform::SystemClock::instance(), log, dataDir, "")
    {
        char tmpl[] = "/tmp/qbtool.XXXXXX";
        if (::mkdtemp(tmpl))
            scratch = tmpl;
        station.startDir = scratch;
        engine.setRetry(3, 40);
    }
    ~ToolStation()
    {
        if (!scratch.empty()) {
            platform::removeFile(scratch + "/q3.dbf");
            ::rmdir(scratch.c_str());
        }
    }
};

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
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
        board::AddedName added;
        if (board::addName(st, p.name, p.group, &added) != board::AddNameResult::Ok) {
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
    std::string planPath = st.dataPath(planner::plannerTableName(indexes[0]));
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
    ToolStation ts(dir, err);
    engine::Engine& e = ts.engine;
    const std::string names = dir + "/" + board::NamesTable::kFileName;
    const std::string remarks = dir + "/remarks.dbf";
    const std::string config = dir + "/" + admin::ConfigTable::kFileName;
    const std::string labels = dir + "/" + admin::ConfigTable::kLabelFileName;
    const std::string info = dir + "/" + planner::kInfoFileName;
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
    if (!ok)
        return exitcode::kFailed;
    out << "qbtool: new data directory " << dir << (demo ? " with demo people" : "") << "\n";
    return exitcode::kOk;
}

int addNameCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() < 2 || args.size() > 3) {
        err << "usage: qbtool add-name DIR NAME [GROUP]\n";
        return exitcode::kUsage;
    }
    const std::string& dir = args[0];
    if (!platform::fileExists(engine::TTzDbf::resolvePath(dir + "/" + board::NamesTable::kFileName))) {
        err << "qbtool add-name: " << dir << " holds no qb3.dbf\n";
        return exitcode::kFailed;
    }
    if (args[1].size() > 40 || args[1].find_first_not_of(' ') == std::string::npos) {
        err << "qbtool add-name: a name must have 1 to 40 characters\n";
        return exitcode::kUsage;
    }
    ToolStation ts(dir, err);
    board::AddedName added;
    switch (board::addName(ts.station, args[1], args.size() == 3 ? args[2] : std::string(), &added)) {
    case board::AddNameResult::Ok: break;
    case board::AddNameResult::Full: err << "qbtool add-name: the board is full\n"; return exitcode::kFailed;
    case board::AddNameResult::LockFailed:
        err << "qbtool add-name: qb3.dbf stays locked by another station\n";
        return exitcode::kRecordLocked;
    default: err << "qbtool add-name: cannot write qb3.dbf in " << dir << "\n"; return exitcode::kNotWritable;
    }
    admin::ConfigTable config(ts.engine, ts.station.clock, dir);
    config.save(added.boardIndex, admin::Options(), true);
    out << args[1] << " added at board index " << added.boardIndex << "\n";
    return exitcode::kOk;
}

int setRemarkCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
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
        err << "usage: qbtool set-remark DIR NAME TEXT [--color a|f|l|r|w|y]\n";
        return exitcode::kUsage;
    }
    const std::string& dir = pos[0];
    ToolStation ts(dir, err);
    engine::TTzDbf names("QBFind", ts.engine);
    names.CreateIfNotFound = false;
    names.HideDeletedRecs = true;
    names.setDbfFileName(dir + "/" + board::NamesTable::kFileName);
    if (!names.setActive(true)) {
        err << "qbtool set-remark: cannot open qb3.dbf in " << dir << ": " << ts.engine.lastErrorText() << "\n";
        return exitcode::kNotWritable;
    }
    int index = -1;
    for (names.GoTop(); !names.dEOF(); names.Skip(1)) {
        if (names.RecNo() > 1 && lower(names.getText("name")) == lower(pos[1])) {
            index = static_cast<int>(names.RecNo() - 1);
            break;
        }
    }
    names.setActive(false);
    if (index < 0) {
        err << "qbtool set-remark: no person named \"" << pos[1] << "\" in " << dir << "\n";
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
        for (list.GoTop(); !list.dEOF(); list.Skip(1)) {
            std::string c = list.GetCField("c");
            entries.push_back({c.empty() || c[0] == ' ' ? 'w' : c[0], static_cast<int>(list.GetLongField("type")),
                               list.getText("text")});
        }
        list.setActive(false);
    }
    if (entries.empty())
        entries = admin::builtInRemarks(false);
    for (const auto& e : entries) {
        if (lower(e.text) == lower(pos[2])) {
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
    board::NamesTable table(ts.station, board, log);
    switch (table.writeColumn(board::column::kRemark, pos[2], inUse, board::colorOfCode(color), index)) {
    case board::WriteResult::Ok:
        out << pos[1] << ": " << pos[2] << "\n";
        return exitcode::kOk;
    case board::WriteResult::LockFailed:
        err << "qbtool set-remark: the record of " << pos[1] << " stays locked by another station\n";
        return exitcode::kRecordLocked;
    default:
        err << "qbtool set-remark: cannot write qb3.dbf in " << dir << "\n";
        return exitcode::kNotWritable;
    }
}

} // namespace qb::tools
