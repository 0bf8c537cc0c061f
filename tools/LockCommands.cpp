#include "LockCommands.h"

#include "LockHolders.h"
#include "TableFiles.h"
#include "TableImage.h"
#include "engine/Engine.h"
#include "platform/PosixFile.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <limits>
#include <map>
#include <ostream>
#include <sys/stat.h>

namespace qb::tools {

namespace fs = std::filesystem;
using engine::Engine;

namespace {

constexpr std::int64_t kEndless = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kFileLockEnd = Engine::kAppendLockOffset + Engine::kFileLockLength;
// A damaged file could show any number of lock regions; stop listing there.
constexpr int kMaxRegions = 10000;

struct Region {
    std::int64_t start = 0;
    std::int64_t end = 0; // exclusive
    bool write = false;
};

// One conflicting lock within [start, end), as the kernel stores it (it may
// reach beyond the range asked about). False when nothing there is held.
bool probeRegion(int fd, std::int64_t start, std::int64_t end, Region& found)
{
    struct flock fl {};
    fl.l_type = F_WRLCK; // conflicts with read and write locks alike
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = end == kEndless ? 0 : end - start;
    if (::fcntl(fd, F_OFD_GETLK, &fl) != 0 || fl.l_type == F_UNLCK)
        return false;
    found.start = fl.l_start;
    found.end = fl.l_len == 0 ? kEndless : fl.l_start + fl.l_len;
    found.write = fl.l_type == F_WRLCK;
    return true;
}

// Every distinct lock region overlapping [start, end): one probe names one
// region, then the parts on either side of it are probed again, so k regions
// cost 2k + 1 probes however large the range.
void collectRegions(int fd, std::int64_t start, std::int64_t end, std::vector<Region>& out)
{
    std::vector<std::pair<std::int64_t, std::int64_t>> todo {{start, end}};
    while (!todo.empty() && static_cast<int>(out.size()) < kMaxRegions) {
        auto [lo, hi] = todo.back();
        todo.pop_back();
        if (lo >= hi)
            continue;
        Region r;
        if (!probeRegion(fd, lo, hi, r))
            continue;
        out.push_back(r);
        if (r.start > lo)
            todo.emplace_back(lo, r.start);
        if (r.end < hi)
            todo.emplace_back(r.end, hi);
    }
    std::sort(out.begin(), out.end(), [](const Region& a, const Region& b) { return a.start < b.start; });
    out.erase(std::unique(out.begin(), out.end(),
                          [](const Region& a, const Region& b) { return a.start == b.start && a.end == b.end; }),
              out.end());
}

std::string pidText(const std::vector<pid_t>& pids)
{
    if (pids.empty())
        return "(pid unknown)";
    std::string s = pids.size() == 1 ? "(pid " : "(pids ";
    for (std::size_t i = 0; i < pids.size(); ++i)
        s += (i ? ", " : "") + std::to_string(pids[i]);
    return s + ")";
}

std::string hex(std::int64_t v)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
    return buf;
}

// The memo file beside a table: same name, extension .dbt in any case.
std::string memoFileOf(const std::string& table)
{
    fs::path p(table);
    std::error_code ec;
    fs::path dir = p.has_parent_path() ? p.parent_path() : fs::path(".");
    const std::string want = platform::asciiLower(p.stem().string()) + ".dbt";
    for (const auto& e : fs::directory_iterator(dir, ec))
        if (platform::asciiLower(e.path().filename().string()) == want)
            return e.path().string();
    return {};
}


} // namespace

