#include "ClassicLocks.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qb::platform::classic {

namespace {

constexpr std::int64_t kToEnd = std::numeric_limits<std::int64_t>::max();

struct Region {
    std::uint64_t owner;
    std::int64_t start;
    std::int64_t end; // exclusive; kToEnd for "to the end of any file"
    bool exclusive;
};

struct Parked {
    int fd;
    int accessFlags;
};

struct FileEntry {
    std::vector<Region> regions;
    std::vector<std::uint64_t> owners;
    std::vector<Parked> parked;
};

using Key = std::pair<dev_t, ino_t>;

std::mutex g_mutex;
std::map<Key, FileEntry> g_files;
// The file of each attached owner, so that locking needs no fstat (a round
// trip to the server on some network mounts).
std::map<std::uint64_t, Key> g_ownerFiles;
// Entries in g_files; lets closeDescriptor skip fstat while nobody uses the fallback.
std::atomic<std::size_t> g_entries{0};
std::atomic<std::uint64_t> g_nextOwner{1};

std::int64_t endOf(std::int64_t off, std::int64_t len)
{
    if (len <= 0 || off > kToEnd - len)
        return kToEnd;
    return off + len;
}

bool keyOf(int fd, Key& key)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return false;
    key = {st.st_dev, st.st_ino};
    return true;
}

// Classic F_SETLK / F_GETLK on [start, end).
int setKernelLock(int fd, short type, std::int64_t start, std::int64_t end)
{
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = end == kToEnd ? 0 : end - start;
    for (;;) {
        if (::fcntl(fd, F_SETLK, &fl) == 0)
            return 0;
        if (errno != EINTR)
            return errno;
    }
}

bool overlaps(const Region& r, std::int64_t start, std::int64_t end) { return r.start < end && start < r.end; }

// Removes the owner's share of [start, end), splitting regions that reach
// beyond it (an unlock inside a lock leaves the two ends locked).
void cut(FileEntry& e, std::uint64_t owner, std::int64_t start, std::int64_t end)
{
    std::vector<Region> kept;
    kept.reserve(e.regions.size() + 1);
    for (const Region& r : e.regions) {
        if (r.owner != owner || !overlaps(r, start, end)) {
            kept.push_back(r);
            continue;
        }
        if (r.start < start)
            kept.push_back({r.owner, r.start, start, r.exclusive});
        if (r.end > end)
            kept.push_back({r.owner, end, r.end, r.exclusive});
    }
    e.regions = std::move(kept);
}

// Unlocks in the kernel the parts of [start, end) that no region of this
// process covers any more. Where some handle still holds a region the kernel
// lock stays as it is: its type is still right, because an exclusive region
// never shares a byte with another handle's region.
int releaseUncovered(const FileEntry& e, int fd, std::int64_t start, std::int64_t end)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> covered;
    for (const Region& r : e.regions)
        if (overlaps(r, start, end))
            covered.emplace_back(std::max(r.start, start), std::min(r.end, end));
    std::sort(covered.begin(), covered.end());
    int rc = 0;
    std::int64_t pos = start;
    auto freeUpTo = [&](std::int64_t upTo) {
        if (upTo > pos)
            if (int err = setKernelLock(fd, F_UNLCK, pos, upTo))
                rc = err;
    };
    for (const auto& [s, en] : covered) {
        freeUpTo(s);
        pos = std::max(pos, en);
    }
    freeUpTo(end);
    return rc;
}

void closeParked(FileEntry& e)
{
    for (const Parked& p : e.parked)
        ::close(p.fd);
    e.parked.clear();
}

void eraseIfUnused(std::map<Key, FileEntry>::iterator it)
{
    const FileEntry& e = it->second;
    if (e.owners.empty() && e.regions.empty() && e.parked.empty()) {
        g_files.erase(it);
        --g_entries;
    }
}

std::map<Key, FileEntry>::iterator entryOfOwner(std::uint64_t owner)
{
    auto k = g_ownerFiles.find(owner);
    return k == g_ownerFiles.end() ? g_files.end() : g_files.find(k->second);
}

std::map<Key, FileEntry>::iterator entryOf(int fd)
{
    Key key;
    if (!keyOf(fd, key))
        return g_files.end();
    return g_files.find(key);
}

} // namespace

std::uint64_t newOwner() { return g_nextOwner++; }

