#include "TableImage.h"

#include "platform/PosixFile.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace qb::tools {

namespace pf = qb::platform;

std::string describeFileError(int code)
{
    switch (code) {
    case pf::oserr::kFileNotFound: return "file not found";
    case pf::oserr::kPathNotFound: return "path not found";
    case pf::oserr::kAccessDenied: return "access denied";
    case pf::oserr::kTooManyOpenFiles: return "too many open files";
    case pf::oserr::kSharingViolation: return "sharing violation (another program has it open exclusively)";
    case pf::oserr::kReadFault: return "read error";
    case EISDIR: return "is a directory, not a table file";
    case EINVAL: return "is not a regular file";
    default: return std::strerror(code);
    }
}

int readSharedFile(const std::string& path, std::string& bytes)
{
    bytes.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return pf::errnoToCode(errno);
    if (S_ISDIR(st.st_mode))
        return EISDIR;
    if (!S_ISREG(st.st_mode))
        return EINVAL;
    pf::PosixFile f;
    if (int rc = f.open(path, pf::Access::ReadOnly, pf::Share::DenyNone))
        return rc;
    // The size from the open descriptor, not from the stat above, which NFS
    // may answer from its attribute cache.
    std::int64_t size = f.size();
    if (size < 0)
        return pf::errnoToCode(errno);
    bytes.resize(static_cast<std::size_t>(size));
    std::int64_t done = 0;
    while (done < size) {
        std::int64_t n = f.readAt(done, bytes.data() + done, static_cast<std::size_t>(size - done));
        if (n < 0)
            return pf::errnoToCode(errno);
        if (n == 0)
            break; // shrank under us: keep what was there
        done += n;
    }
    bytes.resize(static_cast<std::size_t>(done));
    return 0;
}

bool TableImage::load(const std::string& path)
{
    m_path = path;
    m_error.clear();
    m_layoutProblem.clear();
    m_fields.clear();
    if (int rc = readSharedFile(path, m_bytes)) {
        m_error = describeFileError(rc);
        return false;
    }
    parse();
    return true;
}

std::uint32_t TableImage::u16(std::size_t off) const
{
    auto* p = reinterpret_cast<const unsigned char*>(m_bytes.data()) + off;
    return p[0] | (p[1] << 8);
}

