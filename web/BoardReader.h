// What the web board shows, read from the shared names table without taking
// a lock or writing a byte in the data directory: the file is read with a
// plain read-only open (no share-mode byte), its bytes go to a private mirror
// outside the data directory, and the board's own load and row order run on
// that mirror, as a workstation's board runs on its q3.dbf.
#pragma once

#include "core/Colors.h"
#include "core/TableNames.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qb::web {

struct WebRow {
    int index = 0; // board index
    std::array<std::string, 5> cells; // name, remark, group, fourth column, date/time as shown
    board::Rgb remarkBackground;
    board::Rgb remarkText;
    bool operator==(const WebRow&) const = default;
};

struct Snapshot {
    // Empty when the board was read; otherwise what went wrong, in the
    // tables' own words, one text per line.
    std::vector<std::string> problems;
    std::array<std::string, 5> titles;
    std::vector<std::string> groups;          // sorted, distinct
    std::vector<WebRow> rows;                 // in the board's default order (name, ascending)
    std::array<std::vector<int>, 5> order;    // board indexes ascending by each column
    bool ok() const { return problems.empty(); }
};

class BoardReader {
public:
    static constexpr const char* kNamesFile = core::namesTableName();

    // mirrorDir: a private directory outside the data directory.
    BoardReader(std::string dataDir, std::string mirrorDir, bool internationalTime);

    // Last-write time of qb3.dbf as a workstation's poll reads it: open,
    // fstat, close. 0 when the file cannot be opened or timed.
    std::uint64_t stamp() const;
    // Reads the whole board.
    Snapshot read();

    const std::string& dataDir() const { return m_dataDir; }

private:
    bool copyToMirror(std::vector<std::string>& problems);

    std::string m_dataDir;
    std::string m_mirrorDir;
    bool m_international;
};

} // namespace qb::web
