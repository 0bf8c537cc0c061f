#include "RateLimiter.h"

#include <algorithm>

namespace qb::web {

bool RateLimiter::allow(const std::string& address, Clock::time_point now)
{
    std::lock_guard lock(m_mutex);
    if (m_buckets.size() >= kMaxAddresses && !m_buckets.count(address)) {
        // Forget the buckets that are full again: they would allow anyway.
        for (auto it = m_buckets.begin(); it != m_buckets.end();) {
            double secs = std::chrono::duration<double>(now - it->second.last).count();
            if (it->second.tokens + secs * m_rate >= m_burst)
                it = m_buckets.erase(it);
            else
                ++it;
        }
        if (m_buckets.size() >= kMaxAddresses)
            return false;
    }
    auto [it, fresh] = m_buckets.try_emplace(address, Bucket {m_burst, now});
    Bucket& b = it->second;
    if (!fresh) {
        double secs = std::chrono::duration<double>(now - b.last).count();
        b.tokens = std::min(m_burst, b.tokens + std::max(0.0, secs) * m_rate);
        b.last = now;
    }
    if (b.tokens < 1.0)
        return false;
    b.tokens -= 1.0;
    return true;
}

} // namespace qb::web
