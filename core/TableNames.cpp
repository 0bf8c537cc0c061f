#include "TableNames.h"

#include <cstdio>

namespace qb::core {

std::string messageTableName(int boardIndex) { return "msg" + std::to_string(boardIndex) + ".dbf"; }

std::string plannerTableName(int ident)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "s/sh%.3d.dbf", ident);
    return buf;
}

std::string remarkLogTableName(int month, int year)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "LG%02d%04d.dbf", month, year);
    return buf;
}

} // namespace qb::core
