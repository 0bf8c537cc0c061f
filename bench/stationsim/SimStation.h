// One simulated station of stationsim: a board program without windows, run
// in its own process with its own engine and start directory. It ticks every
// 500 ms of real time, polls the shared names table through PollTimer and
// reloads as the board does; a writer station also writes remarks, each a
// unique token, into rows set aside for it.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace qb::bench {

struct SimPlan {
    std::string dataDir;
    std::string startDir;   // this station's own directory (mirror q3.dbf, results)
    int ownRow = 1;         // board index of the station's person
    int refreshTicks = 8;   // 8 ticks of 500 ms = the 4-second refresh
    std::vector<int> tokenRows;   // every row any writer writes (watched for tokens)
    std::vector<int> writeRows;   // rows this station writes, in order; empty for a reader
    bool cycleRows = false;       // after the last row start again at the first, until writeUntilMs
    bool logRemarks = false;      // each write also goes into the month's remark-change log
    std::int64_t writeFromMs = 0; // wall-clock window for writes
    std::int64_t writeUntilMs = 0;
    std::int64_t endMs = 0;       // wall-clock end of the run
    int minGapMs = 2000;          // random pause between two writes of one writer
    int maxGapMs = 8000;
    unsigned seed = 1;
};

// Runs the station until plan.endMs and writes its observations to
// startDir + "/result.txt":
//   wrote TOKEN STAMP_MS WRITE_US ATTEMPTS ROW
//   seen TOKEN WALL_MS            (first reload that showed the token)
//   stat NAME VALUE               (ticks, reloads, late ticks, log errors, cpu)
// Returns the process exit status (0, or 1 when the results cannot be written).
int runStation(const SimPlan& plan);

// Wall-clock milliseconds since 1970.
std::int64_t wallMs();

} // namespace qb::bench
