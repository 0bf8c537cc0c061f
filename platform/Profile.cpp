#include "Profile.h"

#include "PosixFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::platform {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return {s.data() + begin, end - begin};
}

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    return true;
}

// A UTF-8 byte order mark in front of the first line belongs to no name.
std::string_view withoutBom(std::string_view line)
{
    if (line.size() >= 3 && line.substr(0, 3) == "\xEF\xBB\xBF")
        line.remove_prefix(3);
    return line;
}

// "[name]" with blanks allowed around; a header without "]" takes the rest of
// the line, which is how a damaged header still separates sections.
bool sectionOf(std::string_view line, std::string_view& name)
{
    line = trim(line);
    if (line.empty() || line.front() != '[')
        return false;
    line.remove_prefix(1);
    const auto close = line.rfind(']');
    name = trim(close == std::string_view::npos ? line : std::string_view(line.data(), close));
    return true;
}

// "key=value"; lines starting with ";" are comments, lines without "=" carry
// no value and are left alone.
bool keyOf(std::string_view line, std::string_view& key, std::string_view& value)
{
    line = trim(line);
    if (line.empty() || line.front() == ';' || line.front() == '[')
        return false;
    auto eq = line.find('=');
    if (eq == std::string_view::npos)
        return false;
    key = trim({line.data(), eq});
    value = trim({line.data() + eq + 1, line.size() - eq - 1});
    return !key.empty();
}

bool hasLineBreakOrNul(std::string_view s)
{
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool validName(std::string_view name, bool isSection)
{
    name = trim(name);
    if (name.empty() || hasLineBreakOrNul(name))
        return false;
    if (isSection)
        return name.find(']') == std::string_view::npos;
    return name.find('=') == std::string_view::npos && name.front() != ';' && name.front() != '[';
}

std::string keyLine(std::string_view key, std::string_view value)
{
    std::string line;
    line.reserve(key.size() + 1 + value.size());
    line.append(key).append(1, '=').append(value);
    return line;
}

using profile_detail::SectionHead;

// Every section header of the lines, in file order. Reads and writes look a
// section up among these instead of parsing every line again for each key.
std::vector<SectionHead> headsOf(const std::vector<std::string>& lines)
{
    std::vector<SectionHead> heads;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string_view line = i == 0 ? withoutBom(lines[i]) : std::string_view(lines[i]);
        std::string_view name;
        if (sectionOf(line, name))
            heads.push_back({i, static_cast<std::size_t>(name.data() - lines[i].data()), name.size()});
    }
    return heads;
}

// Index into heads of the first section of that name, or -1.
long findHead(const std::vector<std::string>& lines, const std::vector<SectionHead>& heads, std::string_view section)
{
    section = trim(section);
    for (std::size_t h = 0; h < heads.size(); ++h) {
        const SectionHead& head = heads[h];
        if (sameName(std::string_view(lines[head.line]).substr(head.nameAt, head.nameLen), section))
            return static_cast<long>(h);
    }
    return -1;
}

// The line after the last one of section h: the next header or the end.
std::size_t sectionEnd(const std::vector<std::string>& lines, const std::vector<SectionHead>& heads, long h)
{
    const auto next = static_cast<std::size_t>(h) + 1;
    return next < heads.size() ? heads[next].line : lines.size();
}

// heads must be headsOf(lines); it is kept so for the next entry.
void setInLines(std::vector<std::string>& lines, std::vector<SectionHead>& heads, std::string_view section,
                std::string_view key, std::string_view value)
{
    section = trim(section);
    key = trim(key);
    const long h = findHead(lines, heads, section);
    if (h < 0) {
        if (!lines.empty() && !trim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back("[" + std::string(section) + "]");
        heads.push_back({lines.size() - 1, 1, section.size()});
        lines.push_back(keyLine(key, value));
        return;
    }
    const std::size_t head = heads[static_cast<std::size_t>(h)].line;
    const std::size_t end = sectionEnd(lines, heads, h);
    std::size_t lastFilled = head;
    for (std::size_t i = head + 1; i < end; ++i) {
        std::string_view k, v;
        if (keyOf(lines[i], k, v) && sameName(k, key)) {
            // The stored spelling of the key stays; only the value changes.
            lines[i] = keyLine(k, value);
            return;
        }
        if (!trim(lines[i]).empty())
            lastFilled = i;
    }
    // New keys go after the section's last line, before the blank lines that
    // separate it from the next section.
    lines.insert(lines.begin() + static_cast<long>(lastFilled) + 1, keyLine(key, value));
    for (std::size_t later = static_cast<std::size_t>(h) + 1; later < heads.size(); ++later)
        ++heads[later].line;
}

int writeAllBytes(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0) {
            if (errno == EINTR)
                continue;
            return errnoToCode(errno);
        }
        if (w == 0)
            return oserr::kWriteFault;
        done += static_cast<std::size_t>(w);
    }
    return 0;
}

