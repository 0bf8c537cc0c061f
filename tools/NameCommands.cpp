#include "NameCommands.h"

#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "admin/OptionsEditor.h"
#include "board/NamesTable.h"
#include "engine/TTzDbf.h"
#include "platform/EventLog.h"
#include "platform/FileOps.h"
#include "tools/DataDirCommands.h"
#include "tools/TableFiles.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <functional>
#include <ostream>

namespace qb::tools {

namespace {

// One station for the duration of a command; its event-log entries are
// printed only when the command fails.
struct NameStation {
    engine::Engine engine;
    platform::MemoryEventLog log;
    board::Station station;
    explicit NameStation(const std::string& dir) : station(engine, platform::SystemClock::instance(), log, dir, "")
    {
        engine.setRetry(3, 40);
    }
    void printLog(std::ostream& err, const char* command)
    {
        for (const auto& e : log.entries)
            err << "qbtool " << command << ": " << shown(e.text) << "\n";
    }
};

// The parts every command shares: --wait, the positional arguments, a names
// table the command may write. Returns -1 to go on, else the exit status.
int prepare(const char* command, const char* usage, const CommandArgs& argsIn, std::size_t count,
            CommandArgs& pos, double& waitSeconds, std::ostream& err)
{
    pos = argsIn;
    if (!takeWaitOption(pos, waitSeconds, command, err))
        return exitcode::kUsage;
    if (pos.size() != count) {
        err << "usage: qbtool " << command << " " << usage << "\n";
        return exitcode::kUsage;
    }
    const std::string namesPath = pos[0] + "/" + board::NamesTable::kFileName;
    if (!platform::fileExists(engine::TTzDbf::resolvePath(namesPath))) {
        err << "qbtool " << command << ": " << shown(pos[0]) << " holds no qb3.dbf\n";
        return exitcode::kNotWritable;
    }
    std::string p = tableFileProblem(namesPath, true);
    if (p.empty())
        p = namesTableProblem(namesPath);
    if (!p.empty()) {
        err << "qbtool " << command << ": " << p << "\n";
        return exitcode::kNotWritable;
    }
    return -1;
}

// The live person of that name; prints the refusal and returns -1 otherwise.
int personOf(NameStation& ns, const std::string& name, const char* command, std::ostream& err)
{
    int index = admin::findPerson(ns.station, name);
    if (index <= 0)
        err << "qbtool " << command << ": no person named \"" << shown(name) << "\" in " << shown(ns.station.dataDir)
            << "\n";
    return index;
}

// Runs an edit until it is not refused by a lock or the wait is over.
admin::NameEditResult untilUnlocked(double waitSeconds, const std::function<admin::NameEditResult()>& edit)
{
    const auto deadline = deadlineAfter(waitSeconds);
    for (;;) {
        admin::NameEditResult r = edit();
        if (r != admin::NameEditResult::LockFailed || std::chrono::steady_clock::now() >= deadline)
            return r;
        pauseBeforeRetry();
    }
}

int report(admin::NameEditResult r, NameStation& ns, const char* command, const std::string& name,
           double waitSeconds, std::ostream& err)
{
    switch (r) {
    case admin::NameEditResult::Ok: return exitcode::kOk;
    case admin::NameEditResult::Missing:
        err << "qbtool " << command << ": " << shown(name) << " is no longer on the board\n";
        return exitcode::kUnknownName;
    case admin::NameEditResult::LockFailed:
        err << "qbtool " << command << ": the record of " << shown(name) << " stayed locked by another station for "
            << waitSeconds << " s; nothing was changed\n";
        return exitcode::kRecordLocked;
    default:
        ns.printLog(err, command);
        err << "qbtool " << command << ": cannot write qb3.dbf in " << shown(ns.station.dataDir) << "\n";
        return exitcode::kNotWritable;
    }
}

bool onOff(const std::string& word, bool& value)
{
    if (word == "on" || word == "off") {
        value = word == "on";
        return true;
    }
    return false;
}

} // namespace

int removeNameCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    CommandArgs pos;
    double wait = 0;
    if (int rc = prepare("remove-name", "DIR NAME [--wait SECONDS]", args, 2, pos, wait, err); rc >= 0)
        return rc;
    NameStation ns(pos[0]);
    const int index = personOf(ns, pos[1], "remove-name", err);
    if (index <= 0)
        return exitcode::kUnknownName;
    const std::string name = admin::personName(ns.station, index);
    auto r = untilUnlocked(wait, [&] { return admin::removePerson(ns.station, index); });
    if (r != admin::NameEditResult::Ok)
        return report(r, ns, "remove-name", name, wait, err);
    out << shown(name) << " removed from board index " << index << "\n";
    return exitcode::kOk;
}

int renameCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    CommandArgs pos;
    double wait = 0;
    if (int rc = prepare("rename", "DIR OLD NEW [--wait SECONDS]", args, 3, pos, wait, err); rc >= 0)
        return rc;
    NameStation ns(pos[0]);
    const int index = personOf(ns, pos[1], "rename", err);
    if (index <= 0)
        return exitcode::kUnknownName;
    const std::string old = admin::personName(ns.station, index);
    std::string problem;
    auto r = untilUnlocked(wait, [&] { return admin::renameName(ns.station, index, pos[2], &problem); });
    if (r == admin::NameEditResult::Invalid || r == admin::NameEditResult::Duplicate) {
        err << "qbtool rename: " << shown(problem) << "\n";
        return exitcode::kUsage;
    }
    if (r != admin::NameEditResult::Ok)
        return report(r, ns, "rename", old, wait, err);
    out << shown(old) << " is now " << shown(admin::personName(ns.station, index)) << " (board index " << index
        << ")\n";
    return exitcode::kOk;
}

int resetPasswordCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    CommandArgs pos;
    double wait = 0;
    if (int rc = prepare("reset-password", "DIR NAME [--wait SECONDS]", args, 2, pos, wait, err); rc >= 0)
        return rc;
    NameStation ns(pos[0]);
    const int index = personOf(ns, pos[1], "reset-password", err);
    if (index <= 0)
        return exitcode::kUnknownName;
    const std::string name = admin::personName(ns.station, index);
    auto r = untilUnlocked(wait, [&] { return admin::resetPassword(ns.station, index); });
    if (r != admin::NameEditResult::Ok)
        return report(r, ns, "reset-password", name, wait, err);
    out << shown(name) << ": password blank\n";
    return exitcode::kOk;
}

int setOptionCommand(const CommandArgs& argsIn, std::ostream& out, std::ostream& err)
{
    constexpr const char* kUsage = "DIR NAME N on|off [--right on|off] [--wait SECONDS]";
    CommandArgs args = argsIn;
    bool setRight = false, right = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != "--right")
            continue;
        if (i + 1 >= args.size() || !onOff(args[i + 1], right)) {
            err << "qbtool set-option: --right takes on or off\n";
            return exitcode::kUsage;
        }
        setRight = true;
        args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
        break;
    }
    CommandArgs pos;
    double wait = 0;
    if (int rc = prepare("set-option", kUsage, args, 4, pos, wait, err); rc >= 0)
        return rc;
    char* end = nullptr;
    const long n = std::strtol(pos[2].c_str(), &end, 10);
    bool value = false;
    if (end == pos[2].c_str() || *end != '\0' || n < 1 || n > admin::kOptionCount || !onOff(pos[3], value)) {
        err << "qbtool set-option: N is an option number from 1 to " << admin::kOptionCount
            << ", followed by on or off\n";
        return exitcode::kUsage;
    }
    const std::string configPath = pos[0] + "/" + admin::ConfigTable::kFileName;
    if (!platform::fileExists(engine::TTzDbf::resolvePath(configPath))) {
        err << "qbtool set-option: " << shown(pos[0]) << " holds no qb3cfg3.dbf\n";
        return exitcode::kNotWritable;
    }
    if (std::string p = tableFileProblem(configPath, true); !p.empty()) {
        err << "qbtool set-option: " << p << "\n";
        return exitcode::kNotWritable;
    }
    NameStation ns(pos[0]);
    // "Admin" is the administrator's record: the options new names start with.
    const int index = platform::asciiLower(pos[1]) == "admin" ? 0 : personOf(ns, pos[1], "set-option", err);
    if (index < 0)
        return exitcode::kUnknownName;
    const std::string name = index == 0 ? std::string("Admin") : admin::personName(ns.station, index);

    // The same steps as the administrator's options window: open the
    // person's record (creating it when missing), tick, grant, close.
    const admin::Options factory;
    const auto deadline = deadlineAfter(wait);
    for (;;) {
        admin::OptionsEditor editor(ns.engine, ns.station.clock, pos[0], true, factory);
        editor.open(admin::adminOptionsCaption(name), index);
        if (editor.openError() || editor.readOnly()) {
            ns.printLog(err, "set-option");
            err << "qbtool set-option: " << editor.caption() << "\n";
            return exitcode::kNotWritable;
        }
        if (n > editor.optionCount()) {
            err << "qbtool set-option: qb3cfg3.dbf offers options 1 to " << editor.optionCount() << "\n";
            return exitcode::kUsage;
        }
        editor.setValue(static_cast<int>(n), value);
        if (setRight && editor.right(static_cast<int>(n)) != right)
            editor.toggleRight(static_cast<int>(n));
        const std::string caption = editor.optionCaption(static_cast<int>(n));
        const bool nowRight = editor.right(static_cast<int>(n));
        admin::CloseResult r = editor.close();
        if (r == admin::CloseResult::LockFailed && std::chrono::steady_clock::now() < deadline) {
            pauseBeforeRetry();
            continue;
        }
        switch (r) {
        case admin::CloseResult::Written:
        case admin::CloseResult::NothingToWrite:
            out << shown(name) << ": option " << n << " (" << shown(caption) << ") " << (value ? "on" : "off")
                << ", right " << (nowRight ? "on" : "off") << "\n";
            return exitcode::kOk;
        case admin::CloseResult::LockFailed:
            err << "qbtool set-option: the options record of " << shown(name)
                << " stayed locked by another station for " << wait << " s; nothing was changed\n";
            return exitcode::kRecordLocked;
        default:
            ns.printLog(err, "set-option");
            err << "qbtool set-option: cannot write qb3cfg3.dbf in " << shown(pos[0]) << "\n";
            return exitcode::kNotWritable;
        }
    }
}

} // namespace qb::tools
