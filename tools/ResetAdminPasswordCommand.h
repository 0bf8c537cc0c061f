// qbtool reset-admin-password DIR: clears the administrator's password in
// record 0 of the names table, for a site that has lost it. Whoever can write
// the data directory can already change every table, so the tool asks for
// nothing more; the board program itself offers no way around the password.
#pragma once

#include "tools/Command.h"

namespace qb::tools {

int resetAdminPasswordCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
