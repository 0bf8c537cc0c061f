// shpbench: the engine benchmark's commands (create, scan, replace, reload)
// answered by shapelib's DBF reader and writer, so that compare.sh can set
// qbbench's figures beside an independent implementation run on the same
// machine in the same invocation. Same schema, records, replace sequence and
// checksum as qbbench; timings on stderr as "<command>_ns=<ns>".
#include <shapefil.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitUnsupported = 3;

using Clock = std::chrono::steady_clock;

enum Field { kIdent, kChgCntr, kInUse, kName, kRemark, kGroup, kMisc, kColor, kTime, kMsgCnt, kPassword };

std::int64_t nsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
}

bool addFields(DBFHandle h)
{
    struct Def {
        const char* name;
        char type;
        int width, decimals;
    };
    const Def defs[] = {{"IDENT", 'N', 4, 0},   {"CHGCNTR", 'N', 3, 0}, {"INUSE", 'L', 1, 0},
                        {"NAME", 'C', 40, 0},   {"REMARK", 'C', 40, 0}, {"GROUP", 'C', 40, 0},
                        {"MISC", 'C', 40, 0},   {"COLOR", 'C', 40, 0},  {"TIME", 'N', 10, 5},
                        {"MSGCNT", 'N', 4, 0},  {"PASSWORD", 'C', 10, 0}};
    for (const Def& d : defs)
        if (DBFAddNativeFieldType(h, d.name, d.type, d.width, d.decimals) < 0)
            return false;
    return true;
}

bool writeRecord(DBFHandle h, int row, std::int64_t i)
{
    static const char* const kColors[] = {"red", "green", "blue", "white", "black"};
    const std::string name = "Person " + std::to_string(i);
    const std::string group = "Group " + std::to_string(i % 17);
    const std::string password = "pw" + std::to_string(i % 100000);
    return DBFWriteIntegerAttribute(h, row, kIdent, static_cast<int>(i % 10000))
           && DBFWriteIntegerAttribute(h, row, kChgCntr, static_cast<int>(i % 1000))
           && DBFWriteLogicalAttribute(h, row, kInUse, i % 3 == 0 ? 'F' : 'T')
           && DBFWriteStringAttribute(h, row, kName, name.c_str())
           && DBFWriteStringAttribute(h, row, kRemark, i % 2 ? "In" : "Out")
           && DBFWriteStringAttribute(h, row, kGroup, group.c_str())
           && DBFWriteStringAttribute(h, row, kMisc, "")
           && DBFWriteStringAttribute(h, row, kColor, kColors[i % 5])
           && DBFWriteDoubleAttribute(h, row, kTime, static_cast<double>(i % 1440) / 60.0)
           && DBFWriteIntegerAttribute(h, row, kMsgCnt, static_cast<int>((7 * i) % 10000))
           && DBFWriteStringAttribute(h, row, kPassword, password.c_str());
}

std::size_t trimmedLength(const char* s)
{
    std::size_t n = std::strlen(s);
    while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\0'))
        --n;
    return n;
}

std::uint64_t checksumAll(DBFHandle h, int& records)
{
    std::uint64_t sum = 0;
    records = DBFGetRecordCount(h);
    for (int r = 0; r < records; ++r) {
        sum += static_cast<std::uint64_t>(DBFReadIntegerAttribute(h, r, kIdent));
        sum += static_cast<std::uint64_t>(DBFReadIntegerAttribute(h, r, kChgCntr));
        sum += static_cast<std::uint64_t>(DBFReadIntegerAttribute(h, r, kMsgCnt));
        const char* l = DBFReadLogicalAttribute(h, r, kInUse);
        if (l && std::strchr("TtYy", l[0]) && l[0])
            sum += 1;
        for (int f : {kName, kRemark, kGroup, kMisc, kColor, kPassword})
            sum += trimmedLength(DBFReadStringAttribute(h, r, f));
        sum += static_cast<std::uint64_t>(std::llround(DBFReadDoubleAttribute(h, r, kTime) * 100000.0));
    }
    return sum;
}

int create(const char* path, std::int64_t n)
{
    auto start = Clock::now();
    ::unlink(path);
    DBFHandle h = DBFCreate(path);
    if (!h || !addFields(h)) {
        std::fprintf(stderr, "shpbench: cannot create %s\n", path);
        return kExitFailed;
    }
    for (std::int64_t i = 1; i <= n; ++i)
        if (!writeRecord(h, static_cast<int>(i - 1), i)) {
            std::fprintf(stderr, "shpbench: cannot write record %lld\n", static_cast<long long>(i));
            DBFClose(h);
            return kExitFailed;
        }
    DBFClose(h);
    std::fprintf(stderr, "create_ns=%lld\n", static_cast<long long>(nsSince(start)));
    return kExitOk;
}

