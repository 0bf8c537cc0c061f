// Watches qb3.dbf as a workstation's names poll does: on every tick open it,
// read its last-write time, close it; only when the time moved is the table
// read (once, whatever the number of browsers) and the result published.
#pragma once

#include "BoardHub.h"
#include "BoardReader.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace qb::web {

class Poller {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kMinInterval {500};
    // While the board cannot be read, it is read again this often even when
    // the file time stays, so a repair that keeps the time is seen too.
    static constexpr std::chrono::seconds kRetryInTrouble {5};

    Poller(BoardReader& reader, BoardHub& hub) : m_reader(reader), m_hub(hub) {}

    // One tick at `now`. Returns whether the table was read.
    bool tick(Clock::time_point now);
    // Ticks every `interval` (at least kMinInterval) until stop().
    void run(std::chrono::milliseconds interval);
    void stop();

private:
    BoardReader& m_reader;
    BoardHub& m_hub;
    bool m_first = true;
    bool m_inTrouble = false;
    std::uint64_t m_lastStamp = 0;
    Clock::time_point m_lastRead {};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
};

} // namespace qb::web
