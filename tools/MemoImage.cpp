#include "MemoImage.h"

#include "TableFiles.h"

#include <algorithm>
#include <cerrno>

namespace qb::tools {

bool MemoImage::load(const std::string& path)
{
    m_path = path;
    m_error.clear();
    m_nextFree = 0;
    if (int rc = openRegular(*m_fs, path, m_file, platform::Access::ReadOnly, platform::Share::DenyNone, false)) {
        m_error = describeFileError(rc);
        return false;
    }
    m_size = m_file.size();
    if (m_size < 0) {
        m_error = describeFileError(platform::errnoToCode(errno));
        return false;
    }
    unsigned char p[4] = {};
    if (m_size >= kBlockSize && m_file.readAt(0, p, sizeof p) != static_cast<std::int64_t>(sizeof p)) {
        m_error = "cannot read the header";
        return false;
    }
    m_nextFree = p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
    return true;
}

std::uint32_t MemoImage::nextFreeBlock() const { return m_nextFree; }

MemoImage::Memo MemoImage::read(std::int64_t block) const
{
    Memo m;
    if (block < 1 || block * kBlockSize >= size() - 1) {
        m.status = Status::OutsideFile;
        return m;
    }
    const std::int64_t start = block * kBlockSize;
    char buf[8 * kBlockSize];
    std::int64_t pos = start;
    while (pos < size()) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(sizeof buf, size() - pos));
        std::int64_t n = m_file.readAt(pos, buf, want);
        if (n <= 0) {
            m.status = Status::ReadError;
            m.lastBlock = pos / kBlockSize;
            return m;
        }
        std::string_view got(buf, static_cast<std::size_t>(n));
        auto end = got.find('\x1A');
        if (end != std::string_view::npos) {
            m.bytes.append(got.substr(0, end));
            m.lastBlock = (pos + static_cast<std::int64_t>(end)) / kBlockSize;
            return m;
        }
        m.bytes.append(got);
        pos += n;
        if (static_cast<std::int64_t>(m.bytes.size()) >= kMaxMemoBytes) {
            m.status = Status::TooLong;
            m.lastBlock = (pos - 1) / kBlockSize;
            return m;
        }
    }
    m.status = Status::NoEndByte;
    m.lastBlock = (size() - 1) / kBlockSize;
    return m;
}

std::string MemoImage::joinLines(std::string_view stored)
{
    std::string out;
    out.reserve(stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        char c = stored[i];
        bool lfNext = i + 1 < stored.size() && stored[i + 1] == '\n';
        // A bare 0x8D is the letter ì in the OEM code pages; only 0x8D
        // before a line feed is a soft line break.
        if (c == '\r' || (c == '\x8D' && lfNext)) {
            out += '\n';
            if (i + 1 < stored.size() && stored[i + 1] == '\n')
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

bool MemoImage::parsePointer(std::string_view field, std::int64_t& block)
{
    block = 0;
    auto b = field.find_first_not_of(' ');
    if (b == std::string_view::npos)
        return true;
    auto e = field.find_last_not_of(' ');
    std::string_view digits = field.substr(b, e - b + 1);
    if (digits.size() > 15)
        return false;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return false;
        block = block * 10 + (c - '0');
    }
    return true;
}

} // namespace qb::tools
