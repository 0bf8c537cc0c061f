#include "Clock.h"

#include <cmath>
#include <ctime>

namespace qb::platform {

SystemClock& SystemClock::instance()
{
    static SystemClock clock;
    return clock;
}

LocalTime toLocal(Clock::TimePoint t)
{
    using namespace std::chrono;
    auto ms = duration_cast<milliseconds>(t.time_since_epoch()).count();
    std::time_t secs = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm tm {};
    localtime_r(&secs, &tm);
    LocalTime lt;
    lt.year = tm.tm_year + 1900;
    lt.month = tm.tm_mon + 1;
    lt.day = tm.tm_mday;
    lt.hour = tm.tm_hour;
    lt.minute = tm.tm_min;
    lt.second = tm.tm_sec;
    lt.millisecond = static_cast<int>(ms - static_cast<long long>(secs) * 1000);
    lt.dayOfWeek = tm.tm_wday;
    return lt;
}

Clock::TimePoint fromLocal(const LocalTime& lt)
{
    std::tm tm {};
    tm.tm_year = lt.year - 1900;
    tm.tm_mon = lt.month - 1;
    tm.tm_mday = lt.day;
    tm.tm_hour = lt.hour;
    tm.tm_min = lt.minute;
    tm.tm_sec = lt.second;
    tm.tm_isdst = -1;
    std::time_t secs = std::mktime(&tm);
    return Clock::TimePoint(std::chrono::seconds(secs)) + std::chrono::milliseconds(lt.millisecond);
}

// Days from civil, after the well-known proleptic Gregorian algorithm.
std::int64_t daySerial(int year, int month, int day)
{
    std::int64_t y = year - (month <= 2 ? 1 : 0);
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yoe = y - era * 400;
    std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    std::int64_t unixDays = era * 146097 + doe - 719468;
    return unixDays + 25569; // 1899-12-30 -> 1970-01-01
}

void civilFromSerial(std::int64_t serial, int& year, int& month, int& day)
{
    std::int64_t z = serial - 25569 + 719468;
    std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t y = yoe + era * 400;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(y + (month <= 2 ? 1 : 0));
}

double toDateTime(const LocalTime& lt)
{
    double frac = (lt.hour * 3600.0 + lt.minute * 60.0 + lt.second + lt.millisecond / 1000.0) / 86400.0;
    return static_cast<double>(daySerial(lt.year, lt.month, lt.day)) + frac;
}

LocalTime fromDateTime(double dt)
{
    LocalTime lt;
    double whole = std::floor(dt);
    civilFromSerial(static_cast<std::int64_t>(whole), lt.year, lt.month, lt.day);
    long long ms = std::llround((dt - whole) * 86400000.0);
    if (ms >= 86400000LL)
        ms = 86400000LL - 1;
    lt.hour = static_cast<int>(ms / 3600000);
    lt.minute = static_cast<int>(ms / 60000 % 60);
    lt.second = static_cast<int>(ms / 1000 % 60);
    lt.millisecond = static_cast<int>(ms % 1000);
    lt.dayOfWeek = static_cast<int>(((static_cast<std::int64_t>(whole) % 7) + 7 + 6) % 7); // serial 0 was a Saturday
    return lt;
}

} // namespace qb::platform
