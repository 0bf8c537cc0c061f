#include "MemoFile.h"

#include "engine/Engine.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace qb::engine {

namespace {
void putU32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

std::uint32_t getU32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
           | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
} // namespace

int MemoFile::create(platform::FileSystem& fs, const std::string& path)
{
    platform::FileHandle f;
    if (int rc = f.create(fs, path))
        return rc;
    unsigned char head[kBlockSize + 1] = {};
    putU32(head, 1);
    head[kBlockSize] = 0x1A;
    return f.writeAt(0, head, sizeof head);
}

int MemoFile::createMissing(platform::FileSystem& fs, const std::string& path)
{
    std::string head(kBlockSize + 1, '\0');
    head[0] = 1;
    head[kBlockSize] = '\x1A';
    return fs.publish(path, head);
}

int MemoFile::open(platform::FileSystem& fs, const std::string& path, platform::Access access, platform::Share share)
{
    return m_file.open(fs, path, access, share);
}

int MemoFile::read(std::int64_t block, std::string& text)
{
    text.clear();
    std::int64_t size = m_file.size();
    if (size < 0)
        return platform::errnoToCode(errno);
    if (block < 1 || block > (INT64_MAX / kBlockSize))
        return err::kInvalidMemoAddress;
    // A memo another station has just written may lie past the size a
    // network client still has cached; seeking to the end asks the server.
    if (block * kBlockSize >= size - 1)
        size = m_file.endOffset();
    if (size < 0 || block * kBlockSize >= size - 1)
        return err::kInvalidMemoAddress;
    std::int64_t off = block * kBlockSize;
    char buf[kBlockSize];
    while (off < size && static_cast<std::int64_t>(text.size()) < kMaxMemoBytes) {
        std::int64_t n = m_file.readAt(off, buf, sizeof buf);
        if (n < 0)
            return err::kReadError;
        if (n == 0)
            break;
        const void* end = std::memchr(buf, 0x1A, static_cast<std::size_t>(n));
        if (end) {
            text.append(buf, static_cast<std::size_t>(static_cast<const char*>(end) - buf));
            break;
        }
        text.append(buf, static_cast<std::size_t>(n));
        off += n;
    }
    if (static_cast<std::int64_t>(text.size()) > kMaxMemoBytes)
        text.resize(static_cast<std::size_t>(kMaxMemoBytes));
    return 0;
}

int MemoFile::write(const std::string& text, bool lockIt, std::int64_t& block)
{
    block = 0;
    if (lockIt) {
        bool locked = false;
        for (int i = 0; i < kLockAttempts && !locked; ++i) {
            platform::LockResult r = m_file.lock(kLockOffset, 1);
            if (r == platform::LockResult::Locked)
                locked = true;
            else if (r == platform::LockResult::Lost)
                break;
            else if (i + 1 < kLockAttempts)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        if (!locked)
            return err::kMemoLock;
    }

    int rc = 0;
    // Where the memo goes is decided by the size under the lock, asked of
    // the server (see the engine's lock module).
    std::int64_t size = m_file.endOffset();
    if (size < 0)
        rc = err::kReadError;
    std::int64_t start = 0;
    if (rc == 0) {
        // A new memo file (header + 0x1A) gets block 1 over its end byte;
        // otherwise the file is padded to whole blocks and the memo follows.
        if (size == kBlockSize + 1)
            start = 1;
        else
            start = std::max<std::int64_t>(1, (size + kBlockSize - 1) / kBlockSize);
        std::int64_t padFrom = size;
        std::int64_t padTo = start * kBlockSize;
        if (padTo > padFrom && size != kBlockSize + 1) {
            std::string zeros(static_cast<std::size_t>(padTo - padFrom), '\0');
            rc = m_file.writeAt(padFrom, zeros.data(), zeros.size());
        }
    }
    std::int64_t newSize = 0;
    if (rc == 0) {
        std::string data = text;
        data.push_back('\x1A');
        std::size_t blocks = (data.size() + kBlockSize - 1) / kBlockSize;
        data.resize(blocks * kBlockSize, '\0');
        rc = m_file.writeAt(start * kBlockSize, data.data(), data.size());
        newSize = start * kBlockSize + static_cast<std::int64_t>(data.size());
        std::int64_t actual = m_file.endOffset();
        if (actual > newSize)
            newSize = actual;
    }
    if (rc == 0) {
        unsigned char head[36] = {};
        std::int64_t n = m_file.readAt(0, head, sizeof head);
        if (n != static_cast<std::int64_t>(sizeof head))
            std::memset(head, 0, sizeof head);
        putU32(head, static_cast<std::uint32_t>((newSize + kBlockSize - 1) / kBlockSize));
        putU32(head + 32, getU32(head + 32) + 1);
        rc = m_file.writeAt(0, head, 4);
        if (rc == 0)
            rc = m_file.writeAt(32, head + 32, 4);
        if (rc == 0)
            rc = m_file.sync();
    }
    if (rc == 0)
        block = start; // the memo is in place even if the unlock below fails
    if (lockIt && m_file.unlock(kLockOffset, 1) != 0 && rc == 0)
        rc = err::kMemoUnlock;
    return rc;
}

std::vector<std::string> MemoFile::splitLines(const std::string& text, int wrapWidth)
{
    std::vector<std::string> stored;
    if (text.empty())
        return stored;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        bool nextIsLf = i + 1 < text.size() && text[i + 1] == '\n';
        if (c == 0x0D || (c == 0x8D && nextIsLf)) {
            stored.push_back(std::move(line));
            line.clear();
            if (nextIsLf)
                ++i;
            continue;
        }
        line.push_back(static_cast<char>(c));
    }
    stored.push_back(std::move(line));

    const std::size_t limit = wrapWidth > 0 ? static_cast<std::size_t>(wrapWidth) : 254;
    std::vector<std::string> lines;
    for (auto& s : stored) {
        if (s.size() <= limit) {
            lines.push_back(std::move(s));
            continue;
        }
        std::size_t pos = 0;
        while (s.size() - pos > limit) {
            std::size_t cut = limit;
            if (wrapWidth > 0) {
                // Break after the last blank inside the width when there is one.
                std::size_t blank = s.rfind(' ', pos + limit - 1);
                if (blank != std::string::npos && blank >= pos && blank > pos)
                    cut = blank + 1 - pos;
            }
            lines.push_back(s.substr(pos, cut));
            pos += cut;
        }
        lines.push_back(s.substr(pos));
    }
    return lines;
}

std::string MemoFile::joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += "\r\n";
        for (char c : lines[i])
            if (c != '\x1A')
                text.push_back(c);
    }
    return text;
}

} // namespace qb::engine
