#include "SimStation.h"

#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/PollTimer.h"
#include "board/RemarkLog.h"
#include "core/Station.h"
#include "engine/Engine.h"
#include "platform/EventLog.h"

#include <cstdio>
#include <map>
#include <random>
#include <sys/resource.h>
#include <thread>

namespace qb::bench {

namespace {

using Steady = std::chrono::steady_clock;

std::int64_t usSince(Steady::time_point t)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - t).count();
}

std::int64_t cpuMicros(const rusage& u)
{
    return (static_cast<std::int64_t>(u.ru_utime.tv_sec) + u.ru_stime.tv_sec) * 1000000 + u.ru_utime.tv_usec
           + u.ru_stime.tv_usec;
}

struct Written {
    std::string token;
    std::int64_t stampMs;
    std::int64_t writeUs;
    int attempts;
    int row;
};

} // namespace

std::int64_t wallMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

int runStation(const SimPlan& plan)
{
    engine::Engine engine;
    platform::MemoryEventLog log;
    board::Station station(engine, platform::SystemClock::instance(), log, plan.dataDir, plan.startDir);
    board::Board board;
    board.ownIndex = plan.ownRow;
    board.options.refreshTicks = plan.refreshTicks;
    board.options.set(admin::opt::kLogRemarks, plan.logRemarks);
    board::RemarkLog remarkLog(station, board);
    board::NamesTable names(station, board, remarkLog);

    std::map<std::string, std::int64_t> seen; // token -> wall ms of the first reload showing it
    auto lookForTokens = [&] {
        const std::int64_t now = wallMs();
        for (int row : plan.tokenRows) {
            if (row >= board.rowCount())
                continue;
            const std::string& r = board.remarks[static_cast<std::size_t>(row)];
            if (!r.empty() && r[0] == 'T')
                seen.emplace(r, now);
        }
    };
    board::PollTimer::Hooks hooks;
    hooks.boardReloaded = lookForTokens;
    board::PollTimer timer(station, board, names, remarkLog, hooks);

    // Start-up as the board does it: first copy and load, then remember the
    // shared table's time so that only later changes reload.
    names.load(true);
    timer.resetStamps();
    lookForTokens();
    board.pollCounter = 0;

    std::mt19937 rng(plan.seed);
    std::uniform_int_distribution<int> gap(plan.minGapMs, plan.maxGapMs);
    std::int64_t nextWriteMs = plan.writeFromMs + gap(rng) / 2;
    std::size_t nextRow = 0;
    int attempts = 0;
    std::vector<Written> written;

    std::int64_t ticks = 0, lateTicks = 0, maxLateUs = 0;
    const auto start = Steady::now();
    auto due = start;
    while (wallMs() < plan.endMs) {
        due += std::chrono::milliseconds(500);
        std::this_thread::sleep_until(due);
        std::int64_t late = std::chrono::duration_cast<std::chrono::microseconds>(Steady::now() - due).count();
        maxLateUs = std::max(maxLateUs, late);
        if (late > 100000)
            ++lateTicks;
        ++ticks;
        timer.tick(true);

        const std::int64_t now = wallMs();
        const bool rowLeft = nextRow < plan.writeRows.size() || (plan.cycleRows && !plan.writeRows.empty());
        if (rowLeft && now >= nextWriteMs && now < plan.writeUntilMs) {
            const int row = plan.writeRows[nextRow % plan.writeRows.size()];
            char token[64];
            std::snprintf(token, sizeof token, "T%d.%zu@%lld", plan.ownRow, nextRow, static_cast<long long>(now));
            ++attempts;
            const auto t0 = Steady::now();
            board::WriteResult r = names.writeColumn(board::column::kRemark, token, true, board::Rgb {0, 255, 0}, row);
            const std::int64_t us = usSince(t0);
            if (r == board::WriteResult::Ok) {
                written.push_back({token, now, us, attempts, row});
                attempts = 0;
                ++nextRow;
                nextWriteMs = now + gap(rng);
                // The writer reloads its own board after its change, as the
                // board does; that reload shows other stations' changes too.
                names.load(true);
                lookForTokens();
            }
            // A refused write is tried again on the next tick with a new token,
            // as a user would click again.
        }
    }

    rusage self {};
    ::getrusage(RUSAGE_SELF, &self);
    const std::string path = plan.startDir + "/result.txt";
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        return 1;
    for (const Written& w : written)
        std::fprintf(f, "wrote %s %lld %lld %d %d\n", w.token.c_str(), static_cast<long long>(w.stampMs),
                     static_cast<long long>(w.writeUs), w.attempts, w.row);
    if (attempts > 0)
        std::fprintf(f, "stat refused_pending %d\n", attempts);
    for (const auto& [token, ms] : seen)
        std::fprintf(f, "seen %s %lld\n", token.c_str(), static_cast<long long>(ms));
    int errors = 0;
    for (const auto& e : log.entries)
        if (e.isError) {
            ++errors;
            std::fprintf(f, "logerror %s\n", e.text.c_str());
        }
    std::fprintf(f, "stat ticks %lld\nstat reloads %d\nstat late_ticks %lld\nstat max_late_us %lld\n",
                 static_cast<long long>(ticks), timer.reloads(), static_cast<long long>(lateTicks),
                 static_cast<long long>(maxLateUs));
    std::fprintf(f, "stat log_errors %d\nstat cpu_us %lld\nstat maxrss_kb %ld\n", errors,
                 static_cast<long long>(cpuMicros(self)), self.ru_maxrss);
    return std::fclose(f) == 0 ? 0 : 1;
}

} // namespace qb::bench
