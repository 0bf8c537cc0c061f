// The integrity check and the repair on a table built from the input. The
// repair must touch only the bytes it owns and must leave nothing for a
// second run to do.
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "tools/TableChecker.h"
#include "tools/TableRepair.h"

#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace qb::fuzz {

namespace {

std::string slurp(const std::string& path)
{
    std::string out;
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(fd);
    return out;
}

} // namespace

int fuzzOneCheck(const std::uint8_t* data, std::size_t size)
{
    TableInput in = FuzzScratch::splitTable(data, size);
    auto& scratch = FuzzScratch::instance();
    const std::string path = scratch.putTable(in);
    const std::string memoPath = scratch.dir() + "/t.dbt";

    tools::TableChecker checker;
    checker.check(path);

    const std::string before = slurp(path);
    const std::string memoBefore = in.withMemo ? slurp(memoPath) : std::string();
    tools::TableRepair::Result first = tools::TableRepair().repair(path);
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

    tools::TableRepair::Result second = tools::TableRepair().repair(path);
    require(second.status == tools::TableRepair::Status::NothingToDo, "a second repair found more to do");
    checker.check(path);
    return 0;
}

} // namespace qb::fuzz
