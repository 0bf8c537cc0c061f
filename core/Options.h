// The logged-in person's 23 options, their rights and the two polling
// intervals, as every window reads them.
#pragma once

#include <array>
#include <string>

namespace qb::admin {

constexpr int kOptionCount = 23;
constexpr int kDefaultRefreshTicks = 120;
constexpr int kDefaultMessageTicks = 180;

// Option numbers used by name elsewhere.
namespace opt {
constexpr int kChangeOthers = 1;
constexpr int kWarnOthers = 2;
constexpr int kInAtStart = 3;
constexpr int kOutOnExit = 4;
constexpr int kInToOutOnExit = 5;
constexpr int kMessageSound = 6;
constexpr int kMessageToFront = 7;
constexpr int kRemarkColors = 8;
constexpr int kShowTime = 9;
constexpr int kDisableMessages = 10;
constexpr int kConfirmExit = 11;
constexpr int kAutoLogin = 12;
constexpr int kLogRemarks = 13;
constexpr int kInternationalDates = 14;
constexpr int kAlternateRows = 15;
constexpr int kTaskbarButton = 16;
constexpr int kActivityInOut = 17;
constexpr int kNoSendToAll = 18;
constexpr int kShowInTaskbar = 19;
constexpr int kLockFourthColumn = 20;
constexpr int kRefreshItem = 21;
constexpr int kEncryptMessages = 22;
constexpr int kHideFourthColumn = 23;
} // namespace opt

// Factory values and rights, one character per option ('t' = true).
inline constexpr const char* kFactoryValues = "fftftttftfttfftfftffffftttttttt";
inline constexpr const char* kFactoryRights = "tttttttfttttttttfftttfttttttttt";

struct Options {
    std::array<bool, kOptionCount + 1> value {}; // index = option number; 0 unused
    std::array<bool, kOptionCount + 1> right {};
    int refreshTicks = kDefaultRefreshTicks;
    int messageTicks = kDefaultMessageTicks;

    Options() { setFromText(kFactoryValues, kFactoryRights); }
    bool operator[](int n) const { return n >= 1 && n <= kOptionCount && value[static_cast<std::size_t>(n)]; }
    void set(int n, bool on)
    {
        if (n >= 1 && n <= kOptionCount)
            value[static_cast<std::size_t>(n)] = on;
    }
    // From the "t"/"f" strings of the local settings; a string shorter than
    // the option count is replaced by the factory one.
    void setFromText(const std::string& values, const std::string& rights);
    std::string valuesText() const;
    std::string rightsText() const;
};

// Built-in captions of the options, index = option number.
const char* builtInCaption(int n);

// Interval lists of the options window.
struct IntervalEntry {
    const char* caption;
    int ticks;
};
extern const IntervalEntry kRefreshIntervals[6];
extern const IntervalEntry kMessageIntervals[5];

} // namespace qb::admin
