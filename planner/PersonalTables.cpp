#include "PersonalTables.h"

#include <cstdio>

namespace qb::planner {

std::vector<std::string> plannerFieldList()
{
    return {"weekno, N, 10, 0", "monam, C, 80, 0", "monpm, C, 80, 0", "tueam, C, 80, 0",
            "tuepm, C, 80, 0",  "wedam, C, 80, 0", "wedpm, C, 80, 0", "thuam, C, 80, 0",
            "thupm, C, 80, 0",  "friam, C, 80, 0", "fripm, C, 80, 0", "b1, L, 1, 0",
            "b2, L, 1, 0"};
}

int dayOfWeek(std::int64_t d) { return static_cast<int>(((d + 693594) % 7 + 7) % 7) + 1; }

std::int64_t weekKey(std::int64_t d) { return d + 1 - dayOfWeek(d); }

std::vector<std::string> infoFieldList()
{
    return {"ident, N, 4, 0",     "name, C, 40, 0",      "title, C, 40, 0",    "phone, C, 40, 0",
            "e_mail, C, 40, 0",   "extra, C, 40, 0",     "division, C, 40, 0", "pager, C, 40, 0",
            "fax, C, 40, 0",      "hasmsg, L, 1, 0",     "hasmsgtxt, C, 40, 0", "notes, M, 10, 0",
            "notestxt, C, 40, 0"};
}

} // namespace qb::planner
