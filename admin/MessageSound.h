// The new-message sound as "Test Sound" plays it: qbpmsg.wav from the
// workstation directory when there is one, else the program's own chime
// (the new-message check's, a resource of the program);
// a beep on a computer without an audio output. Asynchronous.
#pragma once

class QObject;

namespace qb::admin {

// parent owns the player while it plays.
void playMessageSound(QObject* parent);

} // namespace qb::admin
