// Files on the shared data directory: share modes, byte-range locks, sizes and
// last-write times read from the open descriptor.
//
// Why open-file-description locks
// -------------------------------
// Stations coordinate only through byte-range locks on the table files. Classic
// POSIX record locks (F_SETLK) belong to the process: two descriptors of one
// process never exclude each other and closing any descriptor of a file drops
// every lock the process holds on it. flock() turns into a whole-file lock on
// NFS. OFD locks (F_OFD_SETLK) belong to one open() and behave like the byte
// locks Windows stations take, so two work areas of one process exclude each
// other exactly as two stations do. Unlike Windows, locks of one owner merge
// and an unlock removes every own lock inside its range: callers keep their own
// lock state and never unlock a range covering another of their locks.
//
// Where a mount refuses OFD locks (F_OFD_SETLK answers EINVAL, as some SMB
// mounts do), the file switches once, at that first answer, to classic record
// locks kept in a per-process table (ClassicLocks.h) that restores both
// properties above: handles of one process exclude each other, and closing
// one descriptor never drops another handle's locks.
//
// The lock map and the error codes are in Files.h.
#pragma once

#include "platform/Files.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace qb::platform {

// Test interface: while on, every file locks through the classic-lock
// fallback from its first lock on, as on a mount that refuses OFD locks.
// The environment variable QB_TEST_CLASSIC_LOCKS=1 switches it on for a whole
// process (and for the processes a test starts). Not for production use.
void forceClassicLocksForTests(bool on);
bool classicLocksForced();

// One open file description. Not copyable; movable. Not thread-safe: each
// instance is used by one thread at a time.
class PosixFile {
public:
    PosixFile() = default;
    ~PosixFile();
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;
    PosixFile(PosixFile&& other) noexcept;
    PosixFile& operator=(PosixFile&& other) noexcept;

    // Opens an existing file. Returns 0 or an error code (2, 3, 5, 32, ...).
    // The share-mode lock is taken before anything is read.
    // A file replaced between the open and the share lock (by another
    // station's pack) is opened again, so nothing is written into the
    // unlinked old file.
    int open(const std::string& path, Access access, Share share);
    // Creates or truncates a file for reading and writing (no share byte).
    int create(const std::string& path);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    const std::string& path() const { return m_path; }

    // Size from fstat on the descriptor; -1 on failure (errno kept).
    std::int64_t size() const;
    // Size as above, but an empty file is given a moment (up to about 200 ms)
    // to get its content: on shares without hard links a new file is created
    // empty and written in one write just after (publishNewFile).
    std::int64_t sizeOnceWritten() const;
    // Last-write time in 100 ns units since 1601-01-01 UTC, from fstat; 0 on failure.
    std::uint64_t lastWriteTime() const;

    // Reads up to n bytes at off; returns bytes read or -1 (errno kept).
    // Retries briefly on EACCES, which SMB answers for a byte another
    // station has locked.
    std::int64_t readAt(std::int64_t off, void* buf, std::size_t n) const;
    // Writes all n bytes at off. Returns 0 or an error code (101 on a short write).
    int writeAt(std::int64_t off, const void* buf, std::size_t n);
    int truncate(std::int64_t length);
    // Renames the open file to newPath (replacing what is there) and keeps
    // the descriptor and its locks, so the file is never unlocked under its
    // new name. Returns 0 or an error code; path() follows on success.
    int renameTo(const std::string& newPath);
    int sync();

    // Non-blocking exclusive lock of [off, off+len). Busy when another open
    // file description holds any part; Lost on EIO/ENOLCK and the like.
    LockResult lock(std::int64_t off, std::int64_t len);
    // Shared (read) lock, used for the share-mode byte.
    LockResult lockShared(std::int64_t off, std::int64_t len);
    // Returns 0 or an error code.
    int unlock(std::int64_t off, std::int64_t len);
    // Asks whether another description holds a lock overlapping the range,
    // without taking it. Returns true when one does and fills its pid (-1 if unknown).
    bool probe(std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder = nullptr) const;
    // True once this file locks through the classic-lock fallback.
    bool usesClassicLocks() const { return m_classicOwner != 0; }

private:
    int openOnce(const std::string& path, Access access, Share share);
    LockResult setLock(short type, std::int64_t off, std::int64_t len);
    // Moves this file to the classic-lock fallback; false when that fails.
    bool switchToClassicLocks() const;
    int m_fd = -1;
    std::string m_path;
    // Nonzero: this file's owner id in the classic-lock table.
    mutable std::uint64_t m_classicOwner = 0;
};

// Closes a descriptor opened outside PosixFile. Every descriptor of a table
// file must be closed this way: under the classic-lock fallback a plain
// close() would drop every lock this process holds on the file, through any
// handle. Returns what close() returned (errno kept).
int closeDescriptor(int fd);

} // namespace qb::platform
