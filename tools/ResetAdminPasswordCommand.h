// qbtool reset-admin-password DIR [--yes]: clears the administrator's
// password in record 0 of the names table, for a site that has lost it.
// Whoever can write the data directory can already change every table, so
// the tool asks for no password; it asks for confirmation (unless --yes) and
// leaves a trace: an information entry in the system log and an entry in the
// month's remark-change log, as the board records changes.
#pragma once

#include "platform/EventLog.h"
#include "tools/Command.h"

#include <istream>

namespace qb::tools {

int resetAdminPasswordCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// The same with the confirmation read from in and entries written to log
// (tests give their own).
int resetAdminPassword(const CommandArgs& args, std::istream& in, std::ostream& out, std::ostream& err,
                       platform::EventLog& log);

} // namespace qb::tools
