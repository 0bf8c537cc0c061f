// The files the engine works through: one interface with a POSIX
// implementation (PosixFileSystem.cpp, the real share), an in-memory one and a
// fault-injecting wrapper (MemoryFileSystem.h, FaultyFileSystem.h; a separate
// library that programs do not link). The engine never calls the operating
// system for its tables directly, so every read, write, sync, rename and lock
// it makes can be made to fail in a test.
//
// Lock map (offsets in the table file; other stations, Windows ones included,
// rely on every byte; moving any of these silently breaks locking):
//   0x3FFFFFFF, 1                 share-mode byte: read lock for shared and
//                                 read-only opens, write lock for exclusive
//                                 ones (our stand-in for the Windows
//                                 deny-read-write sharing mode)
//   0x40000001, 1                 append lock
//   0x40000001, 0x3FFFFFFF        file lock (covers the append byte)
//   0x40000000 + H + (n-1)*R, R   record n (H header, R record length); never
//                                 touches the append byte, overlaps a file lock
//   memo file byte 10             memo lock
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qb::platform {

namespace lockmap {
constexpr std::int64_t kShareModeByte = 0x3FFFFFFF;
constexpr std::int64_t kLockBase = 0x40000000;
constexpr std::int64_t kAppendLockOffset = 0x40000001;
constexpr std::int64_t kFileLockLength = 0x3FFFFFFF;
constexpr std::int64_t kMemoLockOffset = 10;
// Region of record n of a table with header length h and record length r.
constexpr std::int64_t recordLockOffset(std::int64_t h, std::int64_t r, std::int64_t n)
{
    return kLockBase + h + (n - 1) * r;
}
} // namespace lockmap
constexpr std::int64_t kShareModeByte = lockmap::kShareModeByte;

// Windows-style error codes that file operations report; other errno values
// pass through as they are. The engine's own codes (Engine.h) build on these.
namespace oserr {
constexpr int kFileNotFound = 2;
constexpr int kPathNotFound = 3;
constexpr int kTooManyOpenFiles = 4;
constexpr int kAccessDenied = 5;
constexpr int kSharingViolation = 32;
constexpr int kLockViolation = 33;
constexpr int kFileExists = 80;
constexpr int kReadFault = 100;
constexpr int kWriteFault = 101;
} // namespace oserr
constexpr int kFileExists = oserr::kFileExists;

// Maps an errno value onto the codes above.
int errnoToCode(int err);
// Converts a struct timespec (seconds, nanoseconds since 1970) to 100 ns units since 1601.
std::uint64_t toFileTime(std::int64_t sec, long nsec);

enum class Access { ReadOnly, ReadWrite };
enum class Share {
    DenyNone,  // shared open: read lock on the share-mode byte
    DenyAll,   // exclusive open: write lock on the share-mode byte, no waiting
    NoSharing  // no share-mode byte at all (network locking off, new files)
};

enum class LockResult { Locked, Busy, Lost };

// What tells one file apart from its replacement: the pack's marker names the
// files it replaces by this.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = -1;
    std::int64_t mtimeNs = 0; // last write, ns since 1970
};

// One open file description. Not thread-safe.
class File {
public:
    virtual ~File() = default;
    virtual const std::string& path() const = 0;

    // Size from the attributes (fstat); -1 on failure. May be answered from
    // a network client's attribute cache: fine for reading, not for deciding
    // where to write (see endOffset).
    virtual std::int64_t size() const = 0;
    // Size as above, but an empty file is given a moment to get its content:
    // on shares without hard links a new file is created empty and written
    // in one write just after.
    virtual std::int64_t sizeOnceWritten() const { return size(); }
    // Size by seeking to the end, which the NFS and SMB clients revalidate
    // with the server; -1 on failure.
    virtual std::int64_t endOffset() = 0;
    // Returns 0 or an error code.
    virtual int identity(FileIdentity& out) const = 0;
    // Last-write time in 100 ns units since 1601-01-01 UTC; 0 on failure.
    virtual std::uint64_t lastWriteTime() const = 0;
    // Permission bits; -1 on failure.
    virtual int mode() const = 0;
    virtual int setMode(int mode) = 0;

    // Reads up to n bytes at off; returns bytes read or -1.
    virtual std::int64_t readAt(std::int64_t off, void* buf, std::size_t n) const = 0;
    // Writes all n bytes at off. Returns 0 or an error code (101 on a short write).
    virtual int writeAt(std::int64_t off, const void* buf, std::size_t n) = 0;
    virtual int truncate(std::int64_t length) = 0;
    virtual int sync() = 0;
    // Renames the open file (replacing what is at newPath) and keeps the
    // description and its locks. Returns 0 or an error code.
    virtual int renameTo(const std::string& newPath) = 0;

