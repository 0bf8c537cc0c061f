// The new-message check that runs in the board's 500 ms poll timer: when to
// look, the alert state, and what the board should do about a find. Qt-free;
// the messaging controller turns its answer into sound, blinking and windows.
#pragma once

#include "core/Station.h"
#include "messages/MessageStore.h"

namespace qb::messages {

// Alert states.
namespace alert {
constexpr int kNone = 0;
constexpr int kBringForward = 1; // found with option 7: board to the front, reader open
constexpr int kBlinking = 3;     // title and icon blink until the messages are read
} // namespace alert

class MessageCheck {
public:
    // What the station is doing this tick.
    struct Tick {
        bool messagesDisabled = false; // option 10
        bool adminMode = false;
        bool sendWindowVisible = false;
        int ownIndex = -1;
        int interval = 180;  // message-check interval, ticks
        bool toFront = false; // option 7
        bool sound = false;   // option 6
    };
    enum class Blink { None, Odd, Even, Restore };
    // What the board is to do after this tick.
    struct Effects {
        bool checked = false;      // the probe ran
        bool found = false;        // it found an unread message
        bool playSound = false;
        bool bringForward = false; // board to the front; open the reader unless it shows
        Blink blink = Blink::None; // Odd: normal title, Even: "MESSAGE"; Restore: alert over
    };

    Effects tick(board::Station& station, const Tick& t);

    // Counter values other windows set to steer the next check.
    void afterSendWindow(int interval) { counter = interval + 1; }
    void afterReaderOpened(int interval) { counter = interval - 5; }
    void afterOptionsWindow(int interval) { counter = interval - 20; }
    void atLogin(int interval);
    void multipleSendStarts() { counter = -999; }
    void multipleSendEnds(int interval) { counter = interval; }
    void deleteStarts() { counter = -900; }
    void deleteEnds() { counter = 0; }

    int counter = 50;
    int alertState = alert::kNone;
    UnreadProbe probe;
};

} // namespace qb::messages
