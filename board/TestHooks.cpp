#include "TestHooks.h"

#include "admin/TpickList1.h"
#include "board/LoginLogic.h"
#include "board/RemarkController.h"

#include <QFile>
#include <QListWidget>
#include <QTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cstdio>

namespace qb::board {

bool TestHooks::requested()
{
    return !qEnvironmentVariableIsEmpty("QB_TEST_BOARD_DUMP") || !qEnvironmentVariableIsEmpty("QB_TEST_CONTROL");
}

TestHooks::TestHooks(QObject* parent) : QObject(parent)
{
    m_dumpPath = qEnvironmentVariable("QB_TEST_BOARD_DUMP");
    const QString control = qEnvironmentVariable("QB_TEST_CONTROL");
    if (control.isEmpty())
        return;
    m_server = new QLocalServer(this);
    QLocalServer::removeServer(control);
    if (!m_server->listen(control)) {
        qWarning("qbp3: test control %s: %s", qPrintable(control), qPrintable(m_server->errorString()));
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, &TestHooks::onConnection);
}

QString TestHooks::formatDump(const BoardView& view, int number)
{
    QString text = QStringLiteral("dump %1\n").arg(number);
    const Board& b = view.board();
    for (int row = 1; row < view.gridRowCount(); ++row) {
        const int index = view.boardIndexAt(row);
        if (index <= 0 || index >= b.rowCount())
            continue;
        const auto i = static_cast<std::size_t>(index);
        text += QStringLiteral("%1\t%2\t%3\t%4\n")
                    .arg(index)
                    .arg(QString::fromStdString(b.names[i]), QString::fromStdString(b.remarks[i]),
                         QString::fromStdString(b.miscs[i]));
    }
    return text;
}

void TestHooks::dump(const BoardView& view)
{
    if (m_dumpPath.isEmpty())
        return;
    const QString temp = m_dumpPath + QStringLiteral(".part");
    QFile f(temp);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    f.write(formatDump(view, ++m_dumps).toUtf8());
    f.close();
    // rename(2) replaces the old file in one step; QFile::rename would not.
    std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(m_dumpPath).constData());
}

void TestHooks::onConnection()
{
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            // A command may open a modal window whose loop delivers more
            // input; the guard keeps a closed socket from being used.
            QPointer<QLocalSocket> guard(socket);
            while (guard && guard->canReadLine()) {
                const QString line = QString::fromUtf8(guard->readLine()).trimmed();
                const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
                const QString answer = command(words);
                if (guard) {
                    guard->write(answer.toUtf8() + '\n');
                    guard->flush();
                }
            }
        });
    }
}

void TestHooks::attach(Board& board, LoginLogic& login, RemarkController& remarks, std::function<void()> reload)
{
    m_board = &board;
    m_login = &login;
    m_remarks = &remarks;
    m_reload = std::move(reload);
}

QString TestHooks::command(const QStringList& words)
{
    if (!m_board)
        return QStringLiteral("error not attached");
    Board& b = *m_board;
    const QString name = words.value(0);
    if (auto extra = m_extra.find(name); extra != m_extra.end())
        return extra->second(words);
    const auto ownRemark = [&b] {
        const auto i = static_cast<std::size_t>(b.ownIndex);
        return b.ownIndex > 0 && i < b.remarks.size() ? QString::fromStdString(b.remarks[i]) : QString();
    };
    if (name == QLatin1String("state"))
        return QStringLiteral("ok %1 %2 %3").arg(m_login->loggedIn() ? 1 : 0).arg(b.ownIndex).arg(ownRemark());
    if (!m_login->loggedIn())
        return QStringLiteral("error not logged in");
    if (name == QLatin1String("in") || name == QLatin1String("out")) {
        m_remarks->setOwn(name == QLatin1String("in"));
        return QStringLiteral("ok ") + ownRemark();
    }
    if (name == QLatin1String("reload")) {
        if (m_reload)
            m_reload();
        return QStringLiteral("ok");
    }
    if (name == QLatin1String("pick") && words.size() == 3) {
        const int index = words[1].toInt();
        const int entry = words[2].toInt();
        if (!b.isShown(index))
            return QStringLiteral("error no row %1").arg(index);
        // The list is modal: choose the entry once its loop runs, as a
        // click on the entry would.
        QTimer::singleShot(0, this, [this, entry] {
            admin::TpickList1* list = m_remarks->pickList();
            if (!list || !list->isVisible())
                return;
            QListWidget* box = list->listBox();
            if (QListWidgetItem* item = box->item(entry)) {
                box->setCurrentItem(item);
                emit box->itemClicked(item);
            } else {
                list->reject();
            }
        });
        m_remarks->cellClicked(index, BoardView::kRemarkColumn, Qt::LeftButton);
        return QStringLiteral("ok ") + QString::fromStdString(b.remarks[static_cast<std::size_t>(index)]);
    }
    return QStringLiteral("error unknown command");
}

} // namespace qb::board
