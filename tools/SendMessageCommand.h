// qbtool send-message: a message from a script (door bell, phone system,
// monitoring job), written exactly as a station's send window writes it.
#pragma once

#include "tools/Command.h"

namespace qb::tools {

// Exit statuses beyond the common ones (the same as set-remark's).
// 3: no person of that name; 4: the table stayed locked by other stations
// (append lock, or a pack holding it exclusively) for --wait seconds;
// 5: the table cannot be opened, created or written.
int sendMessageCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
