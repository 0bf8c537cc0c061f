// The memo file (.dbt) of a table: 512-byte blocks, block 0 the header
// (next free block at 0, write counter at 32), each memo a run of blocks
// ended by 0x1A. Text is kept as raw stored bytes (OEM code page); any
// conversion happens above the engine.
//
// Reads are bounded: a memo without 0x1A ends at the end of the file and no
// memo is read past kMaxMemoBytes, so a damaged file cannot make a reader run
// away. Not thread-safe; one instance per work area.
#pragma once

#include "platform/Files.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qb::engine {

class MemoFile {
public:
    static constexpr std::int64_t kBlockSize = 512;
    static constexpr std::int64_t kMaxMemoBytes = 16 * 1024 * 1024;
    static constexpr std::int64_t kLockOffset = 10;
    static constexpr int kLockAttempts = 11;

    // Writes a new, empty memo file (header block with next free block 1,
    // then 0x1A). Returns 0 or an error code.
    static int create(platform::FileSystem& fs, const std::string& path);
    // As create, but only when no file exists there (then kFileExists).
    static int createMissing(platform::FileSystem& fs, const std::string& path);

    int open(platform::FileSystem& fs, const std::string& path, platform::Access access, platform::Share share);
    void close() { m_file.close(); }
    bool isOpen() const { return m_file.isOpen(); }
    const std::string& path() const { return m_file.path(); }
    platform::FileHandle& file() { return m_file; }

    // Raw text of the memo starting at block (without the 0x1A). Returns 0,
    // 1003 when the block lies outside the file, or a read error code.
    int read(std::int64_t block, std::string& text);

    // Appends text as a new memo in fresh blocks and updates the header.
    // When lockIt is set the lock byte is taken first (kLockAttempts tries)
    // and released after the header update. Returns 0, 1017 (lock), 1018
    // (unlock) or a write error code; block receives the first block.
    int write(const std::string& text, bool lockIt, std::int64_t& block);

    // Splits stored memo text into lines: at CR (an LF after it dropped) and
    // at a soft return 0x8D only when an LF follows it (a bare 0x8D is a
    // letter in the OEM code pages). Lines longer than the limit come back in
    // pieces: with wrapWidth > 0 wrapped at a blank where possible, else cut
    // at 254 characters.
    static std::vector<std::string> splitLines(const std::string& text, int wrapWidth);
    // Joins lines with CR LF. Bytes 0x1A cannot be stored inside a memo (it
    // ends the text) and are dropped.
    static std::string joinLines(const std::vector<std::string>& lines);

private:
    platform::FileHandle m_file;
};

} // namespace qb::engine
