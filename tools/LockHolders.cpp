#include "LockHolders.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <limits>
#include <sstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace qb::tools {

namespace {

bool allDigits(const char* s)
{
    if (!*s)
        return false;
    for (; *s; ++s)
        if (!std::isdigit(static_cast<unsigned char>(*s)))
            return false;
    return true;
}

std::vector<std::string> numericEntries(const std::string& dir)
{
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return names;
    while (dirent* e = ::readdir(d))
        if (allDigits(e->d_name))
            names.emplace_back(e->d_name);
    ::closedir(d);
    return names;
}

} // namespace

bool LockHolders::parseLockLine(const std::string& line, dev_t dev, ino_t ino, Entry& out)
{
    // "lock:\t1: OFDLCK ADVISORY  WRITE -1 fe:00:10953020 1073741825 1073741825"
    std::istringstream in(line);
    std::string tag, id, kind, mode, rw, pid, file, start, end;
    if (!(in >> tag >> id >> kind >> mode >> rw >> pid >> file >> start >> end) || tag != "lock:")
        return false;
    unsigned major = 0, minor = 0;
    unsigned long long inode = 0;
    if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3)
        return false;
    if (makedev(major, minor) != dev || inode != static_cast<unsigned long long>(ino))
        return false;
    char* endp = nullptr;
    long long s = std::strtoll(start.c_str(), &endp, 10);
    if (*endp != '\0' || s < 0)
        return false;
    out.start = s;
    if (end == "EOF") {
        out.end = std::numeric_limits<std::int64_t>::max();
    } else {
        long long e = std::strtoll(end.c_str(), &endp, 10);
        if (*endp != '\0' || e < s)
            return false;
        out.end = e + 1; // the kernel prints the last byte
    }
    out.write = rw == "WRITE";
    return true;
}

LockHolders::LockHolders(const std::string& path)
{
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0)
        return;
    const pid_t self = ::getpid();
    for (const std::string& p : numericEntries("/proc")) {
        pid_t pid = static_cast<pid_t>(std::atol(p.c_str()));
        if (pid == self)
            continue;
        const std::string base = "/proc/" + p;
        for (const std::string& fd : numericEntries(base + "/fd")) {
            struct stat st {};
            // stat follows the descriptor's link to the open file itself.
            if (::stat((base + "/fd/" + fd).c_str(), &st) != 0 || st.st_dev != target.st_dev
                || st.st_ino != target.st_ino)
                continue;
            std::ifstream info(base + "/fdinfo/" + fd);
            std::string line;
            while (std::getline(info, line)) {
                Entry e;
                if (line.rfind("lock:", 0) == 0 && parseLockLine(line, target.st_dev, target.st_ino, e)) {
                    e.pid = pid;
                    m_entries.push_back(e);
                }
            }
        }
    }
}

std::vector<pid_t> LockHolders::holdersOf(std::int64_t start, std::int64_t end, bool write) const
{
    std::vector<pid_t> pids;
    for (const Entry& e : m_entries)
        if (e.start == start && e.end == end && e.write == write)
            pids.push_back(e.pid);
    std::sort(pids.begin(), pids.end());
    pids.erase(std::unique(pids.begin(), pids.end()), pids.end());
    return pids;
}

} // namespace qb::tools
