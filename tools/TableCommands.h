// Commands that read tables without changing them: dump, check, schema.
#pragma once

#include "Command.h"

namespace qb::tools {

// dump FILE [--json] [--codepage 437|850|1252]
// Records to out; unreadable values and file errors to err as "FILE: ...".
// Exit 0, 1 when the file could not be used or values were unreadable, 2 on
// bad arguments.
int dumpCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// check [--repair] FILE|DIR...
// One line "FILE: problem" per problem on out; a DIR checks every *.dbf in it
// and its subfolders (any case of the extension). With --repair a table with
// problems is mended first (TableRepair.h): "FILE: repaired: ..." lines, then
// the problems left. Exit 0 when sound (after the repair), 1 when any problem
// was found or is left, 2 on bad arguments.
int checkCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// schema FILE
// Version, date, record count, header and record length and every field.
int schemaCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
