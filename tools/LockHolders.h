// Which processes on this machine hold byte-range locks on one file.
//
// A probe (F_OFD_GETLK) tells that a region is held but, for the
// open-file-description locks the stations take, never by whom: the kernel
// answers pid -1. The owner is found instead through /proc: every descriptor
// of the file lists, in /proc/PID/fdinfo/FD, the locks of its description.
// Only processes of this machine that the caller may inspect (same account,
// or root) show up; a lock taken by another station through a file server, or
// by another account, stays anonymous.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qb::tools {

class LockHolders {
public:
    struct Entry {
        pid_t pid = 0;
        bool write = false;
        std::int64_t start = 0;
        std::int64_t end = 0; // exclusive; INT64_MAX for "to the end of file"
    };

    // Scans /proc for descriptors of the file at path. A file that cannot be
    // stat'ed, or a system without /proc, gives an empty list (no error).
    explicit LockHolders(const std::string& path);

    // Processes holding a lock of exactly this range and type, sorted, each once.
    std::vector<pid_t> holdersOf(std::int64_t start, std::int64_t end, bool write) const;

    const std::vector<Entry>& entries() const { return m_entries; }

    // Parses one "lock:" line of an fdinfo file for the given device and
    // inode; false when the line is about another file or unreadable.
    static bool parseLockLine(const std::string& line, dev_t dev, ino_t ino, Entry& out);

private:
    std::vector<Entry> m_entries;
};

} // namespace qb::tools
