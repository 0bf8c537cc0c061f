#include "MemoryFileSystem.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <unistd.h>

namespace qb::platform {

namespace {

struct Range {
    const void* owner;
    std::int64_t off, end; // [off, end)
    bool write;
};

struct Node {
    std::string data;
    std::uint64_t inode = 0;
    std::int64_t mtimeNs = 0;
    int mode = 0666;
    std::vector<Range> locks;
};

std::int64_t endOf(std::int64_t off, std::int64_t len)
{
    return len <= 0 ? INT64_MAX : off + len;
}

} // namespace

struct MemoryFileSystem::State {
    mutable std::mutex mutex;
    std::map<std::string, std::shared_ptr<Node>> files;
    std::uint64_t nextInode = 1;
    std::int64_t lastStamp = 0;

    // Last-write times that always move forward, whatever the clock does.
    std::int64_t stamp()
    {
        auto now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
        lastStamp = std::max<std::int64_t>(now, lastStamp + 1);
        return lastStamp;
    }
    std::shared_ptr<Node> newNode()
    {
        auto n = std::make_shared<Node>();
        n->inode = nextInode++;
        n->mtimeNs = stamp();
        return n;
    }
};

namespace {

class MemoryFile final : public File {
public:
    MemoryFile(std::shared_ptr<MemoryFileSystem::State> state, std::shared_ptr<Node> node, std::string path,
               Access access)
        : m_state(std::move(state)), m_node(std::move(node)), m_path(std::move(path)), m_access(access)
    {
    }
    ~MemoryFile() override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        auto& locks = m_node->locks;
        locks.erase(std::remove_if(locks.begin(), locks.end(), [this](const Range& r) { return r.owner == this; }),
                    locks.end());
    }

    const std::string& path() const override { return m_path; }
    std::int64_t size() const override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        return static_cast<std::int64_t>(m_node->data.size());
    }
    std::int64_t endOffset() override { return size(); }
    int identity(FileIdentity& out) const override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        out.device = 1;
        out.inode = m_node->inode;
        out.size = static_cast<std::int64_t>(m_node->data.size());
        out.mtimeNs = m_node->mtimeNs;
        return 0;
    }
    std::uint64_t lastWriteTime() const override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        return toFileTime(m_node->mtimeNs / 1000000000, static_cast<long>(m_node->mtimeNs % 1000000000));
    }
    int mode() const override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        return m_node->mode;
    }
    int setMode(int mode) override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        m_node->mode = mode & 07777;
        return 0;
    }
    std::int64_t readAt(std::int64_t off, void* buf, std::size_t n) const override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        if (off < 0) {
            errno = EINVAL;
            return -1;
        }
        const auto& d = m_node->data;
        if (static_cast<std::uint64_t>(off) >= d.size())
            return 0;
        std::size_t k = std::min(n, d.size() - static_cast<std::size_t>(off));
        std::memcpy(buf, d.data() + off, k);
        return static_cast<std::int64_t>(k);
    }
    int writeAt(std::int64_t off, const void* buf, std::size_t n) override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        if (m_access == Access::ReadOnly)
            return errnoToCode(EBADF);
        if (off < 0 || off > (std::int64_t{1} << 40))
            return errnoToCode(EFBIG);
        auto& d = m_node->data;
        if (d.size() < static_cast<std::size_t>(off) + n)
            d.resize(static_cast<std::size_t>(off) + n, '\0');
        std::memcpy(d.data() + off, buf, n);
        m_node->mtimeNs = m_state->stamp();
        return 0;
    }
    int truncate(std::int64_t length) override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        if (m_access == Access::ReadOnly)
            return errnoToCode(EBADF);
        m_node->data.resize(static_cast<std::size_t>(std::max<std::int64_t>(0, length)), '\0');
        m_node->mtimeNs = m_state->stamp();
        return 0;
    }
    int sync() override { return 0; }
    int renameTo(const std::string& newPath) override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        auto it = m_state->files.find(m_path);
        if (it == m_state->files.end() || it->second != m_node)
            return oserr::kFileNotFound;
        m_state->files.erase(it);
        m_state->files[newPath] = m_node;
        m_path = newPath;
        return 0;
    }

    LockResult lock(std::int64_t off, std::int64_t len) override { return setLock(off, len, true); }
    LockResult lockShared(std::int64_t off, std::int64_t len) override { return setLock(off, len, false); }
    int unlock(std::int64_t off, std::int64_t len) override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        cut(off, endOf(off, len));
        return 0;
    }
    bool probe(std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder) const override
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        if (conflicts(off, endOf(off, len), forWrite)) {
            if (holder)
                *holder = ::getpid();
            return true;
        }
        return false;
    }