// Writes, syncs and closes; returns the first error.
int finishFile(int fd, const std::string& bytes)
{
    int rc = writeAllBytes(fd, bytes);
    if (rc == 0 && ::fsync(fd) != 0 && errno != EINVAL)
        rc = errnoToCode(errno);
    if (::close(fd) != 0 && rc == 0 && errno != EINTR)
        rc = errnoToCode(errno);
    return rc;
}

std::string directoryOf(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

Profile::Profile(std::string path) : Profile(std::move(path), Options{}) {}

Profile::Profile(std::string path, Options options, FileSystem& fs)
    : m_path(std::move(path)), m_options(options), m_fs(&fs)
{
}

namespace {

// The whole file; a missing one gives 0, no bytes and existed false.
int readPosix(const std::string& path, std::string& bytes, bool& existed)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return 0;
        return errnoToCode(errno);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        return errnoToCode(e);
    }
    existed = true;
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return oserr::kAccessDenied;
    }
    if (static_cast<std::size_t>(st.st_size) > Profile::kMaxFileSize) {
        ::close(fd);
        return Profile::kFileTooLarge;
    }
    char buf[16384];
    for (;;) {
        ssize_t r = ::read(fd, buf, sizeof buf);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            int e = errno;
            ::close(fd);
            return errnoToCode(e);
        }
        if (r == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(r));
        // The file may grow while we read it; the cap holds all the same.
        if (bytes.size() > Profile::kMaxFileSize) {
            ::close(fd);
            return Profile::kFileTooLarge;
        }
    }
    ::close(fd);
    return 0;
}

// The same through another file system of the seam (in memory in tests).
int readThrough(FileSystem& fs, const std::string& path, std::string& bytes, bool& existed)
{
    FileHandle f;
    if (int rc = f.open(fs, path, Access::ReadOnly, Share::NoSharing))
        return rc == oserr::kFileNotFound ? 0 : rc;
    existed = true;
    const std::int64_t size = f.size();
    if (size < 0)
        return oserr::kReadFault;
    if (static_cast<std::uint64_t>(size) > Profile::kMaxFileSize)
        return Profile::kFileTooLarge;
    bytes.resize(static_cast<std::size_t>(size));
    const std::int64_t n = f.readAt(0, bytes.data(), bytes.size());
    if (n < 0)
        return oserr::kReadFault;
    bytes.resize(static_cast<std::size_t>(n));
    return 0;
}

// Puts the bytes at path through another file system of the seam: a new
// file is created, an existing one replaced by a file renamed over it that
// keeps its mode.
int writeThrough(FileSystem& fs, const std::string& path, const std::string& bytes, bool existed, bool privateFile)
{
    auto writeAll = [&bytes](FileHandle& f) {
        int rc = f.writeAt(0, bytes.data(), bytes.size());
        return rc != 0 ? rc : f.sync();
    };
    if (!existed) {
        FileHandle f;
        int rc = f.createNew(fs, path);
        if (rc == 0) {
            rc = f.setMode(privateFile ? 0600 : 0644);
            return rc != 0 ? rc : writeAll(f);
        }
        if (rc != oserr::kFileExists)
            return rc;
        // Someone created it meanwhile: replace it like an existing file.
    }
    int mode = privateFile ? 0600 : 0644;
    {
        FileHandle old;
        if (old.open(fs, path, Access::ReadOnly, Share::NoSharing) == 0 && old.mode() >= 0)
            mode = old.mode();
    }
    const std::string tmp = path + ".new";
    FileHandle f;
    int rc = f.create(fs, tmp);
    if (rc == 0)
        rc = f.setMode(mode);
    if (rc == 0)
        rc = writeAll(f);
    f.close();
    if (rc == 0)
        rc = fs.rename(tmp, path);
    if (rc == 0)
        return fs.syncDirectoryOf(path);
    fs.remove(tmp);
    return rc;
}

} // namespace

