// A clock that only moves when told to, so tests tick time instead of
// sleeping.
#pragma once

#include "platform/Clock.h"

namespace qb::test {

class FakeClock final : public platform::Clock {
public:
    explicit FakeClock(TimePoint start = TimePoint{}) : m_now(start) {}
    TimePoint now() const override { return m_now; }
    void set(TimePoint t) { m_now = t; }
    void advance(std::chrono::milliseconds d) { m_now += d; }

private:
    TimePoint m_now;
};

} // namespace qb::test
