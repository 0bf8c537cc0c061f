// Time marks of the program's start, for measuring where start-up goes.
// Off unless QB_STARTUP_MARKS is set in the environment (any non-empty
// value); then every mark writes one line to stderr:
//   qbp3-mark NAME NS
// NS being CLOCK_MONOTONIC in nanoseconds, the clock a parent process that
// noted the time before starting the program can subtract (bench/spawntime
// --marks does). Costs one load of a flag when off.
#pragma once

namespace qb::board {

bool startupMarksOn();
// name: a short word without blanks.
void startupMark(const char* name);

} // namespace qb::board