int Profile::load(std::vector<std::string>& lines, bool* existed) const
{
    lines.clear();
    std::string bytes;
    bool found = false;
    const int rc = m_fs == &FileSystem::posix() ? readPosix(m_path, bytes, found) : readThrough(*m_fs, m_path, bytes, found);
    if (existed)
        *existed = found;
    if (rc != 0)
        return rc;

    lines.reserve(static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1);
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t nl = bytes.find('\n', start);
        std::size_t end = nl == std::string::npos ? bytes.size() : nl;
        std::size_t len = end - start;
        // Every carriage return before the line feed goes, not only the one
        // of a CRLF: a stray one left in the text would be dropped by the
        // next rewrite and change what the line means ("[S\r" becoming "[S").
        while (len > 0 && bytes[start + len - 1] == '\r')
            --len;
        lines.emplace_back(bytes, start, len);
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return 0;
}

int Profile::store(const std::vector<std::string>& lines, bool existed) const
{
    const char* eol = m_options.lineEnd == LineEnd::CrLf ? "\r\n" : "\n";
    std::size_t total = 0;
    for (const auto& l : lines)
        total += l.size() + 2;
    std::string bytes;
    bytes.reserve(total);
    for (const auto& l : lines) {
        bytes += l;
        bytes += eol;
    }
    if (m_fs != &FileSystem::posix())
        return writeThrough(*m_fs, m_path, bytes, existed, m_options.privateFile);

    // Replace through the real file, not a symbolic link in front of it.
    std::string target = m_path;
    if (existed) {
        if (char* real = ::realpath(m_path.c_str(), nullptr)) {
            target = real;
            std::free(real);
        }
    }

    if (!existed) {
        int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                        m_options.privateFile ? 0600 : 0666);
        if (fd >= 0)
            return finishFile(fd, bytes);
        if (errno != EEXIST)
            return errnoToCode(errno);
        // Someone created it meanwhile: replace it like an existing file.
    }

    // A file of our own is replaced by a new one renamed over it, so a crash
    // never leaves half a file; it keeps the old mode and group. A file of
    // another account (a workstation directory shared by several users) is
    // rewritten in place, which keeps its owner for the others.
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0 && st.st_uid == ::geteuid()) {
        std::string tmp = target + ".XXXXXX";
        int fd = ::mkstemp(tmp.data());
        if (fd >= 0) {
            int rc = ::fchmod(fd, st.st_mode & 07777) == 0 ? 0 : errnoToCode(errno);
            if (::fchown(fd, static_cast<uid_t>(-1), st.st_gid) != 0) {
                // Not a member of the old group: our own group will do.
            }
            if (rc == 0)
                rc = finishFile(fd, bytes);
            else
                ::close(fd);
            if (rc == 0 && ::rename(tmp.c_str(), target.c_str()) == 0) {
                // Make the rename itself durable.
                int dfd = ::open(directoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
                if (dfd >= 0) {
                    ::fsync(dfd);
                    ::close(dfd);
                }
                return 0;
            }
            ::unlink(tmp.c_str());
        }
    }

    // No new file possible beside it (read-only directory, sticky directory
    // owned by another user): rewrite in place, as Windows does.
    int fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return errnoToCode(errno);
    return finishFile(fd, bytes);
}

Profile::Snapshot Profile::snapshot() const
{
    Snapshot snap;
    if (load(snap.m_lines) != 0)
        snap.m_lines.clear();
    snap.m_heads = headsOf(snap.m_lines);
    return snap;
}

std::optional<std::string> Profile::value(std::string_view section, std::string_view key) const
{
    return snapshot().value(section, key);
}

std::string Profile::readString(std::string_view section, std::string_view key, std::string_view def) const
{
    return snapshot().readString(section, key, def);
}

int Profile::readInt(std::string_view section, std::string_view key, int def) const
{
    return snapshot().readInt(section, key, def);
}

