// stationsim: N board stations (processes) on one data directory, polling
// the names table every 4 seconds and reloading on change, a few of them
// writing remarks. Measures how long a write takes to reach every other
// station, whether any write is lost, how long a write holds the table, and
// what a station costs in CPU. See bench/README.md.
#include "SimStation.h"

#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "core/Station.h"
#include "engine/Engine.h"
#include "platform/EventLog.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using qb::bench::SimPlan;
using qb::bench::wallMs;

struct Options {
    int stations = 10;
    int seconds = 60;
    int writers = 3;
    int staggerMs = 4500; // spread over one poll interval: stations poll at random phases
    int rowsPerWriter = 0; // 0: a row for every write; otherwise the writer cycles through this many
    bool logRemarks = false;
    std::string dir;
    std::string data; // an existing data directory to join instead of making DIR/data
    std::string qbtool;
};

void usage()
{
    std::fprintf(stderr, "usage: stationsim --dir DIR [--stations N] [--seconds S] [--writers W] [--stagger-ms MS]"
                         " [--qbtool PATH] [--data DATADIR] [--rows-per-writer K] [--log-remarks]\n");
}

bool parse(int argc, char** argv, Options& o)
{
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--log-remarks") {
            o.logRemarks = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        std::string v = argv[++i];
        if (a == "--stations")
            o.stations = std::atoi(v.c_str());
        else if (a == "--seconds")
            o.seconds = std::atoi(v.c_str());
        else if (a == "--writers")
            o.writers = std::atoi(v.c_str());
        else if (a == "--stagger-ms")
            o.staggerMs = std::atoi(v.c_str());
        else if (a == "--dir")
            o.dir = v;
        else if (a == "--data")
            o.data = v;
        else if (a == "--rows-per-writer")
            o.rowsPerWriter = std::atoi(v.c_str());
        else if (a == "--qbtool")
            o.qbtool = v;
        else
            return false;
    }
    return !o.dir.empty() && o.stations >= 2 && o.seconds >= 15 && o.writers >= 1 && o.writers <= o.stations
           && o.stations <= 900
           && o.rowsPerWriter >= 0;
}

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool run(const std::string& cmd)
{
    int rc = std::system((cmd + " >/dev/null").c_str());
    if (rc != 0)
        std::fprintf(stderr, "stationsim: failed (%d): %s\n", rc, cmd.c_str());
    return rc == 0;
}

std::string defaultQbtool()
{
    char buf[4096];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return "qbtool";
    std::string self(buf, static_cast<std::size_t>(n));
    self = self.substr(0, self.find_last_of('/')); // .../bench
    return self.substr(0, self.find_last_of('/')) + "/tools/qbtool";
}

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    std::size_t i = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
    return v[std::min(i, v.size() - 1)];
}

std::int64_t childCpuUs()
{
    rusage u {};
    ::getrusage(RUSAGE_CHILDREN, &u);
    return (static_cast<std::int64_t>(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000000 + u.ru_utime.tv_usec
           + u.ru_stime.tv_usec;
}

struct StationResult {
    std::vector<std::pair<std::string, std::int64_t>> wrote;   // token, stamp
    std::vector<int> rows;                                     // row of each write
    std::vector<std::int64_t> writeUs;
    int attempts = 0;
    std::map<std::string, std::int64_t> seen;
    std::map<std::string, std::int64_t> stats;
    std::vector<std::string> logErrors;
};

StationResult readResult(const std::string& path)
{
    StationResult r;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream s(line);
        std::string kind;
        s >> kind;
        if (kind == "wrote") {
            std::string token;
            long long stamp = 0, us = 0;
            int attempts = 0, row = -1;
            s >> token >> stamp >> us >> attempts >> row;
            r.wrote.emplace_back(token, stamp);
            r.rows.push_back(row);
            r.writeUs.push_back(us);
            r.attempts += attempts;
        } else if (kind == "seen") {
            std::string token;
            long long ms = 0;
            s >> token >> ms;
            r.seen[token] = ms;
        } else if (kind == "stat") {
            std::string name;
            long long v = 0;
            s >> name >> v;
            r.stats[name] = v;
        } else if (kind == "logerror") {
            r.logErrors.push_back(line.substr(9));
        }
    }
    return r;
}

} // namespace

