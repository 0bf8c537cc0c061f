// Time source. Everything time-dependent takes a Clock so tests can move time
// by hand instead of sleeping (tests/support/FakeClock.h).
#pragma once

#include <chrono>
#include <cstdint>

namespace qb::platform {

class Clock {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint now() const = 0;
};

class SystemClock final : public Clock {
public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
    // The process-wide instance for production code.
    static SystemClock& instance();
};

// Local calendar values of a time point (the timezone of the process).
struct LocalTime {
    int year = 1970, month = 1, day = 1; // month 1..12
    int hour = 0, minute = 0, second = 0, millisecond = 0;
    int dayOfWeek = 0; // 0 = Sunday
};
LocalTime toLocal(Clock::TimePoint t);
// Inverse of toLocal (mktime; seconds resolution plus milliseconds).
Clock::TimePoint fromLocal(const LocalTime& lt);

// Date-time as days since 1899-12-30, local time, fraction = time of day.
double toDateTime(const LocalTime& lt);
LocalTime fromDateTime(double dt);
inline double nowDateTime(const Clock& c) { return toDateTime(toLocal(c.now())); }

// Day serial (days since 1899-12-30) of a calendar date.
std::int64_t daySerial(int year, int month, int day);
void civilFromSerial(std::int64_t serial, int& year, int& month, int& day);

} // namespace qb::platform
