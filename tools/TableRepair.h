// `qbtool check --repair`: mends what an interrupted writer leaves behind in a
// table and its memo file, and nothing else.
//
// What it changes:
//   - a torn trailing record (a partial record after the last whole one) is
//     cut off;
//   - the record count at offset 4 is set to the whole records in the file
//     (stations count from the size anyway; the header lags after a crash);
//   - the end byte 0x1A is put right after the last record;
//   - the memo header's next free block is set from the memo file's size, so
//     no later writer reuses blocks a record may point at.
// Record bytes, descriptors, the header date and memo blocks stay as they are.
//
// Trust: every change is computed from the header and record lengths, so a
// table is changed only when those agree with the field descriptors (and the
// terminator sits where they put it). A header that disagrees may have been
// damaged itself: cutting by its record length would drop good records. Such
// a table is left alone and the result lists what would be done, unless the
// caller forces it. The file is never written through a symbolic link or
// anything but a regular file, and a file larger than a table can be is
// refused.
//
// Refusal: while any other station holds a lock on the table (file lock,
// append lock, a record lock, the memo lock) or has the table open (the
// share-mode byte), nothing is touched and the result says which lock. During
// the repair it holds the share-mode byte for writing and the file lock, so no
// station opens, appends or rewrites meanwhile.
#pragma once

#include "TableChecker.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace qb::tools {

class TableRepair {
public:
    enum class Status {
        NothingToDo, // sound already
        Repaired,    // changes() lists what was done
        Refused,     // another station holds a lock; reason() names it
        Untrusted,   // the header disagrees with the descriptors; nothing changed,
                     // changes lists what a forced repair would do
        Failed       // cannot be repaired this way (or an I/O error); reason() says why
    };

    struct Result {
        Status status = Status::NothingToDo;
        std::vector<std::string> changes; // one sentence each
        std::string reason;
    };

    // Repairs the table at path (and its memo file). force applies the
    // changes even to a table whose header disagrees with its descriptors.
    // Never throws.
    Result repair(const std::string& path, bool force = false);

    // Mends files of fs; fs must outlive the repair.
    explicit TableRepair(platform::FileSystem& fs = platform::FileSystem::posix()) : m_fs(&fs) {}

private:
    platform::FileSystem* m_fs;
};

// For the check command: repairs path, writes "path: repaired: ..." lines to
// out, and returns the problems left afterwards ("not repaired: ..." first
// when the repair was refused or failed, then a fresh check).
std::vector<std::string> repairAndRecheck(const std::string& path, TableChecker& checker, std::ostream& out,
                                          bool force = false);

} // namespace qb::tools
