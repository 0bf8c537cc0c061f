#include "Launcher.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace qbstart {
namespace {

constexpr int kFirstWaitMs = 9000;
constexpr int kOpenAttempts = 5;
constexpr int kOpenRetryMs = 200;
constexpr int kStartAttempts = 10;
constexpr int kStartStepMs = 200;
constexpr const char* kStoredName = "Q.x";
constexpr const char* kLocalName = "qbp3";

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string withoutTrailingSlash(std::string s)
{
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

std::string errnoText(int e) { return std::strerror(e); }

// Opens a stored program for reading without blocking on a FIFO; only a
// regular file counts as opened.
int openRegular(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    return fd;
}

// The stored program: the one named for this platform when the directory has
// it, else "Q.x" (Windows and Linux stations may share the directory).
int openStored(const std::string& dirPrefix, std::string* opened)
{
    const std::string own = dirPrefix + platformProgramName();
    int fd = openRegular(own);
    if (fd >= 0) {
        *opened = own;
        return fd;
    }
    if (errno != ENOENT)
        return -1;
    *opened = dirPrefix + kStoredName;
    return openRegular(*opened);
}

bool sameTime(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool writeAll(int fd, const char* p, std::size_t n)
{
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<std::size_t>(w);
    }
    return true;
}

bool readHead(int fd, unsigned char* buf, std::size_t n)
{
    std::size_t got = 0;
    while (got < n) {
        ssize_t r = ::pread(fd, buf + got, n - got, static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        got += static_cast<std::size_t>(r);
    }
    return true;
}

// A started board must not stay in the launcher's session or process group:
// closing the terminal that ran qbstart would end it.
pid_t spawnBoard(const std::string& program, const std::vector<std::string>& argv, int* err)
{
    std::vector<char*> av;
    for (const auto& a : argv)
        av.push_back(const_cast<char*>(a.c_str()));
    av.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
    pid_t pid = -1;
    *err = posix_spawn(&pid, program.c_str(), nullptr, &attr, av.data(), environ);
    posix_spawnattr_destroy(&attr);
    return *err == 0 ? pid : -1;
}

} // namespace

std::string copyDirectory()
{
    std::string cache = env("XDG_CACHE_HOME");
    if (cache.empty() || cache.front() != '/') {
        std::string home = env("HOME");
        cache = (home.empty() ? std::string() : withoutTrailingSlash(home)) + "/.cache";
    }
    return withoutTrailingSlash(cache) + "/quellboard/program";
}

bool preparePrivateDirectory(const std::string& dir, std::string* why)
{
    // Parents that are missing are made private too; existing ones are left
    // as they are (the home directory, a shared cache root).
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            *why = "cannot make " + part + ": " + errnoText(errno);
            return false;
        }
    }
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        *why = dir + " is not a directory of its own: " + errnoText(errno);
        return false;
    }
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && st.st_uid == ::geteuid();
    if (!ok)
        *why = dir + " belongs to another user";
    else if ((st.st_mode & 07777) != 0700 && ::fchmod(fd, 0700) != 0) {
        *why = "cannot make " + dir + " private: " + errnoText(errno);
        ok = false;
    }
    ::close(fd);
    return ok;
}

std::string platformProgramName()
{
    struct utsname u {};
    if (::uname(&u) != 0)
        return kStoredName;
    std::string sys = u.sysname;
    for (char& c : sys)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return "Q-" + sys + "-" + u.machine + ".x";
}

bool runnableHere(int fd)
{
    unsigned char head[20] {};
    if (!readHead(fd, head, 2))
        return false;
    if (head[0] == '#' && head[1] == '!')
        return true;
    if (!readHead(fd, head, sizeof head) || std::memcmp(head, "\x7f" "ELF", 4) != 0)
        return false;
    // Class, byte order and machine must be this program's own.
    int self = ::open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    unsigned char own[20] {};
    bool have = self >= 0 && readHead(self, own, sizeof own);
    if (self >= 0)
        ::close(self);
    if (!have)
        return false;
    return head[4] == own[4] && head[5] == own[5] && head[18] == own[18] && head[19] == own[19];
}

