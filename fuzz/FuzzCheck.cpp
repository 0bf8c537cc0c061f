// The integrity check and the repair on a table built from the input. The
// repair must touch only the bytes it owns and must leave nothing for a
// second run to do.
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "tools/TableChecker.h"
#include "tools/TableRepair.h"

#include <string>

namespace qb::fuzz {

int fuzzOneCheck(const std::uint8_t* data, std::size_t size)
{
    TableInput in = FuzzScratch::splitTable(data, size);
    // A fresh in-memory share for every input: no system calls, and nothing
    // of an earlier input left behind.
    platform::MemoryFileSystem share;
    const std::string path = FuzzScratch::putTable(share, in);
    const std::string memoPath = "/share/t.dbt";
    auto slurp = [&share](const std::string& p) { return share.contents(p); };

    tools::TableChecker checker(share);
    checker.check(path);

    const std::string before = slurp(path);
    const std::string memoBefore = in.withMemo ? slurp(memoPath) : std::string();
    tools::TableRepair::Result first = tools::TableRepair(share).repair(path);
    const std::string after = slurp(path);
    const std::string memoAfter = in.withMemo ? slurp(memoPath) : std::string();
    require(first.status != tools::TableRepair::Status::Refused, "repair refused with no other station about");
    if (first.status != tools::TableRepair::Status::Repaired) {
        require(before == after && memoBefore == memoAfter, "a repair that changed nothing touched the files");
        return 0;
    }
    // Table: bytes 4-7 (count) may change, the file may be cut and gets its
    // end byte; everything before the cut stays.
    require(after.size() <= before.size() + 1, "repair grew the table by more than the end byte");
    require(!after.empty() && after.back() == '\x1A', "repaired table does not end in 0x1A");
    for (std::size_t i = 0; i + 1 < after.size(); ++i)
        require((i >= 4 && i < 8) || after[i] == before[i], "repair changed a byte it does not own");
    // Memo: only the next free block.
    require(memoAfter.size() == memoBefore.size(), "repair changed the memo file's size");
    for (std::size_t i = 4; i < memoAfter.size(); ++i)
        require(memoAfter[i] == memoBefore[i], "repair changed a memo byte it does not own");

    tools::TableRepair::Result second = tools::TableRepair(share).repair(path);
    require(second.status == tools::TableRepair::Status::NothingToDo, "a second repair found more to do");
    checker.check(path);
    return 0;
}

} // namespace qb::fuzz
