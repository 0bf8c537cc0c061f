#include "MessagingController.h"

#include "core/Dialogs.h"
#include "engine/TTzDbf.h"
#include "engine/controls/TTzNavigator.h"
#include "engine/TTzSession.h"
#include "messages/TSendMsg3.h"
#include "messages/TrdMsgs.h"
#include "platform/FileOps.h"
#include "ui/PaintedIcons.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSoundEffect>
#include <QTimer>

namespace qb::messages {

namespace {
constexpr const char* kTitle = "Quellboard Pro";
QString q(const std::string& s) { return QString::fromStdString(s); }
} // namespace

QIcon MessagingController::readerIcon() { return ui::icons::envelope(QColor(255, 250, 205), Qt::darkGreen, false); }
QIcon MessagingController::sendIcon() { return ui::icons::envelope(QColor(255, 220, 120), QColor(200, 30, 30), true); }

MessagingController::MessagingController(board::Station& station, MessagingHost host, QObject* parent)
    : QObject(parent), m_station(station), m_host(std::move(host)), m_readerLogic(station)
{
    m_send = new TSendMsg3(m_host.boardWindow);
    m_send->setWindowIcon(sendIcon());
    m_send->onSend = [this] { send(); };
    m_send->onMultipleSend = [this] { startMultipleSend(); };
    m_send->onHelp = [this] {
        if (m_host.openHelp)
            m_host.openHelp(QStringLiteral("html/Sending a Message.html"));
    };
    m_send->onForwardCancelled = [this] {
        m_send->reject();
        showReader();
    };
    connect(m_send, &QDialog::finished, this, [this] {
        m_send->forwarding = false;
        if (!m_replyMode)
            m_check.afterSendWindow(interval());
    });

    m_reader = new TrdMsgs(m_readerLogic, m_host.boardWindow);
    m_reader->setWindowIcon(readerIcon());
    // The navigator's delete and restore questions go through the program's
    // boxes too (its Delete button is hidden here, but nothing opens a box
    // of its own).
    m_reader->navigator()->confirm = [this](const std::string& question) {
        return m_host.dialogs && m_host.dialogs->confirm(question);
    };
    m_reader->onAlertCleared = [this] { m_check.alertState = alert::kNone; };
    m_reader->onDeleteStarts = [this] { m_check.deleteStarts(); };
    m_reader->onDeleteEnds = [this] { m_check.deleteEnds(); };
    m_reader->onHelp = [this](const QString& topic) {
        if (m_host.openHelp)
            m_host.openHelp(topic);
    };
    m_reader->ownName = [this] { return m_host.ownName ? q(m_host.ownName()) : QString(); };
    m_reader->outOfOfficeColouring = [this] { return m_host.outOfOfficeColouring && m_host.outOfOfficeColouring(); };
    m_reader->onReply = [this](const ReplyDraft& d, bool forward, bool direct, std::uint8_t flags) {
        reply(d, forward, direct, flags);
    };
    connect(m_reader, &QDialog::finished, this, [this] {
        clearAlert();
        m_check.afterReaderOpened(interval());
    });
}

MessagingController::~MessagingController() = default;

int MessagingController::interval() const { return m_host.messageInterval ? m_host.messageInterval() : 180; }
bool MessagingController::option(int n) const { return m_host.option && m_host.option(n); }

void MessagingController::loggedIn()
{
    const int own = m_host.ownIndex ? m_host.ownIndex() : -1;
    m_boundIndex = own;
    m_readerLogic.setBoardIndex(own);
    m_check.atLogin(interval());
    m_check.alertState = alert::kNone;
}

void MessagingController::timerTick()
{
    if (!m_host.loggedIn || !m_host.loggedIn()) {
        m_boundIndex = -1;
        return;
    }
    // A new login binds the own table and schedules the first check.
    if ((m_host.ownIndex ? m_host.ownIndex() : -1) != m_boundIndex)
        loggedIn();
    MessageCheck::Tick t;
    t.messagesDisabled = option(10);
    t.adminMode = m_host.adminMode && m_host.adminMode();
    t.sendWindowVisible = m_send->isVisible();
    t.ownIndex = m_host.ownIndex ? m_host.ownIndex() : -1;
    t.interval = interval();
    t.toFront = option(7);
    t.sound = option(6);
    m_check.probe.processEvents = [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); };
    const MessageCheck::Effects e = m_check.tick(m_station, t);
    if (e.found) {
        // A tiny mouse move wakes a screen saver or a dimmed screen.
        const QPoint at = QCursor::pos();
        QCursor::setPos(at + QPoint(1, 1));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QCursor::setPos(at);
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        m_reader->setWindowTitle(QStringLiteral("A New Message has arrived!"));
        if (e.playSound)
            playSound();
        emit messageAlert();
    }
    if (e.bringForward) {
        bringBoardForward();
        if (!m_reader->isVisible())
            QTimer::singleShot(0, this, &MessagingController::readMessages);
    }
    switch (e.blink) {
    case MessageCheck::Blink::Odd:
        if (m_host.setTitle)
            m_host.setTitle(QString::fromLatin1(kTitle));
        if (m_host.setTrayIcon) {
            const QIcon icon = readerIcon();
            m_host.setTrayIcon(&icon);
        }
        break;
    case MessageCheck::Blink::Even:
        if (m_host.setTitle)
            m_host.setTitle(QStringLiteral("MESSAGE"));
        if (m_host.setTrayIcon) {
            const QIcon icon = sendIcon();
            m_host.setTrayIcon(&icon);
        }
        break;
    case MessageCheck::Blink::Restore:
        if (m_host.caption && m_host.caption().trimmed() != QString::fromLatin1(kTitle)) {
            if (m_host.setTrayIcon)
                m_host.setTrayIcon(nullptr);
            if (m_host.setTitle)
                m_host.setTitle(QString::fromLatin1(kTitle));
        }
        break;
    case MessageCheck::Blink::None: break;
    }
}

