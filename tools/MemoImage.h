// The raw bytes of a memo (.dbt) file: 512-byte blocks, block 0 the header
// with the next free block at offset 0, each memo ending in 0x1A. Memos are
// read from the open file when asked for; nothing else is held in memory.
#pragma once

#include "platform/PosixFile.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qb::tools {

class MemoImage {
public:
    static constexpr std::int64_t kBlockSize = 512;
    // A memo longer than this without its end byte is not read further
    // (a sparse or garbage file could otherwise cost any amount of memory).
    static constexpr std::int64_t kMaxMemoBytes = 4 * 1024 * 1024;

    // Reads files of fs; fs must outlive the image.
    explicit MemoImage(platform::FileSystem& fs = platform::FileSystem::posix()) : m_fs(&fs) {}

    // Opens the file through a shared open (FIFOs and devices refused). False
    // with error() set when it cannot be read.
    bool load(const std::string& path);
    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }
    std::int64_t size() const { return m_size; }
    bool hasHeader() const { return size() >= kBlockSize; }
    // Next free block from the header; requires hasHeader().
    std::uint32_t nextFreeBlock() const;

    enum class Status { Ok, OutsideFile, NoEndByte, TooLong, ReadError };
    struct Memo {
        Status status = Status::Ok;
        std::string bytes;          // raw stored text without the end byte
        std::int64_t lastBlock = 0; // block holding the end byte (or the file end)
    };
    // The memo starting at block (>= 1). A block whose start is not below
    // size - 1 is outside the file, as the engine judges it; text running to
    // the end of the file without an end byte comes back with NoEndByte, and
    // text reaching kMaxMemoBytes without one with TooLong (bytes cut there).
    Memo read(std::int64_t block) const;

    // Stored memo text as the program shows it: lines split at CR or the soft
    // CR 0x8D (a line feed right after either dropped), joined with "\n".
    static std::string joinLines(std::string_view stored);

    // Parses a memo field: trimmed digits give the block, blanks give 0;
    // false for anything else (the engine would read it as 0).
    static bool parsePointer(std::string_view field, std::int64_t& block);

private:
    platform::FileSystem* m_fs;
    std::string m_path;
    std::string m_error;
    platform::FileHandle m_file;
    std::int64_t m_size = 0;
    std::uint32_t m_nextFree = 0;
};

} // namespace qb::tools
