#include "TableImage.h"

#include "TableFiles.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cerrno>
#include <cstring>

namespace qb::tools {

namespace pf = qb::platform;

namespace {

// Header bytes held in memory: a header length is 16 bits, so no header is
// longer than this.
constexpr std::size_t kMaxHeadBytes = 65536;
// Records are read in blocks of about this many bytes.
constexpr std::int64_t kBlockBytes = 64 * 1024;

} // namespace

bool TableImage::load(const std::string& path, bool shareLock)
{
    m_path = path;
    m_error.clear();
    m_layoutProblem.clear();
    m_fields.clear();
    m_head.clear();
    m_block.clear();
    m_blockCount = 0;
    m_terminator = -1;
    m_version = 0;
    m_count = 0;
    m_headerLength = m_recordLength = 0;
    if (int rc = openRegular(*m_fs, path, m_file, pf::Access::ReadOnly, shareLock ? pf::Share::DenyNone : pf::Share::NoSharing,
                             false)) {
        m_error = describeFileError(rc);
        return false;
    }
    // The size from the open descriptor, not from a stat of the name, which
    // NFS may answer from its attribute cache.
    m_size = m_file.size();
    if (m_size < 0) {
        m_error = describeFileError(pf::errnoToCode(errno));
        return false;
    }
    m_head.resize(static_cast<std::size_t>(std::min<std::int64_t>(m_size, kMaxHeadBytes)));
    std::int64_t done = 0;
    while (done < static_cast<std::int64_t>(m_head.size())) {
        std::int64_t n = m_file.readAt(done, m_head.data() + done, m_head.size() - static_cast<std::size_t>(done));
        if (n < 0) {
            m_error = describeFileError(pf::errnoToCode(errno));
            return false;
        }
        if (n == 0)
            break; // shrank under us: keep what was there
        done += n;
    }
    m_head.resize(static_cast<std::size_t>(done));
    if (done < std::min<std::int64_t>(m_size, kMaxHeadBytes))
        m_size = done;
    parse();
    return true;
}

std::uint32_t TableImage::u16(std::size_t off) const
{
    auto* p = reinterpret_cast<const unsigned char*>(m_head.data()) + off;
    return p[0] | (p[1] << 8);
}

std::uint32_t TableImage::u32(std::size_t off) const
{
    auto* p = reinterpret_cast<const unsigned char*>(m_head.data()) + off;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void TableImage::parse()
{
    if (m_size < 32) {
        m_layoutProblem = "file is " + std::to_string(m_size) + " bytes long, shorter than a table header (32)";
        return;
    }
    m_version = static_cast<unsigned char>(m_head[0]);
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
    m_year = 1900 + static_cast<unsigned char>(m_head[1]);
    m_month = static_cast<unsigned char>(m_head[2]);
    m_day = static_cast<unsigned char>(m_head[3]);
    m_count = u32(4);
    m_headerLength = u16(8);
    m_recordLength = u16(10);
    // Descriptors run until the terminator; the header length bounds the
    // search so a missing terminator does not swallow the records.
    const auto held = static_cast<std::int64_t>(m_head.size());
    std::int64_t limit = std::min<std::int64_t>(m_headerLength > 0 ? m_headerLength : held, held);
    std::int64_t off = 32;
    while (off < limit && m_head[static_cast<std::size_t>(off)] != '\x0D' && off + 32 <= limit) {
        const char* d = m_head.data() + off;
        RawField f;
        std::size_t nameLen = ::strnlen(d, 11);
        f.name.assign(d, nameLen);
        f.type = d[11];
        f.length = static_cast<unsigned char>(d[16]);
        f.decimals = static_cast<unsigned char>(d[17]);
        m_fields.push_back(std::move(f));
        off += 32;
    }
    m_terminator = (off < held && m_head[static_cast<std::size_t>(off)] == '\x0D') ? off : -1;
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
    m_month = static_cast<unsigned char>(m_head[3]);
    m_day = static_cast<unsigned char>(m_head[4]);
    m_year = 1900 + static_cast<unsigned char>(m_head[5]);
    m_recordLength = u16(6);
    m_headerLength = kDbase2HeaderLength;
    if (size() < kDbase2HeaderLength) {
        m_layoutProblem = "dBASE II header is less than 521 bytes";
        return;
    }
    for (int i = 0; i < 32; ++i) {
        std::int64_t off = 8 + 16 * i;
        if (m_head[static_cast<std::size_t>(off)] == '\x0D') {
            m_terminator = off;
            return;
        }
        const char* d = m_head.data() + off;
        RawField f;
        f.name.assign(d, ::strnlen(d, 11));
        f.type = d[11];
        f.length = static_cast<unsigned char>(d[12]);
        f.decimals = static_cast<unsigned char>(d[15]);
        m_fields.push_back(std::move(f));
    }
    if (m_head[8 + 16 * 32] == '\x0D') {
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
    if (r < m_blockFirst || r >= m_blockFirst + m_blockCount) {
        // A block of whole records starting at r: stations read ahead the
        // same way, and a sequential pass costs one read per block.
        const std::int64_t perBlock = std::max<std::int64_t>(1, kBlockBytes / m_recordLength);
        const std::int64_t count = std::min<std::int64_t>(perBlock, recordsInFile() - r + 1);
        m_blockFirst = r;
        m_blockCount = 0;
        if (count < 1)
            return {};
        m_block.resize(static_cast<std::size_t>(count * m_recordLength));
        const std::int64_t start = m_headerLength + (r - 1) * m_recordLength;
        std::int64_t done = 0;
        while (done < static_cast<std::int64_t>(m_block.size())) {
            std::int64_t n = m_file.readAt(start + done, m_block.data() + done, m_block.size() - static_cast<std::size_t>(done));
            if (n <= 0)
                break;
            done += n;
        }
        m_blockCount = done / m_recordLength;
        if (m_blockCount < 1)
            return {};
    }
    auto off = static_cast<std::size_t>((r - m_blockFirst) * m_recordLength);
    return std::string_view(m_block).substr(off, static_cast<std::size_t>(m_recordLength));
}

int TableImage::lastByte() const
{
    unsigned char b = 0;
    if (m_size < 1 || m_file.readAt(m_size - 1, &b, 1) != 1)
        return -1;
    return b;
}

std::vector<std::string> TableImage::layoutDisagreements() const
{
    std::vector<std::string> out;
    if (m_size < 32 || m_fields.empty())
        return {m_layoutProblem.empty() ? std::string("header holds no field descriptors") : m_layoutProblem};
    std::int64_t sum = 1;
    int index = 0;
    for (const RawField& f : m_fields) {
        ++index;
        sum += f.length;
        if (std::string_view("CNFLDM").find(f.type) == std::string_view::npos || f.type == 0)
            out.push_back("field " + std::to_string(index) + " has a type no station knows");
        else if (f.length < 1)
            out.push_back("field " + std::to_string(index) + " has length 0");
    }
    if (sum != m_recordLength)
        out.push_back("record length " + std::to_string(m_recordLength) + " disagrees with the fields (1 + their lengths = "
                      + std::to_string(sum) + ")");
    if (!m_dbase2) {
        const auto n = static_cast<std::int64_t>(m_fields.size());
        if (m_headerLength != 32 * n + 33)
            out.push_back("header length " + std::to_string(m_headerLength) + " disagrees with the "
                          + std::to_string(n) + " field descriptors (" + std::to_string(32 * n + 33) + ")");
        else if (m_terminator != 32 + 32 * n)
            out.push_back("the header terminator 0x0D is missing after the field descriptors");
    } else if (m_terminator < 0) {
        out.push_back("the header terminator 0x0D is missing after the field descriptors");
    }
    if (!m_layoutProblem.empty() && out.empty())
        out.push_back(m_layoutProblem);
    return out;
}

std::string TableImage::findMemoFile() const
{
    auto slash = m_path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : m_path.substr(0, slash);
    std::string base = slash == std::string::npos ? m_path : m_path.substr(slash + 1);
    auto dot = base.find_last_of('.');
    std::string stem = dot == std::string::npos ? base : base.substr(0, dot);
    std::string prefix = slash == std::string::npos ? "" : m_path.substr(0, slash + 1);

    std::string exact = prefix + stem + ".dbt";
    std::string upper = prefix + stem + ".DBT";
    if (isRegularFile(*m_fs, exact))
        return exact;
    if (isRegularFile(*m_fs, upper))
        return upper;
    // Windows stations name files in any case; so may the copy on the share.
    const std::string want = platform::asciiLower(stem + ".dbt");
    for (const std::string& name : m_fs->list(dir))
        if (platform::asciiLower(name) == want && isRegularFile(*m_fs, prefix + name))
            return prefix + name;
    return {};
}

} // namespace qb::tools