void MessagingController::playSound()
{
    ++m_soundsPlayed;
    if (QMediaDevices::audioOutputs().isEmpty()) {
        QApplication::beep();
        return;
    }
    const QString file = m_host.workstationDir ? q(m_host.workstationDir()) + QStringLiteral("/qbpmsg.wav") : QString();
    if (!m_effect)
        m_effect = new QSoundEffect(this);
    if (!file.isEmpty() && QFileInfo::exists(file))
        m_effect->setSource(QUrl::fromLocalFile(file));
    else
        m_effect->setSource(QUrl(QStringLiteral("qrc:/messages/chime.wav")));
    m_effect->play();
}

void MessagingController::bringBoardForward()
{
    QWidget* board = m_host.boardWindow;
    if (!board || (board->isActiveWindow() && QApplication::activeWindow() == board))
        return;
    // On top for a moment and back, without taking the focus from anyone.
    board->setAttribute(Qt::WA_ShowWithoutActivating, true);
    if (board->isMinimized())
        board->showNormal();
    board->setWindowFlag(Qt::WindowStaysOnTopHint, true);
    board->show();
    board->setWindowFlag(Qt::WindowStaysOnTopHint, false);
    board->show();
    board->raise();
    board->setAttribute(Qt::WA_ShowWithoutActivating, false);
}

void MessagingController::clearAlert()
{
    m_check.alertState = alert::kNone;
    if (m_host.setTrayIcon)
        m_host.setTrayIcon(nullptr);
    if (m_host.setTitle)
        m_host.setTitle(QString::fromLatin1(kTitle));
}

void MessagingController::readMessages()
{
    if (m_send->isVisible()) {
        m_send->raise();
        m_send->activateWindow();
        return;
    }
    const int own = m_host.ownIndex ? m_host.ownIndex() : -1;
    if (!m_host.loggedIn || !m_host.loggedIn() || own < 1 || (m_host.adminMode && m_host.adminMode()))
        return;
    if (m_host.setTitle)
        m_host.setTitle(QString::fromLatin1(kTitle));
    if (m_host.setTrayIcon)
        m_host.setTrayIcon(nullptr);
    if (countMessages(m_station, own) < 0) {
        if (m_host.alert)
            m_host.alert({"No messages are available."});
        m_check.alertState = alert::kNone;
        return;
    }
    showReader();
}

