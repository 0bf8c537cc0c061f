// The real files behind the file seam: PosixFile for each open description,
// plain POSIX calls for the directory.
#include "Files.h"

#include "FileOps.h"
#include "PosixFile.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::platform {

namespace {

FileIdentity identityOf(const struct stat& st)
{
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.size = st.st_size;
    id.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return id;
}

class PosixSeamFile final : public File {
public:
    explicit PosixSeamFile(PosixFile&& f) : m_f(std::move(f)) {}

    const std::string& path() const override { return m_f.path(); }
    std::int64_t size() const override { return m_f.size(); }
    std::int64_t sizeOnceWritten() const override { return m_f.sizeOnceWritten(); }
    std::int64_t endOffset() override
    {
        off_t end = ::lseek(m_f.fd(), 0, SEEK_END);
        return end < 0 ? -1 : static_cast<std::int64_t>(end);
    }
    int identity(FileIdentity& out) const override
    {
        struct stat st {};
        if (::fstat(m_f.fd(), &st) != 0)
            return errnoToCode(errno);
        out = identityOf(st);
        return 0;
    }
    std::uint64_t lastWriteTime() const override { return m_f.lastWriteTime(); }
    int mode() const override
    {
        struct stat st {};
        return ::fstat(m_f.fd(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    }
    int setMode(int mode) override
    {
        return ::fchmod(m_f.fd(), static_cast<mode_t>(mode)) == 0 ? 0 : errnoToCode(errno);
    }
    std::int64_t readAt(std::int64_t off, void* buf, std::size_t n) const override { return m_f.readAt(off, buf, n); }
    int writeAt(std::int64_t off, const void* buf, std::size_t n) override { return m_f.writeAt(off, buf, n); }
    int truncate(std::int64_t length) override { return m_f.truncate(length); }
    int sync() override { return m_f.sync(); }
    int renameTo(const std::string& newPath) override { return m_f.renameTo(newPath); }
    LockResult lock(std::int64_t off, std::int64_t len) override { return m_f.lock(off, len); }
    LockResult lockShared(std::int64_t off, std::int64_t len) override { return m_f.lockShared(off, len); }
    int unlock(std::int64_t off, std::int64_t len) override { return m_f.unlock(off, len); }
    bool probe(std::int64_t off, std::int64_t len, bool forWrite, pid_t* holder) const override
    {
        return m_f.probe(off, len, forWrite, holder);
    }

private:
    PosixFile m_f;
};

class PosixFileSystem final : public FileSystem {
public:
    int open(const std::string& path, Access access, Share share, std::unique_ptr<File>& out) override
    {
        PosixFile f;
        if (int rc = f.open(path, access, share))
            return rc;
        out = std::make_unique<PosixSeamFile>(std::move(f));
        return 0;
    }
    int create(const std::string& path, std::unique_ptr<File>& out) override
    {
        PosixFile f;
        if (int rc = f.create(path))
            return rc;
        out = std::make_unique<PosixSeamFile>(std::move(f));
        return 0;
    }
    int createNew(const std::string& path, std::unique_ptr<File>& out) override
    {
        int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return errno == EEXIST ? kFileExists : errnoToCode(errno);
        closeDescriptor(fd);
        // Opened again through PosixFile, which owns the descriptor from here.
        PosixFile f;
        if (int rc = f.open(path, Access::ReadWrite, Share::NoSharing))
            return rc;
        out = std::make_unique<PosixSeamFile>(std::move(f));
        return 0;
    }
    int publish(const std::string& path, const std::string& bytes) override { return publishNewFile(path, bytes); }
    int rename(const std::string& from, const std::string& to) override
    {
        return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errnoToCode(errno);
    }
    int remove(const std::string& path) override { return ::unlink(path.c_str()) == 0 ? 0 : errnoToCode(errno); }
    int stat(const std::string& path, FileIdentity& out) override
    {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            return errnoToCode(errno);
        out = identityOf(st);
        return 0;
    }
    bool exists(const std::string& path) override
    {
        struct stat st {};
        return ::lstat(path.c_str(), &st) == 0;
    }
    std::vector<std::string> list(const std::string& dir) override
    {
        std::vector<std::string> names;
        DIR* d = ::opendir(dir.c_str());
        if (!d)
            return names;
        while (dirent* e = ::readdir(d)) {
            std::string n = e->d_name;
            if (n != "." && n != "..")
                names.push_back(n);
        }
        ::closedir(d);
        return names;
    }
    int syncDirectoryOf(const std::string& path) override
    {
        std::size_t slash = path.find_last_of('/');
        std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
        int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return errnoToCode(errno);
        int rc = ::fsync(fd) == 0 ? 0 : errnoToCode(errno);
        ::close(fd);
        return rc;
    }
};

} // namespace

FileSystem& FileSystem::posix()
{
    static PosixFileSystem fs;
    return fs;
}

const std::string& FileHandle::path() const
{
    static const std::string kNone;
    return m_file ? m_file->path() : kNone;
}

} // namespace qb::platform
