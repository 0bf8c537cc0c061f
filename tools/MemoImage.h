// The raw bytes of a memo (.dbt) file: 512-byte blocks, block 0 the header
// with the next free block at offset 0, each memo ending in 0x1A.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qb::tools {

class MemoImage {
public:
    static constexpr std::int64_t kBlockSize = 512;

    // Reads the whole file through a shared open. False with error() set
    // when it cannot be read.
    bool load(const std::string& path);
    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }
    std::int64_t size() const { return static_cast<std::int64_t>(m_bytes.size()); }
    bool hasHeader() const { return size() >= kBlockSize; }
    // Next free block from the header; requires hasHeader().
    std::uint32_t nextFreeBlock() const;

    enum class Status { Ok, OutsideFile, NoEndByte };
    struct Memo {
        Status status = Status::Ok;
        std::string bytes;          // raw stored text without the end byte
        std::int64_t lastBlock = 0; // block holding the end byte (or the file end)
    };
    // The memo starting at block (>= 1). A block whose start is not below
    // size - 1 is outside the file, as the engine judges it; text running to
    // the end of the file without an end byte comes back with NoEndByte.
    Memo read(std::int64_t block) const;

    // Stored memo text as the program shows it: lines split at CR or the soft
    // CR 0x8D (a line feed right after either dropped), joined with "\n".
    static std::string joinLines(std::string_view stored);

    // Parses a memo field: trimmed digits give the block, blanks give 0;
    // false for anything else (the engine would read it as 0).
    static bool parsePointer(std::string_view field, std::int64_t& block);

private:
    std::string m_path;
    std::string m_error;
    std::string m_bytes;
};

} // namespace qb::tools
