#include "PosixFile.h"

#include "ClassicLocks.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace qb::platform {

int errnoToCode(int err)
{
    switch (err) {
    case 0: return 0;
    case ENOENT: return oserr::kFileNotFound;
    case ENOTDIR: return oserr::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return oserr::kAccessDenied;
    case EMFILE:
    case ENFILE: return oserr::kTooManyOpenFiles;
    case ENOSPC:
    case EDQUOT:
    case EFBIG: return oserr::kWriteFault;
    case EIO: return oserr::kReadFault;
    default: return err;
    }
}

std::uint64_t toFileTime(std::int64_t sec, long nsec)
{
    constexpr std::int64_t kEpochDiff = 11644473600LL; // 1601 -> 1970 in seconds
    return static_cast<std::uint64_t>(sec + kEpochDiff) * 10000000ULL + static_cast<std::uint64_t>(nsec / 100);
}

namespace {
std::atomic<bool> g_forceClassic{[] {
    const char* v = std::getenv("QB_TEST_CLASSIC_LOCKS");
    return v && std::strcmp(v, "1") == 0;
}()};
} // namespace

void forceClassicLocksForTests(bool on) { g_forceClassic = on; }
bool classicLocksForced() { return g_forceClassic; }

int closeDescriptor(int fd) { return classic::closeDescriptor(fd); }

PosixFile::~PosixFile() { close(); }

PosixFile::PosixFile(PosixFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)),
      m_classicOwner(std::exchange(other.m_classicOwner, 0)) {}

PosixFile& PosixFile::operator=(PosixFile&& other) noexcept
{
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_classicOwner = std::exchange(other.m_classicOwner, 0);
    }
    return *this;
}

namespace {

// True when the open descriptor is no longer the file the path names: a
// pack renamed its packed copy into place between our open and our share
// lock, and writing through this descriptor would go into the unlinked old
// file, lost to every other station.
bool replacedUnderUs(int fd, const std::string& path)
{
    struct stat held {}, named {};
    if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0)
        return false;
    return held.st_dev != named.st_dev || held.st_ino != named.st_ino;
}

} // namespace

int PosixFile::open(const std::string& path, Access access, Share share)
{
    // A replaced file is opened again; after a few tries the identities are
    // taken as unreliable (some network mounts invent inode numbers) and the
    // descriptor is kept as it is.
    int rc = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        rc = openOnce(path, access, share);
        if (rc != 0 || share == Share::NoSharing || !replacedUnderUs(m_fd, path))
            return rc;
        close();
    }
    return openOnce(path, access, share);
}

int PosixFile::openOnce(const std::string& path, Access access, Share share)
{
    close();
    int flags = (access == Access::ReadOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC;
    // Under classic locks a descriptor of this file may be parked, kept open
    // so that its close does not drop our locks: take it instead of a new one.
    int fd = classic::takeParked(path, flags & O_ACCMODE);
    if (fd < 0)
        fd = ::open(path.c_str(), flags);
    if (fd < 0)
        return errnoToCode(errno);
    m_fd = fd;
    m_path = path;
    if (share == Share::NoSharing)
        return 0;
    // The write lock needs a writable descriptor; a read-only exclusive open
    // falls back to the read lock.
    LockResult r = (share == Share::DenyAll && access == Access::ReadWrite)
                       ? lock(kShareModeByte, 1)
                       : lockShared(kShareModeByte, 1);
    if (r == LockResult::Locked)
        return 0;
    int saved = errno;
    close();
    return r == LockResult::Busy ? oserr::kSharingViolation : errnoToCode(saved ? saved : EIO);
}

int PosixFile::create(const std::string& path)
{
    close();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return errnoToCode(errno);
    m_fd = fd;
    m_path = path;
    return 0;
}

int PosixFile::renameTo(const std::string& newPath)
{
    if (::rename(m_path.c_str(), newPath.c_str()) != 0)
        return errnoToCode(errno);
    m_path = newPath;
    return 0;
}

void PosixFile::close()
{
    if (m_fd >= 0) {
        if (m_classicOwner)
            classic::detach(std::exchange(m_classicOwner, 0), m_fd);
        // Releases every OFD lock of this description. Under classic locks
        // the descriptor stays open while other handles of this process hold
        // locks on the file, since closing it would drop theirs.
        classic::closeDescriptor(m_fd);
        m_fd = -1;
    }
}

std::int64_t PosixFile::size() const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

std::int64_t PosixFile::sizeOnceWritten() const
{
    std::int64_t n = size();
    for (int tries = 0; n == 0 && tries < 40; ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        n = size();
    }
    return n;
}

std::uint64_t PosixFile::lastWriteTime() const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return 0;
    return toFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
}