int scan(const char* path)
{
    auto start = Clock::now();
    DBFHandle h = DBFOpen(path, "rb");
    if (!h) {
        std::fprintf(stderr, "shpbench: cannot open %s\n", path);
        return kExitFailed;
    }
    int records = 0;
    std::uint64_t sum = checksumAll(h, records);
    DBFClose(h);
    std::int64_t ns = nsSince(start);
    std::printf("records=%d checksum=%llu\n", records, static_cast<unsigned long long>(sum));
    std::fprintf(stderr, "scan_ns=%lld\n", static_cast<long long>(ns));
    return kExitOk;
}

// Unlocked: shapelib knows no locks, so this is the cost of the writes alone.
int replace(const char* path, std::int64_t k)
{
    auto start = Clock::now();
    DBFHandle h = DBFOpen(path, "rb+");
    if (!h) {
        std::fprintf(stderr, "shpbench: cannot open %s\n", path);
        return kExitFailed;
    }
    const std::uint64_t n = static_cast<std::uint64_t>(DBFGetRecordCount(h));
    if (n == 0) {
        DBFClose(h);
        std::fprintf(stderr, "shpbench: %s has no records to replace\n", path);
        return kExitFailed;
    }
    std::uint64_t x = 20240601;
    for (std::int64_t step = 0; step < k; ++step) {
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        int row = static_cast<int>((x >> 33) % n); // record 1 + ((x >> 33) mod n), 0-based here
        const std::string remark = "Back " + std::to_string(step);
        if (!DBFWriteStringAttribute(h, row, kRemark, remark.c_str())
            || !DBFWriteDoubleAttribute(h, row, kTime, static_cast<double>((13 * step) % 1440) / 60.0)) {
            DBFClose(h);
            std::fprintf(stderr, "shpbench: cannot replace record %d\n", row + 1);
            return kExitFailed;
        }
    }
    DBFClose(h);
    std::fprintf(stderr, "replace_ns=%lld\n", static_cast<long long>(nsSince(start)));
    return kExitOk;
}

bool copyBlocks(const std::string& from, const std::string& to)
{
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    char buf[8192];
    bool ok = true;
    ssize_t got;
    while (ok && (got = ::read(in, buf, sizeof buf)) > 0)
        ok = ::write(out, buf, static_cast<std::size_t>(got)) == got;
    ok = ok && got == 0;
    ::close(in);
    return ::close(out) == 0 && ok;
}

int reload(const char* path, std::int64_t passes)
{
    std::string copy = path;
    auto slash = copy.find_last_of('/');
    copy = (slash == std::string::npos ? std::string() : copy.substr(0, slash + 1)) + "shpbench-reload-"
           + std::to_string(::getpid()) + ".dbf";
    std::vector<std::int64_t> times;
    int records = 0;
    std::uint64_t sum = 0;
    for (std::int64_t p = 0; p < passes; ++p) {
        auto start = Clock::now();
        if (!copyBlocks(path, copy)) {
            std::fprintf(stderr, "shpbench: cannot copy %s: %s\n", path, std::strerror(errno));
            ::unlink(copy.c_str());
            return kExitFailed;
        }
        DBFHandle h = DBFOpen(copy.c_str(), "rb");
        if (!h) {
            ::unlink(copy.c_str());
            return kExitFailed;
        }
        sum = checksumAll(h, records);
        DBFClose(h);
        times.push_back(nsSince(start));
    }
    ::unlink(copy.c_str());
    std::printf("records=%d checksum=%llu\n", records, static_cast<unsigned long long>(sum));
    std::int64_t median = 0;
    if (!times.empty()) {
        std::sort(times.begin(), times.end());
        median = times[times.size() / 2];
    }
    std::fprintf(stderr, "reload_ns_median=%lld\n", static_cast<long long>(median));
    return kExitOk;
}

bool parseCount(const char* text, std::int64_t& n)
{
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || v < 0 || v > 2000000000)
        return false;
    n = v;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: shpbench create FILE N | scan FILE | replace FILE K | reload FILE R\n");
        return kExitUsage;
    }
    const std::string cmd = argv[1];
    if (cmd != "create" && cmd != "scan" && cmd != "replace" && cmd != "reload") {
        std::fprintf(stderr, "shpbench: unsupported command \"%s\"\n", cmd.c_str());
        return kExitUnsupported;
    }
    const bool needsCount = cmd != "scan";
    std::int64_t count = 0;
    if (argc != (needsCount ? 4 : 3) || (needsCount && !parseCount(argv[3], count))) {
        std::fprintf(stderr, "usage: shpbench create FILE N | scan FILE | replace FILE K | reload FILE R\n");
        return kExitUsage;
    }
    if (cmd == "create")
        return create(argv[2], count);
    if (cmd == "scan")
        return scan(argv[2]);
    if (cmd == "replace")
        return replace(argv[2], count);
    return reload(argv[2], count);
}