void MessagingController::showReader()
{
    if (m_reader->isVisible()) {
        m_reader->raise();
        m_reader->activateWindow();
        return;
    }
    m_readerLogic.setBoardIndex(m_host.ownIndex ? m_host.ownIndex() : -1);
    if (m_host.flagLabels)
        m_reader->setFlagCaptions(m_host.flagLabels());
    if (!m_reader->activate(m_check.probe.foundRecNo)) {
        m_reader->show();
        // The reason stays readable for a moment; the reader then closes.
        QTimer::singleShot(4000, m_reader, [this] { m_reader->reject(); });
        return;
    }
    m_reader->show();
    m_reader->raise();
    m_reader->activateWindow();
    m_reader->memo()->setFocus();
}

void MessagingController::prepareSendWindow(bool replyMode)
{
    // The site's captions are read at start-up, after this object was made.
    if (m_host.flagLabels)
        m_send->setFlagCaptions(m_host.flagLabels());
    m_send->sendButton()->setEnabled(true);
    if (!replyMode) {
        m_send->setFlags(0);
        m_send->setDateText(q(sendTimeText(platform::toLocal(m_station.clock.now()), option(14))));
        m_send->subject()->clear();
        m_send->setRecipientText(m_send->clickedName);
        m_send->memo()->clear();
        const bool ooo = m_host.outOfOfficeColouring && m_host.outOfOfficeColouring() && m_host.inText &&
                         m_targetRemark != m_host.inText();
        m_send->setOutOfOffice(ooo);
        if (ooo) {
            m_send->subject()->setText(QStringLiteral(" Out of Office Message"));
            m_send->memo()->setFocus();
        } else {
            m_send->subject()->setFocus();
        }
    } else {
        m_send->memo()->setFocus();
    }
    const std::string filter = m_host.viewFilter ? m_host.viewFilter() : std::string();
    m_send->defaultMultiple = q(multipleSendCaption(filter, m_host.ownName ? m_host.ownName() : std::string()));
    m_send->multipleButton()->setText(m_send->defaultMultiple);
    if (m_host.people)
        m_send->setPeople(m_host.people());
    m_send->clearRecipients();
    const bool admin = m_host.adminMode && m_host.adminMode();
    m_send->sendButton()->setEnabled(!admin);
    m_send->multipleButton()->setEnabled(!admin && !option(18));
    if (m_send->forwarding) {
        m_send->setTicked({});
        m_send->openPanel();
    }
}

void MessagingController::openSendWindow(int target, const QString& name, const std::string& targetRemark)
{
    if (m_multiple.busy()) {
        if (m_host.alert)
            m_host.alert({"Busy sending", "Please try later"});
        return;
    }
    m_target = target;
    m_replyMode = false;
    m_sender = m_host.ownIndex ? m_host.ownIndex() : -1;
    m_targetRemark = targetRemark;
    m_send->forwarding = false;
    m_send->clickedName = name;
    prepareSendWindow(false);
    m_send->show();
    m_send->raise();
    m_send->activateWindow();
}

// The message as the send window holds it, in the stored form.
PreparedMessage MessagingController::preparedFromSendWindow() const
{
    Message m;
    m.fromId = m_sender;
    m.from = m_host.ownName ? m_host.ownName() : std::string();
    m.subject = m_send->subject()->text().toStdString();
    m.time = m_send->dateText().toStdString();
    m.flags = static_cast<std::uint8_t>(m_send->flags() | (m_send->outOfOffice() ? 0 : flag::kOrdinary));
    m.lines = m_send->lines();
    return prepareMessage(m, option(22), engine::TTzSession::instance().codePage);
}

