#include "SingleInstance.h"

#include <QLocalSocket>
#include <QThread>

#include <unistd.h>

namespace qb::board {

QString SingleInstance::defaultName()
{
    return QStringLiteral("QuellboardPro-") + QString::number(::getuid());
}

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), m_name(std::move(name))
{
    m_server.setSocketOptions(QLocalServer::AbstractNamespaceOption);
    connect(&m_server, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
}

bool SingleInstance::sendShowRequest(const QString& name, int timeoutMs)
{
    QLocalSocket socket;
    socket.setSocketOptions(QLocalSocket::AbstractNamespaceOption);
    socket.connectToServer(name);
    if (!socket.waitForConnected(timeoutMs))
        return false;
    socket.write(kShowRequest);
    bool sent = socket.waitForBytesWritten(timeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return sent;
}

bool SingleInstance::claim()
{
    // A copy that has just bound the name may not accept yet; a few rounds
    // settle a simultaneous start.
    for (int round = 0; round < 5; ++round) {
        if (sendShowRequest(m_name))
            return false;
        if (m_server.listen(m_name))
            return true;
        QThread::msleep(100);
    }
    return true;
}

void SingleInstance::acceptConnections()
{
    while (QLocalSocket* socket = m_server.nextPendingConnection()) {
        auto drain = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine().startsWith("SHOW"))
                    emit showRequested();
            }
        };
        connect(socket, &QLocalSocket::readyRead, this, drain);
        // The request may arrive together with the end of the connection.
        connect(socket, &QLocalSocket::disconnected, this, [socket, drain] {
            drain();
            socket->deleteLater();
        });
    }
}

} // namespace qb::board
