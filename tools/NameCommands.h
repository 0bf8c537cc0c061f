// qbtool commands of name administration for sites run from scripts:
// remove-name, rename, reset-password, set-option. Each calls the logic the
// board's windows call; exit statuses as for set-remark (3 unknown name,
// 4 record locked, 5 not writable).
#pragma once

#include "tools/Command.h"

namespace qb::tools {

int removeNameCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int renameCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int resetPasswordCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int setOptionCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
