#include "Poller.h"

#include <algorithm>

namespace qb::web {

bool Poller::tick(Clock::time_point now)
{
    const std::uint64_t stamp = m_reader.stamp();
    const bool moved = m_first || stamp != m_lastStamp;
    if (!moved && !(m_inTrouble && now - m_lastRead >= kRetryInTrouble))
        return false;
    m_first = false;
    m_lastStamp = stamp;
    m_lastRead = now;
    Snapshot snapshot = m_reader.read();
    m_inTrouble = !snapshot.ok();
    m_hub.publish(std::move(snapshot));
    return true;
}

void Poller::run(std::chrono::milliseconds interval)
{
    interval = std::max(interval, std::chrono::milliseconds(kMinInterval));
    std::unique_lock lock(m_mutex);
    auto due = Clock::now();
    while (!m_stopping) {
        lock.unlock();
        tick(Clock::now());
        lock.lock();
        // Fixed steps, so a slow read does not make the next poll come sooner.
        due += interval;
        if (due < Clock::now())
            due = Clock::now() + interval;
        m_wake.wait_until(lock, due, [this] { return m_stopping; });
    }
}

void Poller::stop()
{
    std::lock_guard lock(m_mutex);
    m_stopping = true;
    m_wake.notify_all();
}

} // namespace qb::web
