#include "ResetAdminPasswordCommand.h"

#include "board/NamesTable.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"
#include "platform/Clock.h"
#include "platform/FileOps.h"

#include <ostream>
#include <unistd.h>

namespace qb::tools {

int resetAdminPasswordCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1) {
        err << "usage: qbtool reset-admin-password DIR\n";
        return exitcode::kUsage;
    }
    const std::string& dir = args[0];
    const std::string path = engine::TTzDbf::resolvePath(dir + "/" + board::NamesTable::kFileName);
    if (!platform::fileExists(path)) {
        err << "qbtool: no names table " << board::NamesTable::kFileName << " in " << dir << "\n";
        return exitcode::kFailed;
    }
    if (::access(path.c_str(), W_OK) != 0) {
        err << "qbtool: " << path << " is not writable; run this as a user who may change the data directory\n";
        return exitcode::kFailed;
    }

    engine::Engine engine;
    engine.setRetry(3, 40);
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
    out << "qbtool: administrator password cleared in " << path << "\n"
        << "Log in as Admin with an empty password and set a new one with Actions > Change Password.\n";
    return exitcode::kOk;
}

} // namespace qb::tools
