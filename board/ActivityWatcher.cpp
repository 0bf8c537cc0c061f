#include "ActivityWatcher.h"

#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace qb::board {

namespace {
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};

} // namespace

ActivityWatcher::ActivityWatcher(const platform::Clock& clock, Board& board, Hooks hooks)
    : m_clock(clock), m_board(board), m_hooks(std::move(hooks))
{
}

double ActivityWatcher::nowSeconds() const
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(m_clock.now().time_since_epoch()).count() / 1000.0;
}

std::string ActivityWatcher::formatLong(const platform::LocalTime& t)
{
    char buf[80];
    std::snprintf(buf, sizeof buf, " %s, %s %d, %d, %02d:%02d:%02d", kDays[(platform::daySerial(t.year, t.month, t.day) % 7 + 13) % 7],
                  kMonths[(t.month + 11) % 12], t.day, t.year, t.hour, t.minute, t.second);
    return buf;
}

std::string ActivityWatcher::idleNote(const std::string& word, long idle, const platform::LocalTime& t)
{
    std::string duration = idle > 60 ? std::to_string(idle / 60) + " min." : std::to_string(idle) + " sec.";
    // The note reads "... on Tuesday, ..." with one blank: the [idle]
    // started value keeps its leading blank, the note does not.
    return "To " + word + " after idling for " + duration + " on " + formatLong(t).substr(1);
}

void ActivityWatcher::note(const std::string& word, long idle)
{
    if (m_hooks.writeIdle)
        m_hooks.writeIdle(std::to_string(m_noteCounter), idleNote(word, idle, platform::toLocal(m_clock.now())));
    m_noteCounter = (m_noteCounter + 1) % 10;
}

void ActivityWatcher::explicitChange()
{
    m_awaitActivity = true;
    m_keyPressed = false;
    if (m_hooks.cursor)
        m_lastCursor = m_hooks.cursor();
}

void ActivityWatcher::noteActivity()
{
    m_keyPressed = true;
    m_keyAt = nowSeconds();
    m_awaitActivity = false;
}

void ActivityWatcher::tick()
{
    if (!m_board.options[admin::opt::kActivityInOut])
        return;
    Point cursor = m_hooks.cursor ? m_hooks.cursor() : Point {};
    double now = nowSeconds();
    if (!m_started) {
        m_started = true;
        if (m_hooks.eraseIdleSection)
            m_hooks.eraseIdleSection();
        if (m_hooks.writeIdle)
            m_hooks.writeIdle("started", formatLong(platform::toLocal(m_clock.now())));
        int out = std::max(kOutSeconds, kActivitySeconds + 2);
        m_noActivitySeconds = out + 2;
        m_lastActivity = now - kActivitySeconds;
        m_lastCursor = cursor;
    }
    std::string own = m_board.ownIndex > 0 && m_board.ownIndex < m_board.rowCount()
                          ? m_board.remarks[static_cast<std::size_t>(m_board.ownIndex)]
                          : std::string();
    if (platform::asciiLower(own) == "out" && m_board.ownStatus < remark::kOut)
        m_board.ownStatus = remark::kOut;
    if (std::abs(cursor.x - m_lastCursor.x) > 6 || std::abs(cursor.y - m_lastCursor.y) > 6) {
        m_lastCursor = cursor;
        m_lastActivity = now;
        m_awaitActivity = false;
    }
    if (m_keyPressed) {
        m_keyPressed = false;
        m_lastActivity = std::max(m_lastActivity, m_keyAt);
    }
    long idle = static_cast<long>(now - m_lastActivity);
    int status = m_board.ownStatus;
    if (idle < kActivitySeconds && !m_awaitActivity && (status == remark::kOut || status == kNoActivityStatus)) {
        if (m_hooks.setIn)
            m_hooks.setIn();
        m_board.ownStatus = remark::kIn;
        note("In", idle);
    } else if (idle > m_noActivitySeconds && (status == remark::kIn || status == remark::kInUnavailable)) {
        if (m_hooks.markNoActivity)
            m_hooks.markNoActivity();
        note("No activity", idle);
        m_board.ownStatus = kNoActivityStatus;
    }
    status = m_board.ownStatus;
    if (idle > kOutSeconds && (status == remark::kIn || status == remark::kInUnavailable ||
                               status == kNoActivityStatus)) {
        m_board.ownStatus = remark::kOut;
        if (m_hooks.setOut)
            m_hooks.setOut();
        note("Out", idle);
    }
    m_intervalMs = 1000;
}

} // namespace qb::board
