// A clock that only moves when told to, so tests tick time instead of
// sleeping.
#pragma once

#include "platform/Clock.h"

namespace qb::test {

// A local calendar time with the fields not given at zero.
inline platform::LocalTime localTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    platform::LocalTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    return t;
}

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
