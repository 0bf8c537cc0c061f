#include "tests/support/ProcessStations.h"

#include "admin/ConfigTable.h"
#include "engine/TTzDbf.h"
#include "platform/Clock.h"
#include "tools/DataDirCommands.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTest>

#include <sstream>

namespace qb::testing {

bool ProcessStations::makeData()
{
    m_root = std::make_unique<QTemporaryDir>();
    if (!m_root->isValid())
        return false;
    m_data = m_root->filePath(QStringLiteral("data"));
    std::ostringstream out, err;
    return tools::initCommand({m_data.toStdString(), "--demo"}, out, err) == 0;
}

void ProcessStations::dropData()
{
    for (QProcess* p : m_processes) {
        if (p->state() != QProcess::NotRunning) {
            p->kill();
            p->waitForFinished(5000);
        }
        delete p;
    }
    m_processes.clear();
    m_root.reset();
}

int ProcessStations::indexOf(const std::string& name) const
{
    engine::Engine e;
    engine::TTzDbf t("Find", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data.toStdString() + "/qb3.dbf");
    if (!t.setActive(true))
        return -1;
    int found = -1;
    for (std::int64_t r = 2; r <= t.RecCount() && found < 0; ++r) {
        t.Go(r);
        if (t.getText("name") == name)
            found = static_cast<int>(r - 1);
    }
    t.setActive(false);
    return found;
}

bool ProcessStations::setOptions(int boardIndex, const std::function<void(admin::Options&)>& change)
{
    engine::Engine e;
    admin::ConfigTable cfg(e, platform::SystemClock::instance(), m_data.toStdString());
    admin::Options o;
    if (!cfg.load(boardIndex, o, false, -1))
        return false;
    change(o);
    return cfg.save(boardIndex, o, true) == engine::CommitResult::Ok;
}

QString ProcessStations::installCopy(const QString& dirName, const QString& name)
{
    QDir(m_root->path()).mkpath(dirName);
    const QString target = m_root->filePath(dirName + QLatin1Char('/') + name);
    if (!QFile::exists(target) && !QFile::copy(QStringLiteral(QBP3_PATH), target))
        return {};
    QFile::setPermissions(target, QFile::permissions(QStringLiteral(QBP3_PATH)));
    return target;
}

QProcessEnvironment ProcessStations::environment(const QString& program, const QString& settingsDir,
                                                 const QString& instance) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUELLBOARD_SYSDIR"), settingsDir + QStringLiteral("/sys"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), settingsDir + QStringLiteral("/config"));
    // An installed program keeps its mirror in the user's cache directory.
    env.insert(QStringLiteral("XDG_CACHE_HOME"), QFileInfo(program).absolutePath() + QStringLiteral("/cache"));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root->path());
    env.insert(QStringLiteral("QUELLBOARD_INSTANCE"), instance);
    return env;
}

QProcess* ProcessStations::startProgram(const QString& program, const QStringList& args,
                                        const QProcessEnvironment& env, QProcess::ProcessChannelMode channels,
                                        const QString& workDir)
{
    auto* p = new QProcess;
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(channels);
    if (!workDir.isEmpty())
        p->setWorkingDirectory(workDir);
    p->start(program, args);
    m_processes.push_back(p);
    return p;
}

BoardProcess ProcessStations::startBoard(const QString& key, const QString& person)
{
    BoardProcess b;
    b.dir = m_root->filePath(key);
    QDir().mkpath(b.dir + QStringLiteral("/sys"));
    const QString program = installCopy(key);
    QFile ini(b.dir + QStringLiteral("/sys/qb3local.ini"));
    if (ini.open(QIODevice::WriteOnly))
        ini.write(QStringLiteral("[State]\nName=%1\n").arg(person).toUtf8());
    ini.close();
    // Named after this test process, so boards of tests running side by side never meet.
    b.control = QStringLiteral("qb-station-%1-%2").arg(QCoreApplication::applicationPid()).arg(key);
    b.dump = b.dir + QStringLiteral("/board.txt");
    QProcessEnvironment env = environment(program, b.dir, b.control + QStringLiteral("-instance"));
    env.insert(QStringLiteral("QB_TEST_CONTROL"), b.control);
    env.insert(QStringLiteral("QB_TEST_BOARD_DUMP"), b.dump);
    b.process = startProgram(program, {QStringLiteral("5"), m_data}, env, QProcess::ForwardedErrorChannel);
    return b;
}

QString ProcessStations::command(const BoardProcess& board, const QString& line, int answerMs)
{
    QLocalSocket socket;
    socket.connectToServer(board.control);
    if (!socket.waitForConnected(5000))
        return QStringLiteral("error no connection");
    socket.write(line.toUtf8() + '\n');
    socket.flush();
    QElapsedTimer t;
    t.start();
    while (!socket.canReadLine() && t.elapsed() < answerMs)
        socket.waitForReadyRead(100);
    return QString::fromUtf8(socket.readLine()).trimmed();
}

bool ProcessStations::waitForLogin(const BoardProcess& board, int boardIndex, int timeoutMs)
{
    const QString loggedIn = QStringLiteral("ok 1 %1 ").arg(boardIndex);
    return QTest::qWaitFor([&] { return command(board, QStringLiteral("state")).startsWith(loggedIn); }, timeoutMs);
}

} // namespace qb::testing
