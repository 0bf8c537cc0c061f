#include "ResetAdminPasswordCommand.h"

#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "core/Options.h"
#include "core/Station.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"
#include "platform/Paths.h"
#include "tools/DataDirCommands.h"
#include "tools/TableFiles.h"

#include <iostream>
#include <ostream>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::tools {

int resetAdminPasswordCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    return resetAdminPassword(args, std::cin, out, err, platform::SyslogEventLog::instance());
}

int resetAdminPassword(const CommandArgs& args, std::istream& in, std::ostream& out, std::ostream& err,
                       platform::EventLog& syslog)
{
    bool yes = false;
    std::vector<std::string> pos;
    for (const auto& a : args) {
        if (a == "--yes" || a == "-y")
            yes = true;
        else
            pos.push_back(a);
    }
    if (pos.size() != 1 || (pos[0].size() > 1 && pos[0][0] == '-')) {
        err << "usage: qbtool reset-admin-password DIR [--yes]\n";
        return exitcode::kUsage;
    }
    const std::string& dir = pos[0];
    const std::string path = engine::TTzDbf::resolvePath(dir + "/" + board::NamesTable::kFileName);
    if (!platform::fileExists(path)) {
        err << "qbtool: no names table " << board::NamesTable::kFileName << " in " << dir << "\n";
        return exitcode::kFailed;
    }
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        err << "qbtool: " << shown(path) << " is not a regular file; nothing was changed\n";
        return exitcode::kFailed;
    }
    if (::access(path.c_str(), W_OK) != 0) {
        err << "qbtool: " << shown(path) << " is not writable; run this as a user who may change the data directory\n";
        return exitcode::kFailed;
    }
    if (std::string p = namesTableProblem(path); !p.empty()) {
        err << "qbtool: " << p << "; nothing was changed\n";
        return exitcode::kFailed;
    }
    if (!yes) {
        err << "Clear the administrator password in " << shown(dir) << "? Anyone may then log in as Admin. [y/N] "
            << std::flush;
        std::string answer;
        std::getline(in, answer);
        if (answer != "y" && answer != "Y" && answer != "yes" && answer != "YES" && answer != "Yes") {
            err << "qbtool: not confirmed; nothing was changed (--yes confirms without asking)\n";
            return exitcode::kFailed;
        }
    }

    engine::Engine engine;
    engine.setRetry(3, 40);
    platform::MemoryEventLog stationLog;
    board::Station station(engine, platform::SystemClock::instance(), stationLog, dir, "");
    board::Board board;
    board.ownIndex = 0;
    board.options.value[static_cast<std::size_t>(admin::opt::kLogRemarks)] = true;
    // The log is opened through the engine, which would wait forever on a FIFO.
    const std::string logPath = engine::TTzDbf::resolvePath(dir + "/" + board::RemarkLog(station, board).fileName());
    if (::lstat(logPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
        err << "qbtool: " << shown(logPath) << " is not a regular file; nothing was changed\n";
        return exitcode::kFailed;
    }
    engine::TTzDbf table("QBReset", engine);
    table.CreateIfNotFound = false;
    table.DbfFields = board::NamesTable::fieldList();
    table.setDbfFileName(path);
    if (!table.setActive(true) || engine.lastError() != 0) {
        err << "qbtool: cannot open " << path << ": " << engine.lastErrorText() << "\n";
        return exitcode::kFailed;
    }
    table.Go(1);
    if (table.RecNo() != 1 || table.GetLongField("ident") != 0) {
        table.setActive(false);
        err << "qbtool: record 0 of " << path << " is missing or damaged; check the table with qbtool check\n";
        return exitcode::kFailed;
    }
    table.SetCField("password", "");
    // Under the record lock, like every station's write, so a board writing
    // the same record at this moment is not overwritten half-way.
    engine::CommitResult r = engine::commitRecord(table, true, platform::SystemClock::instance());
    table.setActive(false);
    if (r != engine::CommitResult::Ok) {
        err << "qbtool: record 0 is locked or could not be written; nothing was changed, try again\n";
        return exitcode::kFailed;
    }
    // The trace: the system log, and the month's remark-change log whatever
    // the logging option says (this is not an everyday change).
    const std::string who = platform::Paths::userName();
    syslog.info("Administrator password of " + dir + " cleared with qbtool by " + who);
    bool logged = board::RemarkLog(station, board).append("Password", "reset with qbtool by " + who, "Admin");
    out << "qbtool: administrator password cleared in " << shown(path) << "\n"
        << "Log in as Admin with an empty password and set a new one with Actions > Change Password.\n";
    if (!logged) {
        err << "qbtool: the password was cleared, but the entry in " << shown(board::RemarkLog(station, board).fileName())
            << " could not be written\n";
        return exitcode::kFailed;
    }
    return exitcode::kOk;
}

} // namespace qb::tools