std::uint32_t TableImage::u32(std::size_t off) const
{
    auto* p = reinterpret_cast<const unsigned char*>(m_bytes.data()) + off;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void TableImage::parse()
{
    if (m_bytes.size() < 32) {
        m_layoutProblem = "file is " + std::to_string(m_bytes.size()) + " bytes long, shorter than a table header (32)";
        return;
    }
    m_version = static_cast<unsigned char>(m_bytes[0]);
    switch (m_version & 7) {
    case 3: parseDbase3(); break;
    case 2: parseDbase2(); break;
    default: {
        char buf[80];
        std::snprintf(buf, sizeof buf, "version byte 0x%02X is not that of a dBASE table", m_version);
        m_layoutProblem = buf;
        return;
    }
    }
    if (!m_layoutProblem.empty())
        return;
    if (m_fields.empty()) {
        m_layoutProblem = "header holds no field descriptors";
        return;
    }
    int end = 1;
    for (auto& f : m_fields) {
        f.offset = end;
        end += f.length;
    }
    if (m_recordLength < 1) {
        m_layoutProblem = "record length is 0";
    } else if (end > m_recordLength) {
        m_layoutProblem = "the fields need " + std::to_string(end) + " bytes per record but the record length is "
                          + std::to_string(m_recordLength);
    }
}

void TableImage::parseDbase3()
{
    m_dbase2 = false;
    m_year = 1900 + static_cast<unsigned char>(m_bytes[1]);
    m_month = static_cast<unsigned char>(m_bytes[2]);
    m_day = static_cast<unsigned char>(m_bytes[3]);
    m_count = u32(4);
    m_headerLength = u16(8);
    m_recordLength = u16(10);
    // Descriptors run until the terminator; the header length bounds the
    // search so a missing terminator does not swallow the records.
    std::int64_t limit = std::min<std::int64_t>(m_headerLength > 0 ? m_headerLength : size(), size());
    std::int64_t off = 32;
    while (off < limit && m_bytes[static_cast<std::size_t>(off)] != '\x0D' && off + 32 <= limit) {
        const char* d = m_bytes.data() + off;
        RawField f;
        std::size_t nameLen = ::strnlen(d, 11);
        f.name.assign(d, nameLen);
        f.type = d[11];
        f.length = static_cast<unsigned char>(d[16]);
        f.decimals = static_cast<unsigned char>(d[17]);
        m_fields.push_back(std::move(f));
        off += 32;
    }
    m_terminator = (off < size() && m_bytes[static_cast<std::size_t>(off)] == '\x0D') ? off : -1;
    if (m_headerLength < 33) {
        m_layoutProblem = "header length " + std::to_string(m_headerLength) + " is below the minimum of 33";
    } else if (m_headerLength > size()) {
        m_layoutProblem = "header length " + std::to_string(m_headerLength) + " lies beyond the end of the file ("
                          + std::to_string(size()) + " bytes)";
    }
}

void TableImage::parseDbase2()
{
    m_dbase2 = true;
    m_count = u16(1);
    m_month = static_cast<unsigned char>(m_bytes[3]);
    m_day = static_cast<unsigned char>(m_bytes[4]);
    m_year = 1900 + static_cast<unsigned char>(m_bytes[5]);
    m_recordLength = u16(6);
    m_headerLength = kDbase2HeaderLength;
    if (size() < kDbase2HeaderLength) {
        m_layoutProblem = "dBASE II header is less than 521 bytes";
        return;
    }
    for (int i = 0; i < 32; ++i) {
        std::int64_t off = 8 + 16 * i;
        if (m_bytes[static_cast<std::size_t>(off)] == '\x0D') {
            m_terminator = off;
            return;
        }
        const char* d = m_bytes.data() + off;
        RawField f;
        f.name.assign(d, ::strnlen(d, 11));
        f.type = d[11];
        f.length = static_cast<unsigned char>(d[12]);
        f.decimals = static_cast<unsigned char>(d[15]);
        m_fields.push_back(std::move(f));
    }
    if (m_bytes[8 + 16 * 32] == '\x0D') {
        m_terminator = 8 + 16 * 32;
        return;
    }
    m_layoutProblem = "no field terminator within 32 dBASE II descriptors";
}

std::int64_t TableImage::recordsInFile() const
{
    if (!usable() || size() <= m_headerLength)
        return 0;
    return (size() - m_headerLength) / m_recordLength;
}

std::string_view TableImage::record(std::int64_t r) const
{
    auto off = static_cast<std::size_t>(m_headerLength + (r - 1) * m_recordLength);
    return std::string_view(m_bytes).substr(off, static_cast<std::size_t>(m_recordLength));
}

std::string TableImage::findMemoFile() const
{
    auto slash = m_path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : m_path.substr(0, slash);
    std::string base = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::string prefix = slash == std::string::npos ? "" : m_path.substr(0, slash + 1);

    struct stat st {};
    std::string exact = prefix + stem + ".dbt";
    std::string upper = prefix + stem + ".DBT";
    if (::stat(exact.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return exact;
    if (::stat(upper.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        return upper;
    // Windows stations name files in any case; so may the copy on the share.
    auto lower = [](std::string s) {
        for (auto& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    std::string want = lower(stem + ".dbt");
    std::string found;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d)) {
            if (lower(e->d_name) == want) {
                std::string p = prefix + e->d_name;
                if (::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                    found = p;
                    break;
                }
            }
        }
        ::closedir(d);
    }
    return found;
}

} // namespace qb::tools
