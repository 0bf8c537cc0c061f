#include "TableFiles.h"
#include "platform/AsciiCase.h"
#include "platform/Utf8.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::tools {

namespace pf = qb::platform;

namespace {

// Folders nested deeper than this are not searched (links are not followed,
// so this only bounds a pathological tree).
constexpr int kMaxDepth = 32;

bool hasDbfExtension(const std::string& name)
{
    if (name.size() < 4)
        return false;
    return platform::asciiLower(name.substr(name.size() - 4)) == ".dbf";
}

std::string kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return "is a directory, not a table file";
    if (S_ISFIFO(mode))
        return "is a FIFO, not a table file";
    if (S_ISSOCK(mode))
        return "is a socket, not a table file";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "is a device, not a table file";
    return "is not a regular file";
}

std::string linkProblem(const std::string& path)
{
    char target[4096];
    ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    std::string to = n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string("?");
    struct stat st {};
    bool dangling = ::stat(path.c_str(), &st) != 0;
    return "is a symbolic link to " + shown(to) + (dangling ? ", which does not exist" : "")
           + "; links in a data directory are not followed";
}

void walk(const std::string& dir, int depth, std::vector<TableFile>& out)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d) {
        out.push_back({dir, std::string("cannot read the folder: ") + std::strerror(errno)});
        return;
    }
    std::vector<std::string> names;
    errno = 0;
    while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(std::move(n));
    }
    ::closedir(d);
    const std::string prefix = dir.empty() || dir.back() == '/' ? dir : dir + "/";
    for (const std::string& n : names) {
        const std::string path = prefix + n;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            continue; // removed meanwhile
        const bool table = hasDbfExtension(n);
        if (S_ISDIR(st.st_mode)) {
            if (table)
                out.push_back({path, kindOf(st.st_mode)});
            else if (depth < kMaxDepth)
                walk(path, depth + 1, out);
            continue;
        }
        if (!table)
            continue;
        if (S_ISREG(st.st_mode))
            out.push_back({path, ""});
        else if (S_ISLNK(st.st_mode))
            out.push_back({path, linkProblem(path)});
        else
            out.push_back({path, kindOf(st.st_mode)});
    }
}

// Opens the name without blocking and checks that it is a regular file: a
// FIFO, device or directory is refused before a real open could block on it.
// Returns 0 with probe open and st filled, or an error code.
int probeRegular(const std::string& path, pf::Access access, bool noFollow, int& probe, struct stat& st)
{
    probe = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (noFollow ? O_NOFOLLOW : 0));
    if (probe < 0 && errno == EACCES && access == pf::Access::ReadWrite)
        probe = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (noFollow ? O_NOFOLLOW : 0));
    if (probe < 0) {
        int e = errno;
        if (e == ELOOP && noFollow)
            return fileerr::kSymbolicLink;
        if (e == ENXIO) // a FIFO without a reader, opened for writing
            return fileerr::kNotRegular;
        return e == EISDIR ? fileerr::kIsDirectory : pf::errnoToCode(e);
    }
    if (::fstat(probe, &st) != 0) {
        int e = errno;
        pf::closeDescriptor(probe); // a plain close() could drop this process's locks
        return pf::errnoToCode(e);
    }
    if (!S_ISREG(st.st_mode)) {
        pf::closeDescriptor(probe);
        return S_ISDIR(st.st_mode) ? fileerr::kIsDirectory : fileerr::kNotRegular;
    }
    return 0;
}

} // namespace

int openRegular(const std::string& path, pf::PosixFile& file, pf::Access access, pf::Share share, bool noFollow)
{
    file.close();
    int probe = -1;
    struct stat st {};
    if (int rc = probeRegular(path, access, noFollow, probe, st))
        return rc;
    int rc = file.open(path, access, share);
    if (rc == 0) {
        struct stat again {};
        if (::fstat(file.fd(), &again) != 0 || again.st_dev != st.st_dev || again.st_ino != st.st_ino) {
            file.close();
            rc = fileerr::kReplaced;
        }
    }
    pf::closeDescriptor(probe);
    return rc;
}

int openRegular(pf::FileSystem& fs, const std::string& path, pf::FileHandle& file, pf::Access access, pf::Share share,
                bool noFollow)
{
    file.close();
    if (&fs != &pf::FileSystem::posix())
        return file.open(fs, path, access, share);
    int probe = -1;
    struct stat st {};
    if (int rc = probeRegular(path, access, noFollow, probe, st))
        return rc;
    int rc = file.open(fs, path, access, share);
    if (rc == 0) {
        pf::FileIdentity again;
        if (file.identity(again) != 0 || again.device != static_cast<std::uint64_t>(st.st_dev)
            || again.inode != static_cast<std::uint64_t>(st.st_ino)) {
            file.close();
            rc = fileerr::kReplaced;
        }
    }
    pf::closeDescriptor(probe);
    return rc;
}

bool isRegularFile(pf::FileSystem& fs, const std::string& path)
{
    if (&fs != &pf::FileSystem::posix())
        return fs.exists(path);
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string describeFileError(int code)
{
    switch (code) {
    case pf::oserr::kFileNotFound: return "file not found";
    case pf::oserr::kPathNotFound: return "path not found";
    case pf::oserr::kAccessDenied: return "access denied";
    case pf::oserr::kTooManyOpenFiles: return "too many open files";
    case pf::oserr::kSharingViolation: return "sharing violation (another program has it open exclusively)";
    case pf::oserr::kReadFault: return "read error";
    case fileerr::kIsDirectory: return "is a directory, not a table file";
    case fileerr::kNotRegular: return "is not a regular file";
    case fileerr::kSymbolicLink: return "is a symbolic link; it is not written through";
    case fileerr::kReplaced: return "was replaced by another file while it was being opened";
    default: return std::strerror(code);
    }
}

std::vector<TableFile> listTables(const std::string& dir)
{
    std::vector<TableFile> out;
    walk(dir, 0, out);
    std::sort(out.begin(), out.end(), [](const TableFile& a, const TableFile& b) { return a.path < b.path; });
    return out;
}

namespace {

bool isControl(char32_t cp) { return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F); }

} // namespace

std::string shown(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const platform::Utf8Char c = platform::decodeUtf8(text, i);
        if (!c.valid || isControl(c.codePoint)) {
            // A malformed sequence shows its first byte; what follows it is read again.
            const std::size_t n = c.valid ? c.length : 1;
            for (std::size_t k = 0; k < n; ++k) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(text[i + k]));
                out += buf;
            }
            i += n;
        } else {
            out.append(text.substr(i, c.length));
            i += c.length;
        }
    }
    return out;
}

bool isValidUtf8(std::string_view text)
{
    for (std::size_t i = 0; i < text.size();) {
        const platform::Utf8Char c = platform::decodeUtf8(text, i);
        if (!c.valid)
            return false;
        i += c.length;
    }
    return true;
}

bool hasControlCharacter(std::string_view utf8)
{
    for (std::size_t i = 0; i < utf8.size();) {
        const platform::Utf8Char c = platform::decodeUtf8(utf8, i);
        if (!c.valid || isControl(c.codePoint))
            return true;
        i += c.length;
    }
    return false;
}

} // namespace qb::tools
