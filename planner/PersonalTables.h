// Field lists and keys of the week planner tables and the employee
// information table.
#pragma once

#include "core/TableNames.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qb::planner {

using core::plannerTableName;
std::vector<std::string> plannerFieldList();
// Serial of the Sunday on or before day serial d.
std::int64_t weekKey(std::int64_t daySerial);
// 1 = Sunday .. 7 = Saturday.
int dayOfWeek(std::int64_t daySerial);
// Field number of grid cell (column 1 AM / 2 PM, row 1 Monday .. 5 Friday).
inline int plannerField(int column, int row) { return column + 2 * row - 1; }

std::vector<std::string> infoFieldList();
constexpr const char* kInfoFileName = core::infoTableName();

} // namespace qb::planner