    // Non-blocking exclusive lock of [off, off+len). Busy when another open
    // file description holds any part; Lost when the system refuses outright
    // (EIO, ENOLCK): the lock is gone, not merely taken.
    virtual LockResult lock(std::int64_t off, std::int64_t len) = 0;
    virtual LockResult lockShared(std::int64_t off, std::int64_t len) = 0;
    // Returns 0 or an error code.
    virtual int unlock(std::int64_t off, std::int64_t len) = 0;
    // Whether another description holds a lock overlapping the range.
    virtual bool probe(std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder = nullptr) const = 0;
};

// Where files are opened, created, renamed and listed.
class FileSystem {
public:
    virtual ~FileSystem() = default;
    // The real one.
    static FileSystem& posix();

    // Opens an existing file; the share-mode lock is taken before anything
    // is read. Returns 0 or an error code (2, 3, 5, 32, ...).
    virtual int open(const std::string& path, Access access, Share share, std::unique_ptr<File>& out) = 0;
    // Creates or truncates a file for reading and writing (no share byte).
    virtual int create(const std::string& path, std::unique_ptr<File>& out) = 0;
    // Creates a file that must not exist yet (kFileExists when it does).
    virtual int createNew(const std::string& path, std::unique_ptr<File>& out) = 0;
    // Makes a file with exactly these bytes appear at path at once, or not
    // at all; kFileExists (and nothing changed) when path exists.
    virtual int publish(const std::string& path, const std::string& bytes) = 0;
    virtual int rename(const std::string& from, const std::string& to) = 0;
    // Returns 0, kFileNotFound or another error code.
    virtual int remove(const std::string& path) = 0;
    // Identity of whatever is at path (not following a last symlink).
    virtual int stat(const std::string& path, FileIdentity& out) = 0;
    virtual bool exists(const std::string& path) = 0;
    // Names in a directory ("." and ".." left out); empty when unreadable.
    virtual std::vector<std::string> list(const std::string& dir) = 0;
    // Makes creations, renames and removals in the directory of path durable.
    virtual int syncDirectoryOf(const std::string& path) = 0;
};

// An owned File with the calls of the file itself, so that code holding one
// reads like code holding a descriptor. Calls on a closed handle fail.
class FileHandle {
public:
    FileHandle() = default;
    int open(FileSystem& fs, const std::string& path, Access access, Share share)
    {
        m_file.reset();
        return fs.open(path, access, share, m_file);
    }
    int create(FileSystem& fs, const std::string& path)
    {
        m_file.reset();
        return fs.create(path, m_file);
    }
    int createNew(FileSystem& fs, const std::string& path)
    {
        m_file.reset();
        return fs.createNew(path, m_file);
    }
    void close() { m_file.reset(); }
    bool isOpen() const { return m_file != nullptr; }

    const std::string& path() const;
    std::int64_t size() const { return m_file ? m_file->size() : -1; }
    std::int64_t sizeOnceWritten() const { return m_file ? m_file->sizeOnceWritten() : -1; }
    std::int64_t endOffset() { return m_file ? m_file->endOffset() : -1; }
    int identity(FileIdentity& out) const { return m_file ? m_file->identity(out) : kClosed; }
    std::uint64_t lastWriteTime() const { return m_file ? m_file->lastWriteTime() : 0; }
    int mode() const { return m_file ? m_file->mode() : -1; }
    int setMode(int mode) { return m_file ? m_file->setMode(mode) : kClosed; }
    std::int64_t readAt(std::int64_t off, void* buf, std::size_t n) const
    {
        return m_file ? m_file->readAt(off, buf, n) : -1;
    }
    int writeAt(std::int64_t off, const void* buf, std::size_t n) { return m_file ? m_file->writeAt(off, buf, n) : kClosed; }
    int truncate(std::int64_t length) { return m_file ? m_file->truncate(length) : kClosed; }
    int sync() { return m_file ? m_file->sync() : kClosed; }
    int renameTo(const std::string& newPath) { return m_file ? m_file->renameTo(newPath) : kClosed; }
    LockResult lock(std::int64_t off, std::int64_t len) { return m_file ? m_file->lock(off, len) : LockResult::Lost; }
    LockResult lockShared(std::int64_t off, std::int64_t len)
    {
        return m_file ? m_file->lockShared(off, len) : LockResult::Lost;
    }
    int unlock(std::int64_t off, std::int64_t len) { return m_file ? m_file->unlock(off, len) : kClosed; }
    bool probe(std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder = nullptr) const
    {
        return m_file && m_file->probe(off, len, forWrite, holder);
    }

private:
    static constexpr int kClosed = 6; // "invalid handle"
    std::unique_ptr<File> m_file;
};

} // namespace qb::platform
