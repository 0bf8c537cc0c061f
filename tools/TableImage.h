// The raw bytes of one table file and the layout its header describes.
//
// Works on bytes, not through the engine, so that it can describe a damaged
// file instead of refusing it: every header value is kept as stored, and only
// the facts without which no record can be cut out make the layout unusable.
#pragma once

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

    // Reads the whole file through a shared open (so a station packing the
    // table exclusively keeps us out) and parses its header. Returns false
    // with error() set when the file cannot be read at all; a file that reads
    // but whose layout is unusable returns true with layoutProblem() set.
    bool load(const std::string& path);

    const std::string& path() const { return m_path; }
    const std::string& error() const { return m_error; }
    std::string_view bytes() const { return m_bytes; }
    std::int64_t size() const { return static_cast<std::int64_t>(m_bytes.size()); }

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

    // Whole records between the header and the end of the file. Stations
    // that share a table count records this way too, so dump shows what
    // they see even when the header count lags behind.
    std::int64_t recordsInFile() const;
    // Record r (1-based). Requires usable() and 1 <= r <= recordsInFile().
    std::string_view record(std::int64_t r) const;
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

    std::string m_path;
    std::string m_error;
    std::string m_bytes;
    std::string m_layoutProblem;
    int m_version = 0;
    bool m_dbase2 = false;
    int m_year = 0, m_month = 0, m_day = 0;
    std::uint32_t m_count = 0;
    std::int64_t m_headerLength = 0;
    std::int64_t m_recordLength = 0;
    std::int64_t m_terminator = -1;
    std::vector<RawField> m_fields;
};

// Describes an error code of the platform layer in words ("file not found").
std::string describeFileError(int code);
// Reads a whole file through a shared open; returns 0 or an error code and
// names a directory or other non-regular file as error EISDIR / EINVAL.
int readSharedFile(const std::string& path, std::string& bytes);

} // namespace qb::tools
