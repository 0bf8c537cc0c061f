#include "FileOps.h"

#include "ClassicLocks.h"
#include "PosixFile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qb::platform {

int copyFileKeepTime(const std::string& src, const std::string& dst, std::size_t blockSize)
{
    int in = ::open(src.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return errnoToCode(errno);
    struct stat st {};
    if (::fstat(in, &st) != 0) {
        int e = errno;
        classic::closeDescriptor(in);
        return errnoToCode(e);
    }
    int out = ::open(dst.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 0777);
    if (out < 0) {
        int e = errno;
        classic::closeDescriptor(in);
        return errnoToCode(e);
    }
    std::vector<char> buf(blockSize);
    int rc = 0;
    for (;;) {
        ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0) {
            if (errno == EINTR)
                continue;
            rc = errnoToCode(errno);
            break;
        }
        if (r == 0)
            break;
        ssize_t done = 0;
        while (done < r) {
            ssize_t w = ::write(out, buf.data() + done, static_cast<size_t>(r - done));
            if (w < 0) {
                if (errno == EINTR)
                    continue;
                rc = errnoToCode(errno);
                break;
            }
            done += w;
        }
        if (rc)
            break;
    }
    if (rc == 0) {
        ::fchmod(out, st.st_mode & 07777);
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        if (::futimens(out, times) != 0)
            rc = errnoToCode(errno);
    }
    // Through the lock table: a plain close of a table this process holds
    // classic locks on would drop them.
    if (classic::closeDescriptor(out) != 0 && rc == 0)
        rc = errnoToCode(errno);
    classic::closeDescriptor(in);
    return rc;
}

bool fileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint64_t lastWriteTimeOf(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    struct stat st {};
    std::uint64_t t = 0;
    if (::fstat(fd, &st) == 0)
        t = toFileTime(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    classic::closeDescriptor(fd);
    return t;
}

int makeDirs(const std::string& path)
{
    if (path.empty())
        return 0;
    std::string cur;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            if (!cur.empty() && !isDirectory(cur) && ::mkdir(cur.c_str(), 0777) != 0 && errno != EEXIST)
                return errnoToCode(errno);
        }
        if (i < path.size())
            cur += path[i];
    }
    return 0;
}

namespace {

std::atomic<bool> g_refuseLinks{[] {
    const char* v = std::getenv("QB_TEST_NO_HARDLINKS");
    return v && std::strcmp(v, "1") == 0;
}()};

// The fallback for shares without hard links. The whole content goes in one
// write, so a reader sees an empty file or all of it, never a partial header.
int publishByExclusiveCreate(const std::string& path, const std::string& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == EEXIST ? kFileExists : errnoToCode(errno);
    int rc = 0;
    ssize_t w;
    do
        w = ::pwrite(fd, bytes.data(), bytes.size(), 0);
    while (w < 0 && errno == EINTR);
    if (w < 0)
        rc = errnoToCode(errno) == oserr::kReadFault ? oserr::kWriteFault : errnoToCode(errno);
    else if (static_cast<std::size_t>(w) != bytes.size())
        rc = oserr::kWriteFault;
    if (rc == 0 && ::fsync(fd) != 0)
        rc = errnoToCode(errno);
    if (::close(fd) != 0 && rc == 0)
        rc = errnoToCode(errno);
    if (rc != 0)
        ::unlink(path.c_str()); // ours and incomplete: better missing than wrong
    return rc;
}

} // namespace

void refuseHardLinksForTests(bool on) { g_refuseLinks = on; }

bool isNoHardLinksError(int err)
{
    return err == EPERM || err == ENOTSUP || err == EOPNOTSUPP || err == EXDEV || err == ENOSYS;
}

int hardLink(const std::string& from, const std::string& to)
{
    if (g_refuseLinks)
        return EPERM;
    return ::link(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int publishNewFile(const std::string& path, const std::string& bytes)
{
    std::string tmpl = path + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        return errnoToCode(errno);
    std::string tmp = name.data();
    int rc = 0;
    std::size_t done = 0;
    while (done < bytes.size() && rc == 0) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno != EINTR)
            rc = errnoToCode(errno);
        else if (w > 0)
            done += static_cast<std::size_t>(w);
    }
    mode_t mask = ::umask(0);
    ::umask(mask);
    if (rc == 0 && ::fchmod(fd, 0666 & ~mask) != 0)
        rc = errnoToCode(errno);
    if (rc == 0 && ::fsync(fd) != 0)
        rc = errnoToCode(errno);
    ::close(fd);
    int linkErr = rc == 0 ? hardLink(tmp, path) : 0;
    ::unlink(tmp.c_str());
    if (rc == 0 && linkErr != 0) {
        if (isNoHardLinksError(linkErr))
            return publishByExclusiveCreate(path, bytes);
        rc = linkErr == EEXIST ? kFileExists : errnoToCode(linkErr);
    }
    return rc;
}

int removeFile(const std::string& path)
{
    return ::unlink(path.c_str()) == 0 ? 0 : errnoToCode(errno);
}

} // namespace qb::platform
