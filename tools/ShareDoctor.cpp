#include "ShareDoctor.h"

#include "TableChecker.h"
#include "TableFiles.h"

#include "platform/FileOps.h"
#include "platform/PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <limits.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qb::tools {

namespace {

// The append byte: a probe lock there shows that the lock regions of the
// stations, far beyond the end of any file, can be locked on this share.
constexpr std::int64_t kProbeLockOffset = 0x40000001;

std::vector<std::string_view> splitOn(std::string_view s, char sep)
{
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t pos = s.find(sep, start);
        parts.push_back(s.substr(start, pos == std::string_view::npos ? std::string_view::npos : pos - start));
        if (pos == std::string_view::npos)
            return parts;
        start = pos + 1;
    }
}

// mountinfo writes blanks, tabs, newlines and backslashes as \ooo.
std::string unescapeOctal(std::string_view s)
{
    auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size() && octal(s[i + 1]) && octal(s[i + 2]) && octal(s[i + 3])) {
            out += static_cast<char>((s[i + 1] - '0') * 64 + (s[i + 2] - '0') * 8 + (s[i + 3] - '0'));
            i += 3;
            continue;
        }
        out += s[i];
    }
    return out;
}

bool hasOption(const MountEntry& m, std::string_view name)
{
    return std::find(m.options.begin(), m.options.end(), name) != m.options.end();
}

// The value of "name=value", last one winning as with mount(8).
std::optional<std::string> optionValue(const MountEntry& m, std::string_view name)
{
    std::optional<std::string> value;
    for (const auto& o : m.options)
        if (o.size() > name.size() && o.compare(0, name.size(), name) == 0 && o[name.size()] == '=')
            value = o.substr(name.size() + 1);
    return value;
}

long secondsOption(const MountEntry& m, std::string_view name)
{
    auto v = optionValue(m, name);
    if (!v || v->empty() || v->find_first_not_of("0123456789") != std::string::npos || v->size() > 9)
        return -1;
    return std::atol(v->c_str());
}

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool isLocalType(std::string_view t)
{
    static const char* const kLocal[] = {"ext2", "ext3", "ext4", "xfs", "btrfs", "zfs", "f2fs", "jfs", "reiserfs",
                                         "tmpfs", "overlay", "ramfs", "vfat", "exfat", "ntfs", "ntfs3", "fuseblk"};
    return std::any_of(std::begin(kLocal), std::end(kLocal), [&](const char* l) { return t == l; });
}

std::string where(const MountEntry& m)
{
    return m.fsType + " (" + m.source + " on " + m.mountPoint + ")";
}

std::string errorText(int err) { return std::strerror(err); }

std::string oneDecimal(double v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

std::string sizeText(unsigned long long bytes)
{
    char buf[32];
    if (bytes >= (1ULL << 30))
        std::snprintf(buf, sizeof buf, "%.1f GiB", static_cast<double>(bytes) / (1ULL << 30));
    else
        std::snprintf(buf, sizeof buf, "%.1f MiB", static_cast<double>(bytes) / (1ULL << 20));
    return buf;
}

Finding ok(std::string topic, std::string text) { return {Verdict::Ok, std::move(topic), std::move(text), {}}; }
Finding warn(std::string topic, std::string text, std::string fix)
{
    return {Verdict::Warn, std::move(topic), std::move(text), std::move(fix)};
}
Finding fail(std::string topic, std::string text, std::string fix)
{
    return {Verdict::Fail, std::move(topic), std::move(text), std::move(fix)};
}

// A file made for the probes, removed again at the end.
struct ProbeFile {
    std::string path;
    int fd = -1;
    ~ProbeFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!path.empty())
            ::unlink(path.c_str());
    }
};

