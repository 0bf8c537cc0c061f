// Requests per client address: a token bucket each, refilled at `rate` per
// second up to `burst`. The time is passed in, so tests tick it.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <unordered_map>

namespace qb::web {

class RateLimiter {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::size_t kMaxAddresses = 10000;

    RateLimiter(double ratePerSecond, double burst) : m_rate(ratePerSecond), m_burst(burst) {}

    // Takes one token for the address; false when it has none left.
    bool allow(const std::string& address, Clock::time_point now);

private:
    struct Bucket {
        double tokens;
        Clock::time_point last;
    };
    double m_rate;
    double m_burst;
    std::mutex m_mutex;
    std::unordered_map<std::string, Bucket> m_buckets;
};

} // namespace qb::web
