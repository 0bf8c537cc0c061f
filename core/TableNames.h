// File names of the shared tables, one function per kind of table. Every
// station on the share must agree on these bytes, so nothing else spells them.
// Fixed names are constexpr so that classes can keep them as constants.
#pragma once

#include <string>

namespace qb::core {

// The name a removed person's record keeps in the names table.
constexpr const char* kDeletedName = "__";

// The names table on the server and its local mirror in the start directory.
constexpr const char* namesTableName() { return "qb3.dbf"; }
constexpr const char* namesMirrorName() { return "q3.dbf"; }
// One person's messages: "msg" + board index + ".dbf" (memo file ".dbt" beside it).
std::string messageTableName(int boardIndex);
// One person's week planner, relative to the data directory: "s/sh" + ident
// zero-padded to at least three digits + ".dbf".
std::string plannerTableName(int ident);
// The employee information table.
constexpr const char* infoTableName() { return "moreinfo.dbf"; }
// The shared list of predefined remarks.
constexpr const char* remarksTableName() { return "remarks.dbf"; }
// The options records and the option captions (labels).
constexpr const char* configTableName() { return "qb3cfg3.dbf"; }
constexpr const char* configLabelTableName() { return "qb3cfg2.dbf"; }
// The monthly remark-change log: "LG" + month (2 digits) + year (4 digits) + ".dbf".
std::string remarkLogTableName(int month, int year);

} // namespace qb::core
