#include "FuzzScratch.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace qb::fuzz {

std::string FuzzScratch::putTable(platform::MemoryFileSystem& share, const TableInput& in)
{
    const std::string path = "/share/t.dbf";
    share.setContents(path, std::string(in.dbf));
    if (in.withMemo)
        share.setContents("/share/t.dbt", std::string(in.dbt));
    return path;
}

TableInput FuzzScratch::splitTable(const std::uint8_t* data, std::size_t size)
{
    TableInput in;
    if (size < 2)
        return in;
    unsigned word = data[0] | (static_cast<unsigned>(data[1]) << 8);
    in.autoFix = (word & 0x2000) != 0;
    in.hideDeleted = (word & 0x4000) != 0;
    in.withMemo = (word & 0x8000) == 0;
    std::string_view rest(reinterpret_cast<const char*>(data + 2), size - 2);
    std::size_t split = std::min<std::size_t>(word & 0x1FFF, rest.size());
    in.dbf = rest.substr(0, split);
    in.dbt = rest.substr(split);
    return in;
}

void require(bool cond, const char* what)
{
    if (cond)
        return;
    std::fprintf(stderr, "qbfuzz: invariant broken: %s\n", what);
    std::abort();
}

} // namespace qb::fuzz
