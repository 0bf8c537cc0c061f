#include "FaultyFileSystem.h"

#include <algorithm>
#include <cerrno>

namespace qb::platform {

namespace {
// Write failures read as the POSIX files report them (EIO on a write is a
// write fault, not a read fault).
int writeCode(int e)
{
    int c = errnoToCode(e);
    return c == oserr::kReadFault ? oserr::kWriteFault : c;
}
} // namespace

struct FaultyFileSystem::Tracked final : public File {
    Tracked(FaultyFileSystem& fs, std::unique_ptr<File> inner) : m_fs(fs), m_inner(std::move(inner)), m_open(fs.m_open)
    {
        m_open->push_back(this);
    }
    ~Tracked() override
    {
        auto& v = *m_open;
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }

    const std::string& path() const override { return m_inner->path(); }
    std::int64_t size() const override { return m_inner->size(); }
    std::int64_t sizeOnceWritten() const override { return m_inner->sizeOnceWritten(); }
    std::int64_t endOffset() override { return m_inner->endOffset(); }
    int identity(FileIdentity& out) const override { return m_inner->identity(out); }
    std::uint64_t lastWriteTime() const override { return m_inner->lastWriteTime(); }
    int mode() const override { return m_inner->mode(); }
    int setMode(int mode) override { return m_inner->setMode(mode); }
    std::int64_t readAt(std::int64_t off, void* buf, std::size_t n) const override
    {
        if (int e = m_fs.hit(FaultOp::Read, path())) {
            errno = e;
            return -1;
        }
        return m_inner->readAt(off, buf, n);
    }
    int writeAt(std::int64_t off, const void* buf, std::size_t n) override
    {
        if (int e = m_fs.hit(FaultOp::Write, path()))
            return writeCode(e);
        return m_inner->writeAt(off, buf, n);
    }
    int truncate(std::int64_t length) override
    {
        if (int e = m_fs.hit(FaultOp::Write, path()))
            return writeCode(e);
        return m_inner->truncate(length);
    }
    int sync() override
    {
        if (int e = m_fs.hit(FaultOp::Sync, path()))
            return writeCode(e);
        return m_inner->sync();
    }
    int renameTo(const std::string& newPath) override
    {
        if (int e = m_fs.hit(FaultOp::Rename, path()))
            return errnoToCode(e);
        return m_inner->renameTo(newPath);
    }
    LockResult lock(std::int64_t off, std::int64_t len) override { return setLock(off, len, true); }
    LockResult lockShared(std::int64_t off, std::int64_t len) override { return setLock(off, len, false); }
    int unlock(std::int64_t off, std::int64_t len) override
    {
        if (m_lost)
            return errnoToCode(m_lost);
        m_held.erase(std::remove_if(m_held.begin(), m_held.end(),
                                    [&](const auto& r) { return r.first >= off && r.first + r.second <= off + len; }),
                     m_held.end());
        return m_inner->unlock(off, len);
    }
    bool probe(std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder) const override
    {
        return !m_lost && m_inner->probe(off, len, forWrite, holder);
    }

    LockResult setLock(std::int64_t off, std::int64_t len, bool write)
    {
        if (m_lost) {
            errno = m_lost;
            return LockResult::Lost;
        }
        if (int e = m_fs.hit(FaultOp::Lock, path())) {
            errno = e;
            return e == EAGAIN || e == EACCES ? LockResult::Busy : LockResult::Lost;
        }
        LockResult r = write ? m_inner->lock(off, len) : m_inner->lockShared(off, len);
        if (r == LockResult::Locked)
            m_held.emplace_back(off, len);
        return r;
    }
    void drop(int err)
    {
        for (const auto& [off, len] : m_held)
            m_inner->unlock(off, len);
        m_held.clear();
        m_lost = err;
    }

    FaultyFileSystem& m_fs;
    std::unique_ptr<File> m_inner;
    std::shared_ptr<std::vector<Tracked*>> m_open;
    std::vector<std::pair<std::int64_t, std::int64_t>> m_held;
    int m_lost = 0;
};

FaultyFileSystem::FaultyFileSystem(FileSystem& inner)
    : m_inner(inner), m_open(std::make_shared<std::vector<Tracked*>>())
{
}

FaultyFileSystem::~FaultyFileSystem() = default;

void FaultyFileSystem::failNth(FaultOp op, int nth, int errnoValue, std::string pathPart)
{
    m_faults.push_back({op, std::max(1, nth), errnoValue, std::move(pathPart), false});
}

void FaultyFileSystem::failFrom(FaultOp op, int nth, int errnoValue, std::string pathPart)
{
    m_faults.push_back({op, std::max(1, nth), errnoValue, std::move(pathPart), true});
}

void FaultyFileSystem::dropLocks(const std::string& pathPart, int errnoValue)
{
    for (Tracked* f : *m_open)
        if (f->path().find(pathPart) != std::string::npos)
            f->drop(errnoValue);
}

void FaultyFileSystem::clear()
{
    m_faults.clear();
}

int FaultyFileSystem::calls(FaultOp op) const
{
    auto it = m_calls.find(op);
    return it == m_calls.end() ? 0 : it->second;
}

int FaultyFileSystem::hit(FaultOp op, const std::string& path)
{
    ++m_calls[op];
    int err = 0;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (it->op != op || path.find(it->pathPart) == std::string::npos) {
            ++it;
            continue;
        }
        if (it->remaining > 1) {
            --it->remaining;
            ++it;
            continue;
        }
        if (!err)
            err = it->err;
        if (it->sticky)
            ++it;
        else
            it = m_faults.erase(it);
    }
    if (err)
        ++m_fired;
    return err;
}

int FaultyFileSystem::wrap(int rc, std::unique_ptr<File>& out)
{
    if (rc == 0 && out)
        out = std::make_unique<Tracked>(*this, std::move(out));
    return rc;
}

int FaultyFileSystem::open(const std::string& path, Access access, Share share, std::unique_ptr<File>& out)
{
    return wrap(m_inner.open(path, access, share, out), out);
}

int FaultyFileSystem::create(const std::string& path, std::unique_ptr<File>& out)
{
    return wrap(m_inner.create(path, out), out);
}

int FaultyFileSystem::createNew(const std::string& path, std::unique_ptr<File>& out)
{
    return wrap(m_inner.createNew(path, out), out);
}

int FaultyFileSystem::publish(const std::string& path, const std::string& bytes)
{
    if (int e = hit(FaultOp::Write, path))
        return writeCode(e);
    return m_inner.publish(path, bytes);
}

int FaultyFileSystem::rename(const std::string& from, const std::string& to)
{
    if (int e = hit(FaultOp::Rename, from))
        return errnoToCode(e);
    return m_inner.rename(from, to);
}

int FaultyFileSystem::remove(const std::string& path) { return m_inner.remove(path); }
int FaultyFileSystem::stat(const std::string& path, FileIdentity& out) { return m_inner.stat(path, out); }
bool FaultyFileSystem::exists(const std::string& path) { return m_inner.exists(path); }
std::vector<std::string> FaultyFileSystem::list(const std::string& dir) { return m_inner.list(dir); }

int FaultyFileSystem::syncDirectoryOf(const std::string& path)
{
    if (int e = hit(FaultOp::Sync, path))
        return writeCode(e);
    return m_inner.syncDirectoryOf(path);
}

} // namespace qb::platform
