#include "MessageCheck.h"

#include <cstdlib>

namespace qb::messages {

void MessageCheck::atLogin(int interval)
{
    const int soon = interval * 5 / 6;
    counter = interval - soon > 20 ? interval - 20 : soon;
}

MessageCheck::Effects MessageCheck::tick(board::Station& station, const Tick& t)
{
    Effects e;
    if (t.messagesDisabled || t.adminMode || t.sendWindowVisible || t.ownIndex < 1)
        return e;
    // A counter set far ahead comes down in steps instead of checking at once.
    if (counter < t.interval + 500)
        ++counter;
    else
        counter -= 491;
    if (counter > t.interval && alertState != alert::kBringForward) {
        counter = 0;
        e.checked = true;
        if (probe.probe(station, t.ownIndex) == 1) {
            e.found = true;
            alertState = t.toFront ? alert::kBringForward : alert::kBlinking;
            e.playSound = t.sound;
        }
    }
    if (alertState == alert::kBringForward) {
        alertState = alert::kBlinking;
        e.bringForward = true;
    }
    if (alertState != alert::kNone)
        e.blink = (counter % 2 != 0) ? Blink::Odd : Blink::Even;
    else
        e.blink = Blink::Restore;
    return e;
}

} // namespace qb::messages