void MessagingController::send()
{
    if (m_send->forwarding) {
        // A forward goes to the names picked in the panel only.
        if (m_send->panelVisible())
            m_send->closePanel();
        if (m_send->recipients().empty()) {
            m_send->openPanel();
            return;
        }
        startMultipleSend();
        return;
    }
    m_send->hide();
    const PreparedMessage p = preparedFromSendWindow();
    const SendResult r = deliver(m_station, m_target, p, kSingleSend);
    const std::string file = messageTableName(m_target);
    if (r == SendResult::OpenFailed || r == SendResult::OpenBusy) {
        std::string memo = file;
        memo.back() = 'T';
        const bool memoThere =
            platform::fileExists(engine::TTzDbf::resolvePath(m_station.dataPath(memo)));
        if (m_host.alert)
            m_host.alert({"Problem accessing file " + file, "in folder " + m_station.dataDir,
                          memoThere ? std::string() : "Error: " + memo + " is missing."});
    } else if (r != SendResult::Delivered) {
        // Not delivered must never look like sent.
        if (m_host.alert)
            m_host.alert({"Message not delivered:", file + " stayed locked by other stations.", "Please try again."});
        m_send->show();
        return;
    } else {
        m_send->memo()->clear();
        if (m_sender == (m_host.ownIndex ? m_host.ownIndex() : -1) && m_target == m_sender)
            m_check.afterSendWindow(interval());
        if (m_host.statusLine)
            m_host.statusLine(QStringLiteral("Message sent to %1").arg(m_send->recipientText()));
    }
    m_station.engine.clearError();
    m_send->accept();
}

void MessagingController::startMultipleSend()
{
    if (m_send->panelVisible())
        m_send->closePanel();
    const QString question = m_send->forwarding ? QStringLiteral("Forward to selected names")
                                                : QString(m_send->multipleButton()->text()).remove(QLatin1Char('&'));
    if (!m_host.dialogs || m_host.dialogs->message(core::Dialogs::Box::Question, question.toStdString(),
                                                   core::Dialogs::Buttons::OkCancel, std::nullopt,
                                                   kTitle) != core::Dialogs::Answer::Ok)
        return;
    const PreparedMessage p = preparedFromSendWindow();
    const std::string filter = m_host.viewFilter ? m_host.viewFilter() : std::string();
    if (!m_multiple.start(m_send->recipients(), p, m_host.mirrorPath ? m_host.mirrorPath() : std::string(), filter,
                          m_host.ownIndex ? m_host.ownIndex() : -1))
        return;
    m_check.multipleSendStarts();
    m_send->memo()->clear();
    m_send->accept();
    QTimer::singleShot(0, this, &MessagingController::multipleStep);
}

void MessagingController::multipleStep()
{
    const bool more = m_multiple.step(m_station);
    m_station.engine.clearError();
    if (m_host.statusLine)
        m_host.statusLine(q(m_multiple.progressText()));
    if (more) {
        QTimer::singleShot(0, this, &MessagingController::multipleStep);
        return;
    }
    m_check.multipleSendEnds(interval());
    if (!m_multiple.skipped().empty() && m_host.alert)
        m_host.alert({"Message not delivered to " + std::to_string(m_multiple.skipped().size()) + " of " +
                          std::to_string(m_multiple.total()) + " names:",
                      "their message tables stayed locked.", ""});
    emit multipleSendFinished();
}

void MessagingController::reply(const ReplyDraft& d, bool forward, bool direct, std::uint8_t flags)
{
    m_replyMode = true;
    m_sender = m_host.ownIndex ? m_host.ownIndex() : -1;
    m_target = d.mailbox;
    m_send->forwarding = forward;
    m_send->clickedName = q(d.recipientText);
    m_targetRemark.clear();
    prepareSendWindow(true);
    m_send->setDateText(q(replyTimeText(platform::toLocal(m_station.clock.now()))));
    m_send->subject()->setText(q(d.subject));
    m_send->setRecipientText(q(d.recipientText));
    m_send->setLines(d.lines);
    m_send->setOutOfOffice(false);
    if (direct) {
        m_send->setFlags(flags);
        send();
        return;
    }
    m_send->setFlags(0);
    m_reader->hide();
    m_send->show();
    m_send->raise();
    m_send->activateWindow();
    QTextCursor c = m_send->memo()->textCursor();
    c.movePosition(QTextCursor::Start);
    m_send->memo()->setTextCursor(c);
    connect(
        m_send, &QDialog::finished, this,
        [this] {
            if (!m_reader->isVisible())
                m_reader->reject();
        },
        Qt::SingleShotConnection);
}

} // namespace qb::messages
