// Activity-based In/Out: after long inactivity the own remark goes to Out,
// on activity back to In. Driven by a timer; time and cursor are injected.
//
// A remark the person chose (In, Out or a pick from the list) is never undone
// by the machine: after such a change only activity that happened after it
// (the cursor moving away from where it was at the change, or a key) may
// switch the person back In. The click that chose Out is no such activity.
#pragma once

#include "board/Board.h"
#include "platform/Clock.h"

#include <functional>
#include <string>

namespace qb::board {

class ActivityWatcher {
public:
    static constexpr int kActivitySeconds = 480;
    static constexpr int kOutSeconds = 28800;
    static constexpr int kNoActivityStatus = 9;

    struct Point {
        int x = 0, y = 0;
    };
    struct Hooks {
        std::function<Point()> cursor;
        std::function<void()> setIn;          // own remark to In
        std::function<void()> markNoActivity; // rewrite own remark unchanged, colour white
        std::function<void()> setOut;         // own remark to Out
        std::function<void()> eraseIdleSection;
        std::function<void(const std::string& key, const std::string& value)> writeIdle;
    };

    ActivityWatcher(const platform::Clock& clock, Board& board, Hooks hooks);

    // One run of the timer. Does nothing unless option 17 is on.
    void tick();
    // The person changed the own remark; the cursor position now is where
    // later movement is measured from.
    void explicitChange();
    // A key was pressed: activity now.
    void noteActivity();
    // Milliseconds until the next run.
    int intervalMs() const { return m_intervalMs; }
    void setIntervalMs(int ms) { m_intervalMs = ms; }

    // " dddd, mmmm d, yyyy, hh:mm:ss"
    static std::string formatLong(const platform::LocalTime& t);
    // "To " + word + " after idling for " + duration + " on " + date.
    static std::string idleNote(const std::string& word, long idleSeconds, const platform::LocalTime& t);

private:
    double nowSeconds() const;
    void note(const std::string& word, long idle);
    const platform::Clock& m_clock;
    Board& m_board;
    Hooks m_hooks;
    bool m_started = false;
    double m_lastActivity = 0;
    Point m_lastCursor;
    int m_noActivitySeconds = kOutSeconds + 2;
    int m_noteCounter = 0;
    int m_intervalMs = 1000;
    // Set by an explicit change until activity after it was seen.
    bool m_awaitActivity = false;
    bool m_keyPressed = false;
    double m_keyAt = 0;
};

} // namespace qb::board