private:
    bool conflicts(std::int64_t off, std::int64_t end, bool write) const
    {
        return std::any_of(m_node->locks.begin(), m_node->locks.end(), [&](const Range& r) {
            return r.owner != this && r.off < end && off < r.end && (write || r.write);
        });
    }
    // Removes own locks inside [off, end), splitting those that stick out.
    void cut(std::int64_t off, std::int64_t end)
    {
        std::vector<Range> kept;
        for (const Range& r : m_node->locks) {
            if (r.owner != this || r.end <= off || end <= r.off) {
                kept.push_back(r);
                continue;
            }
            if (r.off < off)
                kept.push_back({r.owner, r.off, off, r.write});
            if (end < r.end)
                kept.push_back({r.owner, end, r.end, r.write});
        }
        m_node->locks = std::move(kept);
    }
    LockResult setLock(std::int64_t off, std::int64_t len, bool write)
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        if (write && m_access == Access::ReadOnly) {
            errno = EBADF;
            return LockResult::Lost;
        }
        const std::int64_t end = endOf(off, len);
        if (conflicts(off, end, write)) {
            errno = EAGAIN;
            return LockResult::Busy;
        }
        cut(off, end);
        m_node->locks.push_back({this, off, end, write});
        return LockResult::Locked;
    }

    std::shared_ptr<MemoryFileSystem::State> m_state;
    std::shared_ptr<Node> m_node;
    std::string m_path;
    Access m_access;
};

} // namespace

MemoryFileSystem::MemoryFileSystem() : m_state(std::make_shared<State>()) {}
MemoryFileSystem::~MemoryFileSystem() = default;

int MemoryFileSystem::open(const std::string& path, Access access, Share share, std::unique_ptr<File>& out)
{
    std::shared_ptr<Node> node;
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        auto it = m_state->files.find(path);
        if (it == m_state->files.end())
            return oserr::kFileNotFound;
        node = it->second;
    }
    auto f = std::make_unique<MemoryFile>(m_state, node, path, access);
    if (share != Share::NoSharing) {
        // As the POSIX files: a read lock on the share-mode byte for shared
        // opens, a write lock for exclusive ones.
        LockResult r = share == Share::DenyAll && access == Access::ReadWrite ? f->lock(kShareModeByte, 1)
                                                                            : f->lockShared(kShareModeByte, 1);
        if (r != LockResult::Locked)
            return oserr::kSharingViolation;
    }
    out = std::move(f);
    return 0;
}

int MemoryFileSystem::create(const std::string& path, std::unique_ptr<File>& out)
{
    std::shared_ptr<Node> node;
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        auto& slot = m_state->files[path];
        if (!slot)
            slot = m_state->newNode();
        slot->data.clear();
        slot->mtimeNs = m_state->stamp();
        node = slot;
    }
    out = std::make_unique<MemoryFile>(m_state, node, path, Access::ReadWrite);
    return 0;
}

int MemoryFileSystem::createNew(const std::string& path, std::unique_ptr<File>& out)
{
    std::shared_ptr<Node> node;
    {
        std::lock_guard<std::mutex> g(m_state->mutex);
        if (m_state->files.count(path))
            return kFileExists;
        node = m_state->files[path] = m_state->newNode();
    }
    out = std::make_unique<MemoryFile>(m_state, node, path, Access::ReadWrite);
    return 0;
}

int MemoryFileSystem::publish(const std::string& path, const std::string& bytes)
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    if (m_state->files.count(path))
        return kFileExists;
    auto node = m_state->newNode();
    node->data = bytes;
    m_state->files[path] = node;
    return 0;
}

int MemoryFileSystem::rename(const std::string& from, const std::string& to)
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    auto it = m_state->files.find(from);
    if (it == m_state->files.end())
        return oserr::kFileNotFound;
    auto node = it->second;
    m_state->files.erase(it);
    m_state->files[to] = node;
    return 0;
}

int MemoryFileSystem::remove(const std::string& path)
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    return m_state->files.erase(path) ? 0 : oserr::kFileNotFound;
}

int MemoryFileSystem::stat(const std::string& path, FileIdentity& out)
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    auto it = m_state->files.find(path);
    if (it == m_state->files.end())
        return oserr::kFileNotFound;
    out.device = 1;
    out.inode = it->second->inode;
    out.size = static_cast<std::int64_t>(it->second->data.size());
    out.mtimeNs = it->second->mtimeNs;
    return 0;
}

bool MemoryFileSystem::exists(const std::string& path)
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    return m_state->files.count(path) != 0;
}

std::vector<std::string> MemoryFileSystem::list(const std::string& dir)
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    std::vector<std::string> names;
    const std::string prefix = dir == "." ? std::string() : (dir.back() == '/' ? dir : dir + "/");
    for (const auto& [path, node] : m_state->files) {
        if (path.compare(0, prefix.size(), prefix) != 0)
            continue;
        std::string rest = path.substr(prefix.size());
        if (!rest.empty() && rest.find('/') == std::string::npos)
            names.push_back(rest);
    }
    return names;
}

int MemoryFileSystem::syncDirectoryOf(const std::string&) { return 0; }

std::string MemoryFileSystem::contents(const std::string& path) const
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    auto it = m_state->files.find(path);
    return it == m_state->files.end() ? std::string() : it->second->data;
}

void MemoryFileSystem::setContents(const std::string& path, const std::string& bytes)
{
    std::lock_guard<std::mutex> g(m_state->mutex);
    auto& slot = m_state->files[path];
    if (!slot)
        slot = m_state->newNode();
    slot->data = bytes;
    slot->mtimeNs = m_state->stamp();
}

} // namespace qb::platform