std::int64_t PosixFile::readAt(std::int64_t off, void* buf, std::size_t n) const
{
    auto* p = static_cast<char*>(buf);
    std::size_t done = 0;
    int busyTries = 0;
    while (done < n) {
        ssize_t r = ::pread(m_fd, p + done, n - done, off + static_cast<std::int64_t>(done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EACCES && busyTries++ < 20) { // mandatory SMB lock on that byte
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
                continue;
            }
            return -1;
        }
        if (r == 0)
            break;
        done += static_cast<std::size_t>(r);
    }
    return static_cast<std::int64_t>(done);
}

int PosixFile::writeAt(std::int64_t off, const void* buf, std::size_t n)
{
    const auto* p = static_cast<const char*>(buf);
    std::size_t done = 0;
    while (done < n) {
        ssize_t r = ::pwrite(m_fd, p + done, n - done, off + static_cast<std::int64_t>(done));
        if (r < 0) {
            if (errno == EINTR)
                continue;
            return errnoToCode(errno) == oserr::kReadFault ? oserr::kWriteFault : errnoToCode(errno);
        }
        if (r == 0)
            return oserr::kWriteFault;
        done += static_cast<std::size_t>(r);
    }
    return 0;
}

int PosixFile::truncate(std::int64_t length)
{
    return ::ftruncate(m_fd, length) == 0 ? 0 : errnoToCode(errno);
}

int PosixFile::sync()
{
    return ::fsync(m_fd) == 0 ? 0 : errnoToCode(errno);
}

bool PosixFile::switchToClassicLocks() const
{
    if (m_classicOwner)
        return true;
    std::uint64_t owner = classic::newOwner();
    if (!classic::attach(owner, m_fd))
        return false;
    m_classicOwner = owner;
    return true;
}

LockResult PosixFile::setLock(short type, std::int64_t off, std::int64_t len)
{
    if (!m_classicOwner && classicLocksForced() && !switchToClassicLocks())
        return LockResult::Lost;
    if (m_classicOwner)
        return classic::lock(m_classicOwner, m_fd, type == F_WRLCK, off, len);
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = off;
    fl.l_len = len;
    fl.l_pid = 0; // required for OFD locks
    for (;;) {
        if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0)
            return LockResult::Locked;
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EACCES)
            return LockResult::Busy;
        // This mount has no OFD locks: from now on this file takes classic ones.
        if (errno == EINVAL && switchToClassicLocks())
            return classic::lock(m_classicOwner, m_fd, type == F_WRLCK, off, len);
        return LockResult::Lost;
    }
}

LockResult PosixFile::lock(std::int64_t off, std::int64_t len) { return setLock(F_WRLCK, off, len); }

LockResult PosixFile::lockShared(std::int64_t off, std::int64_t len) { return setLock(F_RDLCK, off, len); }

int PosixFile::unlock(std::int64_t off, std::int64_t len)
{
    if (m_classicOwner)
        return classic::unlock(m_classicOwner, m_fd, off, len);
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = off;
    fl.l_len = len;
    while (::fcntl(m_fd, F_OFD_SETLK, &fl) != 0) {
        if (errno == EINVAL && switchToClassicLocks())
            return classic::unlock(m_classicOwner, m_fd, off, len);
        if (errno != EINTR)
            return errnoToCode(errno);
    }
    return 0;
}

bool PosixFile::probe(std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder) const
{
    if (!m_classicOwner && classicLocksForced())
        switchToClassicLocks();
    if (m_classicOwner)
        return classic::probe(m_classicOwner, m_fd, off, len, forWrite, holder);
    struct flock fl {};
    fl.l_type = forWrite ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = off;
    fl.l_len = len;
    fl.l_pid = 0;
    if (::fcntl(m_fd, F_OFD_GETLK, &fl) != 0) {
        if (errno == EINVAL && switchToClassicLocks())
            return classic::probe(m_classicOwner, m_fd, off, len, forWrite, holder);
        return false;
    }
    if (fl.l_type == F_UNLCK)
        return false;
    if (holder)
        *holder = fl.l_pid;
    return true;
}

} // namespace qb::platform
