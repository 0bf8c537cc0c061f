// One table file as stored, and the layout its header describes.
//
// Works on bytes, not through the engine, so that it can describe a damaged
// file instead of refusing it: every header value is kept as stored, and only
// the facts without which no record can be cut out make the layout unusable.
// Only the header is held in memory; records are read from the open file in
// blocks as they are asked for, so a table of any size costs the same memory.
#pragma once

#include "platform/PosixFile.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb::tools {

struct RawField {
    std::string name; // as stored: up to the first NUL, at most 11 bytes
    char type = 0;
    int length = 0;
    int decimals = 0;
    int offset = 0; // inside the record; byte 0 is the deletion flag
};

class TableImage {
public:
    static constexpr std::int64_t kDbase2HeaderLength = 521;
    // Record data at or beyond this offset would lie in the lock regions
    // every station uses (the share-mode byte is 0x3FFFFFFF), so no table
    // the stations share can be larger; larger files are refused by dump and
    // repair and not read record by record.
    static constexpr std::int64_t kMaxTableBytes = platform::lockmap::kShareModeByte;

    // Reads files of fs (the real ones unless a test or fuzz target hands
    // over another file system of the seam); fs must outlive the image.
    explicit TableImage(platform::FileSystem& fs = platform::FileSystem::posix()) : m_fs(&fs) {}

    // Opens the file through a shared open (so a station packing the table
    // exclusively keeps us out; shareLock false takes no share-mode lock, for
    // callers that must not show up as a holder) and parses its header.
    // Refuses FIFOs, devices and directories without blocking. Returns false
    // with error() set when the file cannot be read at all; a file that reads
    // but whose layout is unusable returns true with layoutProblem() set.
    bool load(const std::string& path, bool shareLock = true);

    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }
    // Size of the file when it was opened.
    std::int64_t size() const { return m_size; }
    bool tooLarge() const { return m_size > kMaxTableBytes; }

    // Non-empty when records cannot be located; says why.
    const std::string& layoutProblem() const { return m_layoutProblem; }
    bool usable() const { return m_layoutProblem.empty(); }

    // Header values as stored (meaningful once the file has 32 bytes).
    int version() const { return m_version; }
    bool isDbase2() const { return m_dbase2; }
    bool memoFlag() const { return !m_dbase2 && (m_version & 0x80) != 0; }
    int year() const { return m_year; } // full year
    int month() const { return m_month; }
    int day() const { return m_day; }
    std::uint32_t headerCount() const { return m_count; }
    std::int64_t headerLength() const { return m_headerLength; }
    std::int64_t recordLength() const { return m_recordLength; }

    // Descriptors read up to the terminator (or to the header's end).
    const std::vector<RawField>& fields() const { return m_fields; }
    // Offset of the 0x0D terminator, -1 when none was found where expected.
    std::int64_t terminatorOffset() const { return m_terminator; }

    // Where the header lengths disagree with the field descriptors (header
    // length, record length, terminator) or a descriptor is one no station
    // can use (unknown type, length 0): one sentence each, empty when the
    // header can be trusted to locate records the way the descriptors do.
    std::vector<std::string> layoutDisagreements() const;

    // Whole records between the header and the end of the file. Stations
    // that share a table count records this way too, so dump shows what
    // they see even when the header count lags behind.
    std::int64_t recordsInFile() const;
    // Record r (1-based), read from the file. Requires usable() and
    // 1 <= r <= recordsInFile(). The view stays valid until the next call;
    // it is empty when the record could not be read (the file shrank).
    std::string_view record(std::int64_t r) const;
    // The last byte of the file; -1 when the file is empty or unreadable.
    int lastByte() const;
    static std::string_view fieldBytes(std::string_view record, const RawField& f)
    {
        return record.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.length));
    }

    // The companion memo file: same stem, extension "dbt" in any case.
    // Empty when none exists.
    std::string findMemoFile() const;

private:
    void parse();
    void parseDbase3();
    void parseDbase2();
    std::uint32_t u16(std::size_t off) const;
    std::uint32_t u32(std::size_t off) const;

    platform::FileSystem* m_fs;
    std::string m_path;
    std::string m_error;
    platform::FileHandle m_file;
    std::int64_t m_size = 0;
    std::string m_head;
    std::string m_layoutProblem;
    int m_version = 0;
    bool m_dbase2 = false;
    int m_year = 0, m_month = 0, m_day = 0;
    std::uint32_t m_count = 0;
    std::int64_t m_headerLength = 0;
    std::int64_t m_recordLength = 0;
    std::int64_t m_terminator = -1;
    std::vector<RawField> m_fields;
    // Block of whole records read ahead: records m_blockFirst.. in m_block.
    mutable std::string m_block;
    mutable std::int64_t m_blockFirst = 0;
    mutable std::int64_t m_blockCount = 0;
};

} // namespace qb::tools
