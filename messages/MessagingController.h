// Messaging inside the board program: owns the send window, the reader and
// the new-message check, and turns the check's answers into sound, a
// blinking caption and icon, and the reader coming up. The board calls
// loggedIn() after a login, timerTick() from its 500 ms poll timer, and the
// two menu entries openSendWindow() and readMessages().
#pragma once

#include "core/Station.h"
#include "messages/MessageCheck.h"
#include "messages/MessagingHost.h"
#include "messages/ReaderLogic.h"
#include "messages/SendLogic.h"

#include <QIcon>
#include <QObject>

#include <memory>

namespace qb::messages {

class TSendMsg3;
class TrdMsgs;
} // namespace qb::messages
class QSoundEffect;
namespace qb::messages {

class MessagingController : public QObject {
    Q_OBJECT
public:
    MessagingController(board::Station& station, MessagingHost host, QObject* parent = nullptr);
    ~MessagingController() override;

    // After a person (or the administrator) logged in: binds the own table
    // and schedules the first check. timerTick() calls it by itself when the
    // logged-in board index changed (the login checks the table's health).
    void loggedIn();
    // One tick of the board's 500 ms timer.
    void timerTick();

    // "&Send Message" on a name: target board index, name and the remark
    // captured when the name was clicked.
    void openSendWindow(int target, const QString& name, const std::string& targetRemark);
    // "&Read Message(s)".
    void readMessages();
    bool busySending() const { return m_multiple.busy(); }
    // The alert of a new message ends (the caption and the icon come back).
    void clearAlert();

    TSendMsg3* sendWindow() const { return m_send; }
    TrdMsgs* reader() const { return m_reader; }
    ReaderLogic& readerLogic() { return m_readerLogic; }
    MessageCheck& check() { return m_check; }
    int soundsPlayed() const { return m_soundsPlayed; }

    static QIcon readerIcon();
    static QIcon sendIcon();

signals:
    // A multiple send finished (tests wait for it).
    void multipleSendFinished();
    // The check found an unread message.
    void messageAlert();

private:
    void prepareSendWindow(bool replyMode);
    PreparedMessage preparedFromSendWindow() const;
    void send();
    void startMultipleSend();
    void multipleStep();
    void reply(const ReplyDraft& d, bool forward, bool direct, std::uint8_t flags);
    void playSound();
    void bringBoardForward();
    void showReader();
    int interval() const;
    bool option(int n) const;

    board::Station& m_station;
    MessagingHost m_host;
    ReaderLogic m_readerLogic;
    MessageCheck m_check;
    MultipleSend m_multiple;
    TSendMsg3* m_send = nullptr;
    TrdMsgs* m_reader = nullptr;
    int m_boundIndex = -1;  // the board index the reader is bound to
    int m_target = -1;      // mailbox of a single send
    int m_sender = -1;      // board index written as fromid
    bool m_replyMode = false;
    std::string m_targetRemark;
    int m_soundsPlayed = 0;
    QSoundEffect* m_effect = nullptr;
};

} // namespace qb::messages
