// Commands that read tables without changing them: dump, check, schema.
#pragma once

#include "Command.h"

namespace qb::tools {

// dump FILE [--json] [--codepage 437|850|1252]
// Records to out; unreadable values and file errors to err as "FILE: ...".
// Exit 0, 1 when the file could not be used or values were unreadable, 2 on
// bad arguments.
int dumpCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// check FILE|DIR...
// One line "FILE: problem" per problem on out; a DIR checks every *.dbf in it
// and its subfolders (any case of the extension). Exit 0 when sound, 1 when
// any problem was found, 2 on bad arguments.
int checkCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// schema FILE
// Version, date, record count, header and record length and every field.
int schemaCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
