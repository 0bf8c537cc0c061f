// boardbench: what the board's names poll costs.
//
//   boardbench reload DIR ROWS R   R board reloads (copy qb3.dbf to the mirror, load,
//                                  display order) of a names table of ROWS rows, beside
//                                  R raw 8 KiB-block copies and reads of the same bytes;
//                                  prints medians and their ratio
//   boardbench ticks DIR T         T ticks of the 500 ms timer at the 4-second refresh,
//                                  without sleeping; each tick is preceded by a getppid()
//                                  call so that a system call trace can be cut per tick
//
// DIR gets a names table of ROWS rows (ticks: 100) when it has none.
#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/PollTimer.h"
#include "board/RemarkLog.h"
#include "core/Station.h"
#include "engine/Engine.h"
#include "platform/EventLog.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace {

using Steady = std::chrono::steady_clock;
using namespace qb;

std::int64_t nsSince(Steady::time_point t)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Steady::now() - t).count();
}

std::int64_t median(std::vector<std::int64_t> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// A names table of the board's layout, rows 0..rows-1 as the board keeps them.
bool makeNamesTable(const std::string& dir, int rows)
{
    const std::string path = dir + "/" + board::NamesTable::kFileName;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return true;
    engine::Engine e;
    const std::vector<engine::FieldSpec> fields = {
        {"IDENT", 'N', 4, 0},  {"CHGCNTR", 'N', 3, 0}, {"INUSE", 'L', 1, 0},    {"NAME", 'C', 40, 0},
        {"REMARK", 'C', 40, 0}, {"GROUP", 'C', 40, 0},  {"MISC", 'C', 40, 0},    {"COLOR", 'C', 40, 0},
        {"TIME", 'F', 10, 5},  {"MSGCNT", 'N', 4, 0},  {"PASSWORD", 'C', 10, 0}};
    if (!e.CreateDbf(path, fields))
        return false;
    e.Select(1);
    if (!e.USE(path) || !e.ALock())
        return false;
    for (int i = 0; i < rows; ++i) {
        auto& f = e.record()->fields;
        for (auto& v : f)
            v = engine::FieldValue {};
        f[0].integer = i;
        f[1].integer = 'l';
        f[2].logical = i % 3 != 0;
        f[3].text = i == 0 ? "Name" : "Person " + std::to_string(i);
        f[4].text = i == 0 ? "Remark" : (i % 2 ? "In" : "Out");
        f[5].text = i == 0 ? "Group" : "Group " + std::to_string(i % 17);
        f[6].text = i == 0 ? "Misc" : "";
        f[7].text = "#l";
        f[8].real = 812.5 + i / 1440.0;
        f[9].integer = 1;
        e.Append();
        if (e.lastError() != 0)
            return false;
    }
    e.FlushDbf();
    e.UnLock();
    e.CloseDbf();
    return e.lastError() == 0;
}

// The yardstick: the same bytes copied in 8 KiB blocks, then read back.
std::int64_t rawCopyAndRead(const std::string& from, const std::string& to)
{
    auto start = Steady::now();
    char buf[8192];
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ssize_t n;
    while ((n = ::read(in, buf, sizeof buf)) > 0)
        if (::write(out, buf, static_cast<std::size_t>(n)) != n)
            break;
    ::close(in);
    ::close(out);
    volatile unsigned sink = 0;
    in = ::open(to.c_str(), O_RDONLY | O_CLOEXEC);
    while ((n = ::read(in, buf, sizeof buf)) > 0)
        sink = sink + static_cast<unsigned char>(buf[n - 1]);
    ::close(in);
    return nsSince(start);
}

struct Rig {
    engine::Engine engine;
    platform::MemoryEventLog log;
    board::Station station;
    board::Board board;
    board::RemarkLog remarkLog;
    board::NamesTable names;
    explicit Rig(const std::string& dir)
        : station(engine, platform::SystemClock::instance(), log, dir, dir), remarkLog(station, board),
          names(station, board, remarkLog)
    {
        board.ownIndex = 1;
    }
};

int reload(const std::string& dir, int rows, int passes)
{
    if (!makeNamesTable(dir, rows)) {
        std::fprintf(stderr, "boardbench: cannot make the names table in %s\n", dir.c_str());
        return 1;
    }
    Rig rig(dir);
    const std::string source = dir + "/" + board::NamesTable::kFileName;
    std::vector<std::int64_t> load, raw;
    for (int p = 0; p < passes; ++p) {
        // Alternate, so both see the same state of the machine.
        raw.push_back(rawCopyAndRead(source, dir + "/raw-copy.dbf"));
        auto start = Steady::now();
        if (!rig.names.load(true)) {
            std::fprintf(stderr, "boardbench: load failed\n");
            return 1;
        }
        load.push_back(nsSince(start));
    }
    ::unlink((dir + "/raw-copy.dbf").c_str());
    const std::int64_t l = median(load), r = median(raw);
    std::printf("rows=%d shown=%zu\n", rig.board.rowCount(), rig.board.displayOrder.size());
    std::fprintf(stderr, "board_reload_ns_median=%lld raw_copy_read_ns_median=%lld ratio=%.2f\n",
                 static_cast<long long>(l), static_cast<long long>(r),
                 r > 0 ? static_cast<double>(l) / static_cast<double>(r) : 0.0);
    return 0;
}

int ticks(const std::string& dir, int count)
{
    if (!makeNamesTable(dir, 100)) {
        std::fprintf(stderr, "boardbench: cannot make the names table in %s\n", dir.c_str());
        return 1;
    }
    Rig rig(dir);
    rig.board.options.refreshTicks = 8;
    board::PollTimer timer(rig.station, rig.board, rig.names, rig.remarkLog, {});
    rig.names.load(true);
    timer.resetStamps();
    rig.board.pollCounter = 0;
    for (int i = 0; i < count; ++i) {
        ::syscall(SYS_getppid); // tick marker for the trace
        timer.tick(true);
    }
    ::syscall(SYS_getppid);
    std::printf("ticks=%d reloads=%d\n", count, timer.reloads());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string cmd = argc > 1 ? argv[1] : "";
    if (cmd == "reload" && argc == 5)
        return reload(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
    if (cmd == "ticks" && argc == 4)
        return ticks(argv[2], std::atoi(argv[3]));
    std::fprintf(stderr, "usage: boardbench reload DIR ROWS R | ticks DIR T\n");
    return 2;
}