bool Profile::readBool(std::string_view section, std::string_view key, bool def) const
{
    return snapshot().readBool(section, key, def);
}

std::optional<std::string> Profile::Snapshot::value(std::string_view section, std::string_view key) const
{
    const long h = findHead(m_lines, m_heads, section);
    if (h < 0)
        return std::nullopt;
    key = trim(key);
    const std::size_t end = sectionEnd(m_lines, m_heads, h);
    for (std::size_t i = m_heads[static_cast<std::size_t>(h)].line + 1; i < end; ++i) {
        std::string_view k, v;
        if (keyOf(m_lines[i], k, v) && sameName(k, key))
            return std::string(v);
    }
    return std::nullopt;
}

std::string Profile::Snapshot::readString(std::string_view section, std::string_view key, std::string_view def) const
{
    auto v = value(section, key);
    return v ? *v : std::string(def);
}

int Profile::Snapshot::readInt(std::string_view section, std::string_view key, int def) const
{
    auto v = value(section, key);
    if (!v)
        return def;
    auto n = parseInt(*v);
    if (!n || *n < INT_MIN || *n > INT_MAX)
        return def;
    return static_cast<int>(*n);
}

bool Profile::Snapshot::readBool(std::string_view section, std::string_view key, bool def) const
{
    auto v = value(section, key);
    if (!v)
        return def;
    auto b = parseBool(*v);
    return b ? *b : def;
}

int Profile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    return writeAll({Entry{std::string(section), std::string(key), std::string(value)}});
}

int Profile::writeInt(std::string_view section, std::string_view key, long long value)
{
    return writeString(section, key, std::to_string(value));
}

int Profile::writeBool(std::string_view section, std::string_view key, bool value)
{
    return writeString(section, key, value ? "1" : "0");
}

int Profile::writeAll(const std::vector<Entry>& entries)
{
    // A line break in a value would split it into a second line that a later
    // read takes for a key or a section: refuse instead of writing it.
    for (const auto& e : entries)
        if (!validName(e.section, true) || !validName(e.key, false) || hasLineBreakOrNul(e.value))
            return kInvalidParameter;
    std::vector<std::string> lines;
    bool existed = false;
    if (int rc = load(lines, &existed))
        return rc;
    std::vector<SectionHead> heads = headsOf(lines);
    for (const auto& e : entries)
        setInLines(lines, heads, e.section, e.key, trim(e.value));
    return store(lines, existed);
}

int Profile::eraseSection(std::string_view section)
{
    if (!validName(section, true))
        return kInvalidParameter;
    std::vector<std::string> lines;
    bool existed = false;
    if (int rc = load(lines, &existed))
        return rc;
    const std::vector<SectionHead> heads = headsOf(lines);
    const long h = findHead(lines, heads, section);
    if (h < 0)
        return 0;
    const std::size_t head = heads[static_cast<std::size_t>(h)].line;
    const std::size_t end = sectionEnd(lines, heads, h);
    lines.erase(lines.begin() + static_cast<long>(head), lines.begin() + static_cast<long>(end));
    return store(lines, existed);
}

std::optional<long long> Profile::parseInt(std::string_view text)
{
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (!text.empty() && text.front() == '$') {
        base = 16;
        text.remove_prefix(1);
    } else if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty())
        return std::nullopt;
    unsigned long long n = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && lowerAscii(c) >= 'a' && lowerAscii(c) <= 'f')
            d = lowerAscii(c) - 'a' + 10;
        else
            return std::nullopt;
        n = n * static_cast<unsigned>(base) + static_cast<unsigned>(d);
        if (n > static_cast<unsigned long long>(LLONG_MAX))
            return std::nullopt;
    }
    auto v = static_cast<long long>(n);
    return negative ? -v : v;
}

std::optional<bool> Profile::parseBool(std::string_view text)
{
    text = trim(text);
    if (auto n = parseInt(text))
        return *n != 0;
    for (auto t : {"true", "yes", "t", "y"})
        if (sameName(text, t))
            return true;
    for (auto f : {"false", "no", "f", "n"})
        if (sameName(text, f))
            return false;
    return std::nullopt;
}

} // namespace qb::platform