bool attach(std::uint64_t owner, int fd)
{
    Key key;
    if (!keyOf(fd, key))
        return false;
    std::lock_guard guard(g_mutex);
    auto [it, inserted] = g_files.try_emplace(key);
    if (inserted)
        ++g_entries;
    auto& owners = it->second.owners;
    if (std::find(owners.begin(), owners.end(), owner) == owners.end())
        owners.push_back(owner);
    g_ownerFiles[owner] = key;
    return true;
}

LockResult lock(std::uint64_t owner, int fd, bool exclusive, std::int64_t off, std::int64_t len)
{
    const std::int64_t start = off, end = endOf(off, len);
    std::lock_guard guard(g_mutex);
    auto it = entryOfOwner(owner);
    if (it == g_files.end()) {
        errno = EBADF;
        return LockResult::Lost;
    }
    FileEntry& e = it->second;
    for (const Region& r : e.regions)
        if (r.owner != owner && overlaps(r, start, end) && (exclusive || r.exclusive))
            return LockResult::Busy; // another handle of this process: the kernel would not say so
    if (int err = setKernelLock(fd, exclusive ? F_WRLCK : F_RDLCK, start, end)) {
        errno = err;
        return err == EAGAIN || err == EACCES ? LockResult::Busy : LockResult::Lost;
    }
    cut(e, owner, start, end);
    e.regions.push_back({owner, start, end, exclusive});
    return LockResult::Locked;
}

int unlock(std::uint64_t owner, int fd, std::int64_t off, std::int64_t len)
{
    const std::int64_t start = off, end = endOf(off, len);
    std::lock_guard guard(g_mutex);
    auto it = entryOfOwner(owner);
    if (it == g_files.end())
        return errnoToCode(EBADF);
    FileEntry& e = it->second;
    cut(e, owner, start, end);
    int rc = releaseUncovered(e, fd, start, end);
    if (e.regions.empty())
        closeParked(e);
    return rc ? errnoToCode(rc) : 0;
}

bool probe(std::uint64_t owner, int fd, std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder)
{
    const std::int64_t start = off, end = endOf(off, len);
    {
        std::lock_guard guard(g_mutex);
        auto it = entryOfOwner(owner);
        if (it != g_files.end()) {
            for (const Region& r : it->second.regions) {
                if (r.owner != owner && overlaps(r, start, end) && (forWrite || r.exclusive)) {
                    if (holder)
                        *holder = ::getpid();
                    return true;
                }
            }
        }
    }
    struct flock fl {};
    fl.l_type = forWrite ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = end == kToEnd ? 0 : end - start;
    if (::fcntl(fd, F_GETLK, &fl) != 0 || fl.l_type == F_UNLCK)
        return false;
    if (holder)
        *holder = fl.l_pid;
    return true;
}

void detach(std::uint64_t owner, int fd)
{
    std::lock_guard guard(g_mutex);
    auto it = entryOfOwner(owner);
    g_ownerFiles.erase(owner);
    if (it == g_files.end())
        return;
    FileEntry& e = it->second;
    std::vector<Region> mine;
    for (const Region& r : e.regions)
        if (r.owner == owner)
            mine.push_back(r);
    for (const Region& r : mine) {
        cut(e, owner, r.start, r.end);
        releaseUncovered(e, fd, r.start, r.end);
    }
    e.owners.erase(std::remove(e.owners.begin(), e.owners.end(), owner), e.owners.end());
}

int closeDescriptor(int fd)
{
    if (fd < 0)
        return 0;
    if (g_entries.load() == 0)
        return ::close(fd);
    std::lock_guard guard(g_mutex);
    auto it = entryOf(fd);
    if (it == g_files.end())
        return ::close(fd);
    FileEntry& e = it->second;
    if (!e.regions.empty()) {
        // Closing it now would drop every lock this process holds on the file.
        int flags = ::fcntl(fd, F_GETFL);
        e.parked.push_back({fd, flags < 0 ? -1 : (flags & O_ACCMODE)});
        return 0;
    }
    int rc = ::close(fd);
    int saved = errno;
    closeParked(e);
    eraseIfUnused(it);
    errno = saved;
    return rc;
}

int takeParked(const std::string& path, int accessFlags)
{
    if (g_entries.load() == 0)
        return -1;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return -1;
    std::lock_guard guard(g_mutex);
    auto it = g_files.find({st.st_dev, st.st_ino});
    if (it == g_files.end())
        return -1;
    auto& parked = it->second.parked;
    for (auto p = parked.begin(); p != parked.end(); ++p) {
        if (p->accessFlags == accessFlags) {
            int fd = p->fd;
            parked.erase(p);
            return fd;
        }
    }
    return -1;
}

} // namespace qb::platform::classic