// Takes the probe lock through the platform layer, as a station would, and
// asks a child process to take it too: it must be refused.
Finding checkLocks(const std::string& probe)
{
    platform::PosixFile f;
    if (int rc = f.open(probe, platform::Access::ReadWrite, platform::Share::NoSharing))
        return fail("locks", "the probe file could not be opened again (error " + std::to_string(rc) + ")",
                    "check the share's permissions");
    errno = 0;
    platform::LockResult r = f.lock(kProbeLockOffset, 1);
    if (r != platform::LockResult::Locked)
        return fail("locks",
                    std::string("the file system refuses byte-range locks (") + errorText(errno ? errno : EIO)
                        + "): no station can open a table here",
                    "mount the share with locking on (NFS: without nolock; SMB: without nobrl)");
    const std::string kind =
        f.usesClassicLocks() ? "classic record locks (the fallback for mounts that refuse OFD locks)"
                             : "OFD locks";
    pid_t pid = ::fork();
    if (pid == 0) {
        // A fresh process asks the kernel directly, as another station's program would.
        int fd = ::open(probe.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            ::_exit(3);
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = kProbeLockOffset;
        fl.l_len = 1;
        int rc = ::fcntl(fd, F_OFD_SETLK, &fl);
        if (rc != 0 && errno == EINVAL)
            rc = ::fcntl(fd, F_SETLK, &fl);
        if (rc == 0)
            ::_exit(1);
        ::_exit(errno == EAGAIN || errno == EACCES ? 0 : 2);
    }
    if (pid < 0)
        return warn("locks", kind + " can be taken; whether they exclude another process was not tested (fork: "
                                 + errorText(errno) + ")",
                    "run qbtool doctor again");
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    f.unlock(kProbeLockOffset, 1);
    if (code == 0)
        return ok("locks", kind + " work and exclude another process");
    if (code == 1)
        return fail("locks", kind + " do not exclude another process: two stations could change one record at once",
                    "use a file system whose byte-range locks work between processes (NFS without nolock, SMB without nobrl)");
    return fail("locks", "another process could not test the lock (" + std::string(code == 3 ? "open" : "lock")
                             + " failed)",
                "check the share's permissions and locking");
}

Finding checkHardLinks(const std::string& probe)
{
    const std::string link = probe + ".link";
    int err = platform::hardLink(probe, link);
    if (err == 0) {
        ::unlink(link.c_str());
        return ok("hard links", "work (new tables and monthly logs are linked into place)");
    }
    if (platform::isNoHardLinksError(err))
        return warn("hard links",
                    "refused (" + errorText(err)
                        + "); new tables and monthly logs are created with an exclusive create instead, which works",
                    "nothing needed; a share with hard links (SMB with POSIX extensions, NFS) makes creation atomic");
    return fail("hard links", "a link beside a new file failed (" + errorText(err) + "): stations cannot create tables",
                "give every station's account the right to create files in the directory");
}

Finding checkRename(std::string& probe)
{
    const std::string renamed = probe + ".renamed";
    if (::rename(probe.c_str(), renamed.c_str()) != 0)
        return fail("renames", "renaming a file failed (" + errorText(errno) + "): packing a table cannot finish here",
                    "use a share that allows renaming files the user has created");
    probe = renamed;
    return ok("renames", "work (packing replaces tables by renaming)");
}

// The server stamps a written file with its own clock; comparing that stamp
// with this station's clock before and after the write gives the skew.
Finding checkClock(int fd)
{
    struct timespec t0 {}, t1 {};
    ::clock_gettime(CLOCK_REALTIME, &t0);
    const char text[] = "qbtool doctor probe\n";
    bool written = ::pwrite(fd, text, sizeof text - 1, 0) == static_cast<ssize_t>(sizeof text - 1) && ::fsync(fd) == 0;
    ::clock_gettime(CLOCK_REALTIME, &t1);
    struct stat st {};
    if (!written || ::fstat(fd, &st) != 0)
        return fail("clock", "the probe file could not be written (" + errorText(errno) + ")",
                    "check free space and permissions");
    auto seconds = [](const struct timespec& t) { return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9; };
    const double stamp = seconds(st.st_mtim), before = seconds(t0), after = seconds(t1);
    double skew = 0;
    if (stamp < before)
        skew = stamp - before;
    else if (stamp > after)
        skew = stamp - after;
    if (std::fabs(skew) < 0.05)
        skew = 0; // no "-0.0"
    constexpr double kTolerance = 2.0; // some file systems keep times in 2 s steps
    if (std::fabs(skew) <= kTolerance)
        return ok("clock", "the server's file times agree with this station's clock (difference "
                               + oneDecimal(skew) + " s)");
    return warn("clock",
                "the server's file times are " + oneDecimal(std::fabs(skew)) + " s "
                    + (skew > 0 ? "ahead of" : "behind") + " this station's clock: times shown for changes disagree",
                "synchronise the clocks of the server and every station (NTP, for example chrony or systemd-timesyncd)");
}

Finding checkFreeSpace(const struct statvfs& vfs)
{
    const unsigned long long avail = static_cast<unsigned long long>(vfs.f_bavail) * vfs.f_frsize;
    const std::string text = sizeText(avail) + " free";
    if (avail < 10ULL << 20)
        return fail("free space", text + ": writes of records, memos and logs will fail",
                    "free space on the share or move the data directory");
    if (avail < 100ULL << 20)
        return warn("free space", text + ": little room for the tables to grow", "free space on the share");
    return ok("free space", text);
}

std::string relativeTo(const std::string& dir, const std::string& path)
{
    if (path.size() > dir.size() && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/')
        return path.substr(dir.size() + 1);
    return path;
}

// Tables and memo files this account cannot both read and write.
Finding checkFilePermissions(const std::string& dir, const std::vector<TableFile>& tables)
{
    std::vector<std::string> refused;
    std::size_t files = 0;
    auto test = [&](const std::string& path) {
        ++files;
        if (::faccessat(AT_FDCWD, path.c_str(), R_OK | W_OK, AT_EACCESS) != 0)
            refused.push_back(relativeTo(dir, path));
    };
    for (const auto& t : tables) {
        if (!t.problem.empty())
            continue;
        test(t.path);
        const std::string stem = t.path.substr(0, t.path.size() - 4);
        for (const char* ext : {".dbt", ".DBT"})
            if (platform::fileExists(stem + ext)) {
                test(stem + ext);
                break;
            }
    }
    if (refused.empty())
        return ok("permissions", "this account can create files in the directory and read and write all "
                                     + std::to_string(files) + " table and memo files");
    std::string names;
    for (std::size_t i = 0; i < refused.size() && i < 5; ++i)
        names += (i ? ", " : "") + shown(refused[i]);
    if (refused.size() > 5)
        names += " and " + std::to_string(refused.size() - 5) + " more";
    return fail("permissions", "this account cannot read and write " + names,
                "give every station's account read and write access to all files of the data directory");
}

void checkTables(const std::string& dir, const std::vector<TableFile>& tables, std::vector<Finding>& findings)
{
    std::size_t checked = 0, damaged = 0;
    TableChecker checker;
    for (const auto& t : tables) {
        const std::string name = shown(relativeTo(dir, t.path));
        if (!t.problem.empty()) {
            findings.push_back(fail("table " + name, t.problem, "remove or rename it"));
            ++damaged;
            continue;
        }
        ++checked;
        std::vector<std::string> problems = checker.check(t.path);
        for (const auto& p : problems)
            findings.push_back(fail("table " + name, p, "qbtool check --repair " + shown(t.path)));
        if (!problems.empty())
            ++damaged;
    }
    if (tables.empty())
        findings.push_back(warn("tables", "no table files (*.dbf) here",
                                "check that this is the data directory; qbtool init DIR makes a new one"));
    else if (damaged == 0)
        findings.push_back(ok("tables", std::to_string(checked) + (checked == 1 ? " table" : " tables")
                                            + " checked, no damage"));
}

} // namespace

std::optional<MountEntry> parseMountInfoLine(std::string_view line)
{
    // ID PARENT MAJOR:MINOR ROOT MOUNTPOINT OPTIONS [OPTIONAL...] - FSTYPE SOURCE SUPEROPTIONS
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    std::vector<std::string_view> f;
    for (auto part : splitOn(line, ' '))
        if (!part.empty())
            f.push_back(part);
    auto dash = std::find(f.begin(), f.end(), "-");
    if (f.size() < 10 || dash == f.end() || dash - f.begin() < 6 || f.end() - dash < 4)
        return std::nullopt;
    MountEntry m;
    auto devParts = splitOn(f[2], ':');
    if (devParts.size() != 2)
        return std::nullopt;
    char* end = nullptr;
    const std::string majorText(devParts[0]), minorText(devParts[1]);
    m.major = static_cast<unsigned>(std::strtoul(majorText.c_str(), &end, 10));
    if (majorText.empty() || *end)
        return std::nullopt;
    m.minor = static_cast<unsigned>(std::strtoul(minorText.c_str(), &end, 10));
    if (minorText.empty() || *end)
        return std::nullopt;
    m.mountPoint = unescapeOctal(f[4]);
    m.fsType = unescapeOctal(dash[1]);
    m.source = unescapeOctal(dash[2]);
    for (auto opts : {f[5], dash[3]})
        for (auto o : splitOn(opts, ','))
            if (!o.empty())
                m.options.emplace_back(o);
    return m;
}

std::optional<MountEntry> mountHolding(std::string_view mountinfo, const std::string& path, unsigned major,
                                       unsigned minor)
{
    auto holds = [&](const std::string& mp) {
        return mp == "/" || path == mp || (startsWith(path, mp) && path.size() > mp.size() && path[mp.size()] == '/');
    };
    std::optional<MountEntry> best;
    bool bestOnDevice = false;
    for (auto line : splitOn(mountinfo, '\n')) {
        auto m = parseMountInfoLine(line);
        if (!m || !holds(m->mountPoint))
            continue;
        const bool onDevice = m->major == major && m->minor == minor;
        // The deepest mount point on the path's own device; later lines
        // (mounted over earlier ones) win ties.
        if (!best || (onDevice && !bestOnDevice)
            || (onDevice == bestOnDevice && m->mountPoint.size() >= best->mountPoint.size())) {
            best = std::move(m);
            bestOnDevice = onDevice;
        }
    }
    return best;
}

std::vector<Finding> judgeMount(const MountEntry& m)
{
    std::vector<Finding> out;
    const std::string& t = m.fsType;
    if (t == "cifs" || t == "smb3") {
        bool bad = false;
        if (hasOption(m, "nobrl")) {
            out.push_back(fail("mount", where(m) + " is mounted with nobrl: locks stay on this computer, so stations "
                                                   "no longer keep each other out and two changes at once damage tables",
                               "remount without nobrl"));
            bad = true;
        }
        if (optionValue(m, "cache") == "loose") {
            out.push_back(fail("mount", where(m) + " is mounted with cache=loose: this computer keeps file contents "
                                                   "without asking the server and reads other stations' records stale",
                               "remount with cache=strict (the default)"));
            bad = true;
        }
        long ac = std::max(secondsOption(m, "actimeo"), secondsOption(m, "acregmax"));
        if (ac > 1) {
            out.push_back(warn("mount", where(m) + " caches file attributes for " + std::to_string(ac)
                                            + " s: other stations' changes show up that much later",
                               "remount with actimeo=1 (the default)"));
            bad = true;
        }
        if (!bad)
            out.push_back(ok("mount", where(m) + ": byte-range locks reach the server (no nobrl); oplocks and leases "
                                                 "on the server cannot be seen from here: keep them off for this share"));
        return out;
    }
    if (t == "nfs" || t == "nfs4") {
        bool bad = false;
        const auto localLock = optionValue(m, "local_lock");
        if (hasOption(m, "nolock") || localLock == "posix" || localLock == "all") {
            out.push_back(fail("mount", where(m) + " is mounted with "
                                            + (hasOption(m, "nolock") ? std::string("nolock") : "local_lock=" + *localLock)
                                            + ": locks stay on this computer, so stations no longer keep each other "
                                              "out and two changes at once damage tables",
                               "remount without nolock and with local_lock=none (the default)"));
            bad = true;
        }
        if (hasOption(m, "nocto")) {
            out.push_back(warn("mount", where(m) + " is mounted with nocto: opening a table does not fetch its "
                                                   "current size and time, so other stations' changes show late",
                               "remount without nocto"));
            bad = true;
        }
        if (!bad) {
            std::string ac = hasOption(m, "noac") || secondsOption(m, "actimeo") == 0
                                 ? "attribute caching off (noac)"
                                 : "attributes cached, but fetched again on every open and lock, as the stations rely on";
            out.push_back(ok("mount", where(m) + ": locks reach the server; " + ac));
        }
        return out;
    }
    if (isLocalType(t)) {
        out.push_back(ok("mount", where(m) + ": a local file system; only programs on this computer can share it"));
        return out;
    }
    out.push_back(warn("mount", where(m) + ": an unknown file system type; its byte-range locks may not reach the "
                                           "other stations",
                       "use an SMB (cifs) or NFS share for the data directory"));
    return out;
}

std::vector<Finding> examineShare(const std::string& dirArg)
{
    std::vector<Finding> findings;
    char resolved[PATH_MAX];
    struct stat st {};
    int e = 0;
    if (!::realpath(dirArg.c_str(), resolved) || ::stat(resolved, &st) != 0)
        e = errno;
    else if (!S_ISDIR(st.st_mode))
        e = ENOTDIR;
    if (e) {
        findings.push_back(fail("directory", shown(dirArg) + " cannot be used: " + errorText(e),
                                "give the data directory's path"));
        return findings;
    }
    const std::string dir = resolved;

    std::ifstream info("/proc/self/mountinfo");
    std::stringstream text;
    text << info.rdbuf();
    if (auto m = mountHolding(text.str(), dir, major(st.st_dev), minor(st.st_dev))) {
        for (auto& f : judgeMount(*m))
            findings.push_back(std::move(f));
    } else {
        findings.push_back(warn("mount", "/proc/self/mountinfo names no mount for " + shown(dir)
                                             + ": type and options not checked",
                                "run qbtool doctor on Linux with /proc mounted"));
    }

    std::vector<TableFile> tables = listTables(dir);
    if (tables.size() == 1 && tables[0].path == dir && !tables[0].problem.empty()) {
        findings.push_back(fail("permissions", "the directory cannot be listed: " + tables[0].problem,
                                "give every station's account read access to the data directory"));
        tables.clear();
    }

    struct statvfs vfs {};
    const bool haveVfs = ::statvfs(dir.c_str(), &vfs) == 0;
    ProbeFile probe;
    probe.path = dir + "/.qbdoctor-" + std::to_string(::getpid()) + ".probe";
    probe.fd = ::open(probe.path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (probe.fd < 0) {
        const int e = errno;
        probe.path.clear();
        if (haveVfs && (vfs.f_flag & ST_RDONLY))
            findings.push_back(fail("permissions", "the file system is mounted read-only: stations cannot save anything",
                                    "mount the share read-write"));
        else
            findings.push_back(fail("permissions", "this account cannot create files in the directory (" + errorText(e)
                                                       + "): stations cannot create message tables and monthly logs",
                                    "give every station's account write access to the data directory"));
        if (!tables.empty())
            findings.push_back(checkFilePermissions(dir, tables));
    } else {
        findings.push_back(checkFilePermissions(dir, tables));
    }
    if (haveVfs)
        findings.push_back(checkFreeSpace(vfs));

    if (probe.fd >= 0) {
        findings.push_back(checkClock(probe.fd));
        findings.push_back(checkLocks(probe.path));
        findings.push_back(checkHardLinks(probe.path));
        findings.push_back(checkRename(probe.path));
    } else {
        const std::string why = "not tested: no file could be created here";
        for (const char* topic : {"clock", "locks", "hard links", "renames"})
            findings.push_back(warn(topic, why, "fix the permissions above and run qbtool doctor again"));
    }
    checkTables(dir, tables, findings);
    return findings;
}

int doctorCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        err << "usage: qbtool doctor DIR\n";
        return exitcode::kUsage;
    }
    std::size_t failures = 0, warnings = 0;
    for (const auto& f : examineShare(args[0])) {
        const char* label = f.verdict == Verdict::Ok ? "ok  " : f.verdict == Verdict::Warn ? "warn" : "FAIL";
        out << label << "  " << f.topic << ": " << f.text;
        if (!f.fix.empty())
            out << ". Fix: " << f.fix;
        out << '\n';
        failures += f.verdict == Verdict::Fail;
        warnings += f.verdict == Verdict::Warn;
    }
    out.flush();
    err << "qbtool doctor: " << failures << (failures == 1 ? " problem, " : " problems, ") << warnings
        << (warnings == 1 ? " warning" : " warnings")
        << (failures ? ": stations would lose or damage data here\n" : "\n");
    if (!out)
        return exitcode::kFailed;
    return failures == 0 ? exitcode::kOk : exitcode::kFailed;
}

} // namespace qb::tools
