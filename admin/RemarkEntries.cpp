#include "RemarkEntries.h"

namespace qb::admin {

std::vector<std::string> remarkFieldList()
{
    return {"c, C, 1, 0", "position, N, 4, 0", "type, N, 1, 0", "text, C, 80, 0"};
}

std::vector<RemarkEntry> builtInRemarks(bool withErrorMarker)
{
    std::vector<RemarkEntry> list = {
        {'l', 1, "In"},
        {'f', 2, "in but unavailable"},
        {'r', 3, "Out"},
        {'y', 4, "<custom remark>"},
        {'w', 5, "at lunch"},
        {'y', 6, "Back at <time>"},
        {'w', 7, "On business at <place>"},
        {'y', 8, "On trip until <date>"},
    };
    if (withErrorMarker)
        list.push_back({'f', 9, "Error reading remarks.dbf"});
    return list;
}

} // namespace qb::admin
