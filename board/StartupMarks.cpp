#include "StartupMarks.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace qb::board {

bool startupMarksOn()
{
    static const bool on = [] {
        const char* v = std::getenv("QB_STARTUP_MARKS");
        return v && *v;
    }();
    return on;
}

void startupMark(const char* name)
{
    if (!startupMarksOn())
        return;
    timespec ts {};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    char line[128];
    const int n = std::snprintf(line, sizeof line, "qbp3-mark %s %lld\n", name,
                                static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec);
    // One write, unbuffered, so the line is whole and on time.
    if (n > 0 && ::write(2, line, static_cast<std::size_t>(n)) < 0) {
        // Nobody to tell.
    }
}

} // namespace qb::board