int main(int argc, char** argv)
{
    Options o;
    if (!parse(argc, argv, o)) {
        usage();
        return 2;
    }
    if (o.qbtool.empty())
        o.qbtool = defaultQbtool();
    const bool joining = !o.data.empty();
    const std::string data = joining ? o.data : o.dir + "/data";
    const int minGapMs = 2000, maxGapMs = 8000;
    const int perWriter = o.rowsPerWriter > 0 ? o.rowsPerWriter : o.seconds * 1000 / minGapMs + 1;

    // The data directory, made the way an administrator makes it.
    std::printf("stationsim: %d stations, %d s, %d writers; setting up %s\n", o.stations, o.seconds, o.writers,
                data.c_str());
    std::fflush(stdout);
    if (!run("rm -rf " + quote(o.dir) + " && mkdir -p " + quote(o.dir))
        || (!joining && !run(quote(o.qbtool) + " init " + quote(data))))
        return 1;
    for (int k = 0; k < o.stations; ++k)
        if (!run(quote(o.qbtool) + " add-name " + quote(data) + " " + quote("Station " + std::to_string(k)) + " Sim"))
            return 1;
    for (int w = 0; w < o.writers; ++w)
        for (int j = 0; j < perWriter; ++j)
            if (!run(quote(o.qbtool) + " add-name " + quote(data) + " "
                     + quote("Tokens " + std::to_string(w) + "." + std::to_string(j)) + " Tokens"))
                return 1;

    // Rows by name, read back rather than assumed.
    std::map<std::string, int> rowOf;
    {
        qb::engine::Engine e;
        qb::platform::MemoryEventLog log;
        qb::board::Station st(e, qb::platform::SystemClock::instance(), log, data, o.dir);
        qb::board::Board b;
        qb::board::RemarkLog rl(st, b);
        qb::board::NamesTable nt(st, b, rl);
        if (!nt.load(true)) {
            std::fprintf(stderr, "stationsim: cannot load the names table\n");
            return 1;
        }
        for (int i = 0; i < b.rowCount(); ++i)
            rowOf[b.names[static_cast<std::size_t>(i)]] = i;
    }
    std::vector<int> tokenRows;
    std::vector<std::vector<int>> writerRows(static_cast<std::size_t>(o.writers));
    for (int w = 0; w < o.writers; ++w)
        for (int j = 0; j < perWriter; ++j) {
            int row = rowOf.at("Tokens " + std::to_string(w) + "." + std::to_string(j));
            writerRows[static_cast<std::size_t>(w)].push_back(row);
            tokenRows.push_back(row);
        }

    const std::int64_t cpuBefore = childCpuUs();
    const std::int64_t t0 = wallMs();
    const std::int64_t endMs = t0 + o.staggerMs + o.seconds * 1000LL;
    // The last write leaves time for one full poll interval plus a reload.
    const std::int64_t writeFrom = t0 + o.staggerMs + 2000;
    const std::int64_t writeUntil = endMs - 8000;
    std::vector<pid_t> pids;
    std::vector<int> ownRows;
    for (int k = 0; k < o.stations; ++k) {
        SimPlan plan;
        plan.dataDir = data;
        plan.startDir = o.dir + "/st" + std::to_string(k);
        ::mkdir(plan.startDir.c_str(), 0777);
        plan.ownRow = rowOf.at("Station " + std::to_string(k));
        plan.tokenRows = tokenRows;
        if (k < o.writers)
            plan.writeRows = writerRows[static_cast<std::size_t>(k)];
        plan.writeFromMs = writeFrom;
        plan.writeUntilMs = writeUntil;
        plan.endMs = endMs;
        plan.minGapMs = minGapMs;
        plan.maxGapMs = maxGapMs;
        plan.seed = static_cast<unsigned>(1234 + k);
        plan.cycleRows = o.rowsPerWriter > 0;
        plan.logRemarks = o.logRemarks;
        ownRows.push_back(plan.ownRow);
        pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(qb::bench::runStation(plan));
        if (pid < 0) {
            std::fprintf(stderr, "stationsim: fork: %s\n", std::strerror(errno));
            return 1;
        }
        pids.push_back(pid);
        // Staggered start, so stations do not all tick at the same moment.
        std::this_thread::sleep_for(std::chrono::milliseconds(o.staggerMs / o.stations));
    }
    // Whoever joins the stations (bench/soak.sh) waits for this line.
    std::printf("stationsim: stations started\n");
    std::fflush(stdout);
    int failedStations = 0;
    for (pid_t pid : pids) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            ++failedStations;
    }
    const double cpuPerStationMs = static_cast<double>(childCpuUs() - cpuBefore) / 1000.0 / o.stations;

    std::vector<StationResult> results;
    for (int k = 0; k < o.stations; ++k)
        results.push_back(readResult(o.dir + "/st" + std::to_string(k) + "/result.txt"));

    // The final table, read as a station reads it.
    std::set<std::string> finalTokens;
    {
        qb::engine::Engine e;
        qb::platform::MemoryEventLog log;
        qb::board::Station st(e, qb::platform::SystemClock::instance(), log, data, o.dir);
        qb::board::Board b;
        qb::board::RemarkLog rl(st, b);
        qb::board::NamesTable nt(st, b, rl);
        nt.load(true);
        for (int row : tokenRows)
            if (row < b.rowCount())
                finalTokens.insert(b.remarks[static_cast<std::size_t>(row)]);
    }

    // Readers apart: a writer's own reload after each write parks its poll
    // (the counter restarts at -5), so writers see others' changes later.
    std::vector<double> latencies, readerLatencies, writeMs;
    int written = 0, attempts = 0, missingInTable = 0, unseenPairs = 0, logErrors = 0;
    std::int64_t maxCpuUs = 0, lateTicks = 0, maxLateUs = 0, reloads = 0;
    std::map<std::string, int> errorTexts;
    for (int w = 0; w < o.stations; ++w) {
        const StationResult& rw = results[static_cast<std::size_t>(w)];
        attempts += rw.attempts;
        for (std::int64_t us : rw.writeUs)
            writeMs.push_back(static_cast<double>(us) / 1000.0);
        // A writer that cycles through its rows replaces its own earlier
        // tokens: only the last one of each row must stay in the table and
        // reach every station.
        std::map<int, std::size_t> lastOfRow;
        for (std::size_t i = 0; i < rw.rows.size(); ++i)
            lastOfRow[rw.rows[i]] = i;
        for (std::size_t i = 0; i < rw.wrote.size(); ++i) {
            const auto& [token, stamp] = rw.wrote[i];
            ++written;
            const bool last = i >= rw.rows.size() || lastOfRow[rw.rows[i]] == i;
            if (last && !finalTokens.count(token))
                ++missingInTable;
            for (int k = 0; k < o.stations; ++k) {
                if (k == w)
                    continue;
                const auto& seen = results[static_cast<std::size_t>(k)].seen;
                auto it = seen.find(token);
                if (it == seen.end())
                    unseenPairs += last ? 1 : 0;
                else {
                    latencies.push_back(static_cast<double>(it->second - stamp));
                    if (k >= o.writers)
                        readerLatencies.push_back(latencies.back());
                }
            }
        }
    }
    for (const StationResult& r : results) {
        auto stat = [&](const char* n) {
            auto it = r.stats.find(n);
            return it == r.stats.end() ? std::int64_t {0} : it->second;
        };
        maxCpuUs = std::max(maxCpuUs, stat("cpu_us"));
        lateTicks += stat("late_ticks");
        maxLateUs = std::max(maxLateUs, stat("max_late_us"));
        reloads += stat("reloads");
        logErrors += static_cast<int>(r.logErrors.size());
        for (const std::string& t : r.logErrors)
            ++errorTexts[t];
    }
    const double seconds = static_cast<double>(endMs - t0) / 1000.0;

    std::printf("writes: %d committed in %d attempts; write time (open, lock, commit, close): median %.1f ms, max %.1f ms\n",
                written, attempts, percentile(writeMs, 0.5), percentile(writeMs, 1.0));
    std::printf("latency from write to every other station's reload: median %.0f ms, p99 %.0f ms, max %.0f ms"
                " (%zu observations)\n",
                percentile(latencies, 0.5), percentile(latencies, 0.99), percentile(latencies, 1.0), latencies.size());
    std::printf("  at stations that do not write: median %.0f ms, p99 %.0f ms, max %.0f ms\n",
                percentile(readerLatencies, 0.5), percentile(readerLatencies, 0.99), percentile(readerLatencies, 1.0));
    std::printf("lost: %d tokens missing from the final table, %d (token, station) pairs never seen"
                " (of the last token of each row when writers cycle)\n",
                missingInTable,
                unseenPairs);
    std::printf("cpu per station: %.1f ms in %.0f s (%.3f%% of one core), max %.1f ms; %.1f reloads per station\n",
                cpuPerStationMs, seconds, cpuPerStationMs / (seconds * 10.0), static_cast<double>(maxCpuUs) / 1000.0,
                static_cast<double>(reloads) / o.stations);
    std::printf("ticks more than 100 ms late: %lld, latest %.1f ms; event-log errors: %d; stations failed: %d\n",
                static_cast<long long>(lateTicks), static_cast<double>(maxLateUs) / 1000.0, logErrors, failedStations);
    for (const auto& [text, n] : errorTexts)
        std::printf("  event log %dx: %s\n", n, text.c_str());
    std::printf("result stations=%d writes=%d median_ms=%.0f p99_ms=%.0f max_ms=%.0f lost=%d unseen=%d "
                "max_write_ms=%.1f cpu_ms_per_station=%.1f\n",
                o.stations, written, percentile(latencies, 0.5), percentile(latencies, 0.99),
                percentile(latencies, 1.0), missingInTable, unseenPairs, percentile(writeMs, 1.0), cpuPerStationMs);
    return (missingInTable == 0 && unseenPairs == 0 && failedStations == 0 && written > 0) ? 0 : 1;
}
