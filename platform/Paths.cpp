#include "Paths.h"

#include "FileOps.h"

#include <climits>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qb::platform {

namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string withoutTrailingSlash(std::string p)
{
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    return p;
}

std::string configHome()
{
    std::string x = env("XDG_CONFIG_HOME");
    // The XDG rules ignore a relative value.
    if (!x.empty() && x.front() == '/')
        return withoutTrailingSlash(x);
    return Paths::homeDir() + "/.config";
}

// Creates the missing directories of path with mode 0700; errors are left to
// whoever writes there next.
void ensureDir(const std::string& path)
{
    if (isDirectory(path))
        return;
    std::string partial;
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        partial = path.substr(0, pos);
        if (!partial.empty() && !isDirectory(partial))
            ::mkdir(partial.c_str(), 0700);
    }
}

// Value of XDG_DESKTOP_DIR in a user-dirs.dirs file: a shell assignment of a
// double-quoted path that is absolute or starts with $HOME/.
std::string desktopFromUserDirs(const std::string& file, const std::string& home)
{
    std::ifstream in(file);
    std::string line;
    std::string found;
    while (std::getline(in, line)) {
        std::size_t i = line.find_first_not_of(" \t");
        if (i == std::string::npos || line[i] == '#')
            continue;
        const std::string key = "XDG_DESKTOP_DIR=";
        if (line.compare(i, key.size(), key) != 0)
            continue;
        std::string v = line.substr(i + key.size());
        auto last = v.find_last_not_of(" \t\r");
        v = last == std::string::npos ? std::string() : v.substr(0, last + 1);
        if (v.size() < 2 || v.front() != '"' || v.back() != '"')
            continue;
        v = v.substr(1, v.size() - 2);
        std::string out;
        for (std::size_t k = 0; k < v.size(); ++k) {
            if (v[k] == '\\' && k + 1 < v.size())
                out += v[++k];
            else
                out += v[k];
        }
        if (out.rfind("$HOME", 0) == 0)
            out = home + out.substr(5);
        else if (out.empty() || out.front() != '/')
            continue;
        found = out; // the shell keeps the last assignment
    }
    return found;
}

} // namespace

std::string Paths::homeDir()
{
    std::string h = env("HOME");
    if (!h.empty())
        return withoutTrailingSlash(h);
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && *pw->pw_dir)
        return withoutTrailingSlash(pw->pw_dir);
    return "/";
}

std::string Paths::workstationDir()
{
    std::string dir = env("QUELLBOARD_SYSDIR");
    dir = dir.empty() ? configHome() + "/" + kAppFolder : withoutTrailingSlash(dir);
    ensureDir(dir);
    return dir;
}

std::string Paths::desktopDir()
{
    std::string home = homeDir();
    std::string d = withoutTrailingSlash(desktopFromUserDirs(configHome() + "/user-dirs.dirs", home));
    // A desktop entry equal to the home directory is common and fine.
    if (!d.empty() && isDirectory(d))
        return d;
    return home;
}

std::string Paths::cacheDir()
{
    std::string x = env("XDG_CACHE_HOME");
    if (!x.empty() && x.front() == '/')
        return withoutTrailingSlash(x) + "/" + kAppFolder;
    return homeDir() + "/.cache/" + kAppFolder;
}

std::string Paths::tempDir()
{
    std::string t = env("TMPDIR");
    return t.empty() ? std::string("/tmp") : withoutTrailingSlash(t);
}

std::string Paths::userName()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return pw->pw_name;
    std::string u = env("USER");
    if (!u.empty())
        return u;
    return std::to_string(::geteuid());
}

std::string Paths::programPath()
{
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0)
        return {};
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string Paths::programDir()
{
    std::string p = programPath();
    auto slash = p.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : p.substr(0, slash);
}

std::string Paths::launcherCopyDir() { return cacheDir() + "/program"; }

std::string Paths::startDir()
{
    // Beside the program only when it is the launcher's per-user copy: an
    // installed program sits in a system directory, where a mirror holding
    // the password column must never land (even when root could write it).
    char a[PATH_MAX], b[PATH_MAX];
    const std::string program = programDir();
    const std::string copies = launcherCopyDir();
    if (::realpath(program.c_str(), a) && ::realpath(copies.c_str(), b) && std::string(a) == b)
        return program;
    std::string cache = cacheDir();
    ensureDir(cache);
    ::chmod(cache.c_str(), 0700); // made before by an older version or another program
    return cache;
}

} // namespace qb::platform
