#include "MessagingTestCommands.h"

#include "messages/MessagingController.h"
#include "messages/TSendMsg3.h"
#include "messages/TrdMsgs.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace qb::messages {

std::vector<std::pair<QString, TestCommand>> messagingTestCommands(MessagingController& messaging,
                                                                   std::function<std::string(int)> nameOf)
{
    MessagingController* m = &messaging;
    std::vector<std::pair<QString, TestCommand>> out;
    out.emplace_back(QStringLiteral("send"), [m, nameOf](const QStringList& words) {
        if (words.size() < 3)
            return QStringLiteral("error usage: send INDEX SUBJECT");
        bool ok = false;
        const int index = words.at(1).toInt(&ok);
        if (!ok || index < 1)
            return QStringLiteral("error bad index");
        const QString subject = words.mid(2).join(QLatin1Char(' '));
        m->openSendWindow(index, QString::fromStdString(nameOf ? nameOf(index) : std::string()), "In");
        TSendMsg3* w = m->sendWindow();
        if (!w->isVisible())
            return QStringLiteral("error the send window did not open");
        w->subject()->setText(subject);
        w->memo()->setPlainText(QStringLiteral("Message about ") + subject);
        w->sendButton()->click();
        return w->isVisible() ? QStringLiteral("error not sent") : QStringLiteral("ok sent");
    });
    out.emplace_back(QStringLiteral("messages"), [m](const QStringList&) {
        TrdMsgs* r = m->reader();
        const bool shown = r->isVisible();
        return QStringLiteral("ok reader=%1 green=%2 alert=%3 subject=%4")
            .arg(shown ? 1 : 0)
            .arg(shown && r->shownGreen() ? 1 : 0)
            .arg(m->check().alertState)
            .arg(shown ? QString::fromStdString(m->readerLogic().current().subject) : QString());
    });
    out.emplace_back(QStringLiteral("close-reader"), [m](const QStringList&) {
        if (m->reader()->isVisible())
            m->reader()->closeReader();
        return QStringLiteral("ok");
    });
    return out;
}

} // namespace qb::messages