bool copyBeside(int srcFd, const std::string& dest, std::string* why)
{
    struct stat st {};
    if (::fstat(srcFd, &st) != 0) {
        *why = "cannot read the stored program: " + errnoText(errno);
        return false;
    }
    std::string tmp = dest + ".XXXXXX";
    int out = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (out < 0) {
        *why = "cannot write beside " + dest + ": " + errnoText(errno);
        return false;
    }
    bool ok = true;
    off_t total = 0;
    std::vector<char> buf(1 << 16);
    for (;;) {
        ssize_t r = ::pread(srcFd, buf.data(), buf.size(), total);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0) {
            *why = "reading the stored program failed: " + errnoText(errno);
            ok = false;
            break;
        }
        if (r == 0)
            break;
        if (!writeAll(out, buf.data(), static_cast<std::size_t>(r))) {
            *why = "writing the copy failed: " + errnoText(errno);
            ok = false;
            break;
        }
        total += r;
    }
    // A stored file replaced or cut while we read it gives a different size:
    // the copy is not the program the server holds.
    if (ok && total != st.st_size) {
        *why = "the stored program changed while it was copied";
        ok = false;
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (ok && (::fchmod(out, 0700) != 0 || ::futimens(out, times) != 0 || ::fsync(out) != 0)) {
        *why = "finishing the copy failed: " + errnoText(errno);
        ok = false;
    }
    if (::close(out) != 0 && ok) {
        *why = "writing the copy failed: " + errnoText(errno);
        ok = false;
    }
    if (ok && ::rename(tmp.c_str(), dest.c_str()) != 0) {
        *why = "cannot replace " + dest + ": " + errnoText(errno);
        ok = false;
    }
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

pid_t run(int argc, const char* const* args, const Hooks& hooks)
{
    hooks.sleep(kFirstWaitMs);

    const std::string dataDir = argc > 0 && args[0] ? args[0] : "";
    const std::string prefix = argc > 0 ? dataDir + "/" : std::string();

    std::string storedPath;
    int stored = -1;
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        stored = openStored(prefix, &storedPath);
        if (stored >= 0)
            break;
        hooks.sleep(kOpenRetryMs);
    }

    const std::string dir = copyDirectory();
    const std::string local = dir + "/" + kLocalName;
    std::string why;
    const bool dirOk = preparePrivateDirectory(dir, &why);
    if (!dirOk)
        hooks.note(why);

    if (stored >= 0) {
        struct stat st {};
        ::fstat(stored, &st);
        timespec localTime {};
        int lfd = openRegular(local);
        if (lfd >= 0) {
            struct stat lst {};
            if (::fstat(lfd, &lst) == 0)
                localTime = lst.st_mtim;
            ::close(lfd);
        }
        if (!sameTime(st.st_mtim, localTime) && dirOk) {
            if (!runnableHere(stored))
                hooks.note(storedPath + " is not a program for this machine; not copied");
            else if (!copyBeside(stored, local, &why))
                hooks.note(why + "; starting the copy there is");
        }
        ::close(stored);
    }

    // The board sees "5" and the data directory with one trailing separator.
    const std::vector<std::string> argv = {local, "5", dataDir + "/"};
    for (int attempt = 1; attempt <= kStartAttempts; ++attempt) {
        hooks.sleep(attempt * kStartStepMs);
        if (::chdir(dataDir.c_str()) != 0) {
            hooks.error("Can not find " + dataDir);
            return -1;
        }
        if (!dirOk)
            continue;
        int lfd = openRegular(local);
        bool runnable = lfd >= 0 && runnableHere(lfd);
        if (lfd >= 0)
            ::close(lfd);
        if (!runnable)
            continue;
        int err = 0;
        pid_t pid = spawnBoard(local, argv, &err);
        if (pid > 0)
            return pid;
    }
    return -1;
}

} // namespace qbstart
