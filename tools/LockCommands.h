// qbtool locks: the administrator's answer to "why can't I write?". Shows
// which lock regions of a table other processes hold right now, without
// taking any of them (a probe never disturbs a running station).
#pragma once

#include "tools/Command.h"

#include <string>
#include <vector>

namespace qb::tools {

// locks FILE|DIR...
// For every table (a DIR: every *.dbf in it and its subfolders, any case of
// the extension) one line per held lock, "LABEL: ...", with the holder's pid
// when this machine can tell it; "LABEL: no locks" when nothing is held.
// Exit 0 (locks are not a failure), 1 when a file could not be opened or is
// not a table, 2 on bad arguments.
int locksCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// The lines for one table, each without the "LABEL: " prefix. Opens the file
// read-only without a share-mode lock and probes:
//   0x3FFFFFFF (share mode: read = open shared, write = open exclusively),
//   0x40000001 (append lock) and 0x40000001 + 0x3FFFFFFF (file lock),
//   every record region 0x40000000 + H + (n-1)*R, and byte 10 of the memo file.
// Adjacent records locked by one holder merge into one region and are
// reported as a range. Returns false with *error set when the file cannot be
// opened or its header is not a table's.
bool describeLocks(const std::string& path, std::vector<std::string>& lines, std::string* error);

} // namespace qb::tools
