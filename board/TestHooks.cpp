#include "TestHooks.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>

#include <cstdio>

namespace qb::board {

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
                const QString answer = handler ? handler(words) : QStringLiteral("error no handler");
                if (guard) {
                    guard->write(answer.toUtf8() + '\n');
                    guard->flush();
                }
            }
        });
    }
}

} // namespace qb::board