bool describeLocks(const std::string& path, std::vector<std::string>& lines, std::string* error)
{
    lines.clear();
    // The header tells where the record regions lie; only a file whose
    // header is a table's is probed, so "no locks" is never said of a file
    // no station uses.
    TableImage image;
    if (!image.load(path, false)) {
        if (error)
            *error = "cannot open: " + image.error();
        return false;
    }
    if (!image.usable()) {
        if (error)
            *error = "not a table: " + image.layoutProblem();
        return false;
    }
    const std::int64_t headerLength = image.headerLength();
    const std::int64_t recordLength = image.recordLength();
    image = TableImage();
    // No share-mode lock: a table opened exclusively elsewhere must still be
    // probed, and our own open must not show up as a holder.
    platform::PosixFile f;
    if (int rc = openRegular(path, f, platform::Access::ReadOnly, platform::Share::NoSharing, false); rc != 0) {
        if (error)
            *error = "cannot open: " + describeFileError(rc);
        return false;
    }
    const std::int64_t size = f.size();
    const std::int64_t records = size > headerLength ? (size - headerLength) / recordLength : 0;
    const std::int64_t recordBase = Engine::kLockBase + headerLength;
    const std::int64_t recordEnd = recordBase + records * recordLength;

    std::vector<Region> regions;
    collectRegions(f.fd(), 0, kEndless, regions);

    std::vector<Region> memoRegions;
    const std::string memo = memoFileOf(path);
    platform::PosixFile m;
    if (!memo.empty() && openRegular(memo, m, platform::Access::ReadOnly, platform::Share::NoSharing, false) == 0)
        collectRegions(m.fd(), Engine::kMemoLockOffset, Engine::kMemoLockOffset + 1, memoRegions);

    if (regions.empty() && memoRegions.empty()) {
        lines.emplace_back("no locks");
        return true;
    }
    // Owners are looked up only when something is held: the /proc scan is
    // the slow part.
    LockHolders holders(path);
    std::string openLine;
    bool blocking = false;
    for (const Region& r : regions) {
        const std::string who = pidText(holders.holdersOf(r.start, r.end, r.write));
        bool described = false;
        auto covers = [&](std::int64_t a, std::int64_t b) { return r.start <= a && r.end >= b; };
        if (covers(platform::kShareModeByte, platform::kShareModeByte + 1)) {
            described = true;
            if (r.write) {
                lines.push_back("open exclusively " + who);
                blocking = true;
            } else {
                // Every shared open holds the same byte, so one probe sees
                // only one of them; this machine's /proc may know them all.
                auto pids = holders.holdersOf(r.start, r.end, false);
                if (pids.empty())
                    openLine = "open by at least 1 process (pid unknown)";
                else
                    openLine = "open by " + std::to_string(pids.size())
                               + (pids.size() == 1 ? " process " : " processes ") + pidText(pids);
            }
        }
        bool fileLock = covers(Engine::kAppendLockOffset, kFileLockEnd);
        if (fileLock) {
            lines.push_back("file lock held " + who);
            described = blocking = true;
        } else if (covers(Engine::kAppendLockOffset, Engine::kAppendLockOffset + 1)) {
            lines.push_back("append lock held " + who);
            described = blocking = true;
        }
        if (!fileLock && r.end > recordBase && r.start < recordEnd) {
            std::int64_t first = (std::max(r.start, recordBase) - recordBase) / recordLength + 1;
            std::int64_t last = (std::min(r.end, recordEnd) - recordBase - 1) / recordLength + 1;
            lines.push_back(first == last ? "record " + std::to_string(first) + " locked " + who
                                          : "records " + std::to_string(first) + "-" + std::to_string(last)
                                                + " locked " + who);
            described = blocking = true;
        }
        // Whatever lies outside the regions this system uses: another
        // program's locks, or records beyond the end of the file.
        std::vector<std::pair<std::int64_t, std::int64_t>> known {
            {platform::kShareModeByte, platform::kShareModeByte + 1},
            fileLock ? std::pair {Engine::kAppendLockOffset, kFileLockEnd}
                     : std::pair {Engine::kAppendLockOffset, Engine::kAppendLockOffset + 1},
            {recordBase, recordEnd}};
        std::sort(known.begin(), known.end());
        std::int64_t pos = r.start;
        for (const auto& [a, b] : known)
            if (a <= pos && b > pos)
                pos = b;
        if (pos < r.end || !described) {
            lines.push_back("other lock at " + hex(r.start) + ", "
                            + (r.end == kEndless ? std::string("to the end of the file")
                                                 : "length " + std::to_string(r.end - r.start))
                            + " " + who);
            blocking = true;
        }
    }
    for (const Region& r : memoRegions) {
        LockHolders memoHolders(memo);
        lines.push_back("memo lock held in " + fs::path(memo).filename().string() + " "
                        + pidText(memoHolders.holdersOf(r.start, r.end, r.write)));
        blocking = true;
    }
    if (!openLine.empty())
        lines.push_back(blocking ? openLine : "no locks; " + openLine);
    return true;
}

int locksCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.empty()) {
        err << "usage: qbtool locks FILE|DIR...\n";
        return exitcode::kUsage;
    }
    int status = exitcode::kOk;
    auto fail = [&](const std::string& label, const std::string& why) {
        err << shown(label) << ": " << why << '\n';
        status = exitcode::kFailed;
    };
    auto report = [&](const std::string& path, const std::string& label) {
        std::vector<std::string> lines;
        std::string error;
        if (!describeLocks(path, lines, &error))
            return fail(label, error);
        for (const std::string& l : lines)
            out << shown(label) << ": " << l << '\n';
    };
    for (const std::string& arg : args) {
        struct stat st {};
        if (::stat(arg.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            report(arg, arg);
            continue;
        }
        const std::string prefix = arg.back() == '/' ? arg : arg + "/";
        auto labelOf = [&](const std::string& p) { return p.rfind(prefix, 0) == 0 ? p.substr(prefix.size()) : p; };
        std::vector<TableFile> tables = listTables(arg);
        if (tables.empty())
            out << shown(arg) << ": no tables\n";
        for (const TableFile& t : tables) {
            if (!t.problem.empty())
                fail(labelOf(t.path).empty() ? t.path : labelOf(t.path), t.problem);
            else
                report(t.path, labelOf(t.path));
        }
    }
    return status;
}

} // namespace qb::tools
