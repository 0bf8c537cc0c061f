// The shared remark list "remarks.dbf": field list and the built-in entries
// used for a new data directory and whenever the table cannot be read.
#pragma once

#include <string>
#include <vector>

namespace qb::admin {

struct RemarkEntry {
    char color = 'w'; // one-letter colour code
    int type = 0;     // 1 In, 2 In but unavailable, 3 Out, 0 added, 4 custom, 5..9 built-in
    std::string text; // UTF-8, may hold placeholders
};

std::vector<std::string> remarkFieldList();
// The built-in list; with the error marker entry ("f9Error reading remarks.dbf")
// when asked for the fallback form.
std::vector<RemarkEntry> builtInRemarks(bool withErrorMarker);

} // namespace qb::admin
