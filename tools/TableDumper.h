// Writes the records of a table for `qbtool dump`: one JSON object per line,
// or a readable table.
#pragma once

#include "FieldDecoder.h"

#include <ostream>
#include <string>
#include <vector>

namespace qb::tools {

class TableDumper {
public:
    // table must be usable(); memo may be null. Both must outlive the dumper.
    TableDumper(const TableImage& table, const MemoImage* memo, platform::CodePage codePage);

    // Every record in file order, deleted ones included:
    // {"_recno": n, "_deleted": bool, <lower-case field>: value, ...}
    void writeJson(std::ostream& out);
    // The same values as columns, for reading on a terminal.
    void writeTable(std::ostream& out);

    // Values that could not be read ("record 3, field PAY: unreadable
    // number"), at most a few per kind; the output shows them as 0 or "".
    const std::vector<std::string>& problems() const { return m_problems; }

private:
    DecodedValue decodeField(std::int64_t recNo, std::string_view record, const RawField& f);

    const TableImage& m_table;
    FieldDecoder m_decoder;
    std::vector<std::string> m_keys; // JSON keys, one per field
    std::vector<std::string> m_problems;
    std::int64_t m_suppressed = 0;
};

} // namespace qb::tools
