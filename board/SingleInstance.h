// One board program per account: the first copy listens on a local socket
// named "QuellboardPro-" + uid; a later copy connects, sends the show-yourself
// request and ends without a window. The socket lives in Linux's abstract
// namespace, so a crashed copy leaves nothing behind and two copies starting
// at the same moment cannot both win (binding the name is atomic).
#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>

namespace qb::board {

class SingleInstance : public QObject {
    Q_OBJECT
public:
    // The request a later copy sends (window message 3046 with 5, 5 on
    // Windows stations).
    static constexpr const char* kShowRequest = "SHOW 3046 5 5\n";

    // "QuellboardPro-" + the uid of the process owner.
    static QString defaultName();

    explicit SingleInstance(QString name = defaultName(), QObject* parent = nullptr);

    // Tries to become the running copy. Returns true when this process now
    // listens (or, as a last resort, when the name can neither be reached nor
    // taken: a board that runs beats none). Returns false when another copy
    // answered: it has been sent the show request and this process should end.
    // Requires a QCoreApplication.
    bool claim();

    // Connects to a running copy and sends the show request; false when no
    // copy listens under name.
    static bool sendShowRequest(const QString& name, int timeoutMs = 1000);

    bool listening() const { return m_server.isListening(); }
    const QString& name() const { return m_name; }

signals:
    // A later copy asked this one to show itself.
    void showRequested();

private:
    void acceptConnections();

    QString m_name;
    QLocalServer m_server;
};

} // namespace qb::board
