#include "MemoImage.h"

#include "TableImage.h"

namespace qb::tools {

bool MemoImage::load(const std::string& path)
{
    m_path = path;
    m_error.clear();
    if (int rc = readSharedFile(path, m_bytes)) {
        m_error = describeFileError(rc);
        return false;
    }
    return true;
}

std::uint32_t MemoImage::nextFreeBlock() const
{
    auto* p = reinterpret_cast<const unsigned char*>(m_bytes.data());
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

MemoImage::Memo MemoImage::read(std::int64_t block) const
{
    Memo m;
    if (block < 1 || block * kBlockSize >= size() - 1) {
        m.status = Status::OutsideFile;
        return m;
    }
    auto start = static_cast<std::size_t>(block * kBlockSize);
    auto end = m_bytes.find('\x1A', start);
    if (end == std::string::npos) {
        m.status = Status::NoEndByte;
        m.bytes = m_bytes.substr(start);
        m.lastBlock = (size() - 1) / kBlockSize;
        return m;
    }
    m.bytes = m_bytes.substr(start, end - start);
    m.lastBlock = static_cast<std::int64_t>(end) / kBlockSize;
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
