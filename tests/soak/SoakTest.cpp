// Two real qbp3 boards and the station simulator's writers on one data
// directory for a while (QB_SOAK_SECONDS, 180 by default; bench/soak.sh runs
// it for 30 minutes). Remarks change on every station, the boards send each
// other messages and a script leaves messages for both, and every 30 s each
// board's resident memory, open descriptors and held locks are sampled.
// Afterwards nothing may have grown after the first minute, no lock may be
// left, every table must check clean and every write must be accounted for.
// The boards are driven through their test-only control socket
// (board/TestHooks.h). QB_SOAK_REPORT=FILE also appends the report there.
#include "admin/ConfigTable.h"
#include "core/Station.h"
#include "engine/TTzDbf.h"
#include "messages/MessageStore.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "tests/support/ProcessStations.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <algorithm>
#include <map>
#include <unistd.h>
#include <vector>

namespace {

constexpr qint64 kSampleEveryMs = 30000;
constexpr int kPollTicks = 4;        // names poll and message check every 2 s
constexpr int kSimWriters = 3;
constexpr int kRowsPerWriter = 4;    // each simulated writer keeps rewriting four rows
// Resident memory may move this much between the minute-1 sample and the
// last one: allocator slack and Qt's caches, far below what one leaked
// allocation per poll, command or message would add over the run.
constexpr long kRssToleranceKb = 3 * 1024;

struct Sample {
    qint64 atS = 0;
    long rssKb = 0;
    int fds = 0;
    int fdLocks = 0;   // lock lines in /proc/PID/fdinfo (OFD and classic locks on its open files)
    int procLocks = 0; // /proc/locks entries naming the PID
    long cpuMs = 0;    // user and system time used so far (shown, not judged: it depends on the load)
};

struct Board : qb::testing::BoardProcess {
    QString key;
    QString person;
    int index = -1;
    std::vector<Sample> samples;
    int remarkChanges = 0;
    int sent = 0;
    int failures = 0;
};

// A write someone reports done: TEXT into the remark of the row named NAME.
struct Claim {
    std::string name;
    std::string text;
};

long statusKb(qint64 pid, const QByteArray& key)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLong();
    return -1;
}

// One look at the process; locks counted from both sources, because
// /proc/locks shows open-file-description locks with pid -1.
Sample lookAt(qint64 pid)
{
    Sample s;
    s.rssKb = statusKb(pid, "VmRSS:");
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    const QStringList fds = QDir(fdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    s.fds = static_cast<int>(fds.size());
    for (const QString& fd : fds) {
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
        if (info.open(QIODevice::ReadOnly))
            for (const QByteArray& line : info.readAll().split('\n'))
                s.fdLocks += line.startsWith("lock:") ? 1 : 0;
    }
    QFile locks(QStringLiteral("/proc/locks"));
    if (locks.open(QIODevice::ReadOnly))
        for (const QByteArray& line : locks.readAll().split('\n')) {
            const QList<QByteArray> w = line.simplified().split(' ');
            // "1: POSIX ADVISORY WRITE PID MAJ:MIN:INODE START END"; blocked waiters start with "->".
            if (w.size() > 4 && w[0] != "->" && w[4].toLongLong() == pid)
                ++s.procLocks;
        }
    return s;
}

// The descriptors of the process that carry a lock, for the report.
QString lockedFiles(qint64 pid)
{
    QStringList out;
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString& fd : QDir(fdDir).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        QFile info(QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd));
        if (info.open(QIODevice::ReadOnly) && info.readAll().contains("\nlock:"))
            out << QFile::symLinkTarget(fdDir + QLatin1Char('/') + fd);
    }
    return out.join(QStringLiteral(", "));
}

// Five looks 100 ms apart: descriptors and locks as the least seen (a table
// a poll opens for a moment is not held), memory as last seen.
Sample sample(qint64 pid, qint64 atS)
{
    Sample s = lookAt(pid);
    for (int i = 1; i < 5; ++i) {
        QTest::qWait(100);
        const Sample n = lookAt(pid);
        s.fds = std::min(s.fds, n.fds);
        s.fdLocks = std::min(s.fdLocks, n.fdLocks);
        s.procLocks = std::min(s.procLocks, n.procLocks);
        s.rssKb = n.rssKb;
    }
    s.atS = atS;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // After the command name in parentheses: state is field 3, utime 14, stime 15.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
        if (f.size() > 12)
            s.cpuMs = (f[11].toLong() + f[12].toLong()) * 1000 / ::sysconf(_SC_CLK_TCK);
    }
    return s;
}

QString row(const Board& b, const Sample& s, const char* label)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6/%7 %8")
        .arg(b.key, -6)
        .arg(QString::fromLatin1(label), -8)
        .arg(s.atS, 6)
        .arg(s.rssKb, 9)
        .arg(s.fds, 4)
        .arg(s.fdLocks, 4)
        .arg(s.procLocks)
        .arg(s.cpuMs, 11);
}

} // namespace

class SoakTest : public QObject, private qb::testing::ProcessStations {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void boardsStayFlatAndLoseNothing();

private:
    void setOptions(int boardIndex);
    void start(Board& b);
    // Generous: a loaded machine may hold a board up for a long while.
    static QString command(const Board& b, const QString& line) { return ProcessStations::command(b, line, 60000); }
    void report(const QString& line);
    // The remark changes of the month's logs in order, as (name, text).
    std::vector<Claim> loggedRemarks();
    std::map<std::string, std::string> tableRemarks(std::map<int, std::string>* nameOfIndex);
    std::vector<std::string> mailboxSubjects(int boardIndex);
    // Rows of the board's last dump whose remark differs from the table's.
    QStringList staleRows(const Board& b, const std::map<std::string, std::string>& table,
                          const std::map<int, std::string>& nameOfIndex);
};

void SoakTest::init()
{
    QVERIFY(makeData());
}

void SoakTest::cleanup()
{
    dropData();
}

void SoakTest::report(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    // Line by line, so a run that breaks off still leaves its samples.
    if (const QString path = qEnvironmentVariable("QB_SOAK_REPORT"); !path.isEmpty()) {
        QFile f(path);
        if (f.open(QIODevice::WriteOnly | QIODevice::Append))
            f.write(line.toUtf8() + '\n');
    }
}

void SoakTest::setOptions(int boardIndex)
{
    QVERIFY(ProcessStations::setOptions(boardIndex, [](qb::admin::Options& o) {
        o.refreshTicks = kPollTicks;
        o.messageTicks = kPollTicks;
        o.set(qb::admin::opt::kAutoLogin, true);
        o.set(qb::admin::opt::kLogRemarks, true);
        o.set(qb::admin::opt::kMessageToFront, true);
        o.set(qb::admin::opt::kDisableMessages, false);
        o.set(qb::admin::opt::kMessageSound, false);
    }));
}

void SoakTest::start(Board& b)
{
    static_cast<qb::testing::BoardProcess&>(b) = startBoard(b.key, b.person);
}

std::vector<Claim> SoakTest::loggedRemarks()
{
    // "LGmmyyyy.dbf", in the order of the months.
    QStringList files = QDir(m_data).entryList({QStringLiteral("LG*.dbf"), QStringLiteral("lg*.dbf")}, QDir::Files);
    files.removeDuplicates();
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        return a.mid(4, 4) + a.mid(2, 2) < b.mid(4, 4) + b.mid(2, 2);
    });
    std::vector<Claim> out;
    for (const QString& file : files) {
        qb::engine::Engine e;
        qb::engine::TTzDbf t("Log", e);
        t.CreateIfNotFound = false;
        t.setDbfFileName(QDir(m_data).filePath(file).toStdString());
        if (!t.setActive(true))
            continue;
        for (std::int64_t r = 1; r <= t.RecCount(); ++r) {
            t.Go(r);
            if (t.getText("colname") == "Remark")
                out.push_back({t.getText("name"), t.getText("text")});
        }
        t.setActive(false);
    }
    return out;
}

std::map<std::string, std::string> SoakTest::tableRemarks(std::map<int, std::string>* nameOfIndex)
{
    std::map<std::string, std::string> out;
    qb::engine::Engine e;
    qb::engine::TTzDbf t("Names", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data.toStdString() + "/qb3.dbf");
    if (!t.setActive(true))
        return out;
    for (std::int64_t r = 2; r <= t.RecCount(); ++r) {
        t.Go(r);
        out[t.getText("name")] = t.getText("remark");
        if (nameOfIndex)
            (*nameOfIndex)[static_cast<int>(r - 1)] = t.getText("name");
    }
    t.setActive(false);
    return out;
}

std::vector<std::string> SoakTest::mailboxSubjects(int boardIndex)
{
    std::vector<std::string> out;
    qb::engine::Engine e;
    qb::platform::MemoryEventLog log;
    qb::board::Station st(e, qb::platform::SystemClock::instance(), log, m_data.toStdString(), "");
    qb::engine::TTzDbf t("Mailbox", e);
    if (!qb::messages::openMailbox(t, st, boardIndex, false))
        return out;
    for (std::int64_t r = 1; r <= t.RecCount(); ++r) {
        t.Go(r);
        out.push_back(qb::messages::readMessage(t).subject);
    }
    t.setActive(false);
    return out;
}

QStringList SoakTest::staleRows(const Board& b, const std::map<std::string, std::string>& table,
                               const std::map<int, std::string>& nameOfIndex)
{
    QFile f(b.dump);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("no dump")};
    QStringList stale;
    int rows = 0;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'))) {
        const QStringList cells = line.split(QLatin1Char('\t'));
        if (cells.size() < 3)
            continue;
        ++rows;
        const auto name = nameOfIndex.find(cells[0].toInt());
        const auto remark = name == nameOfIndex.end() ? table.end() : table.find(name->second);
        if (remark == table.end() || QString::fromStdString(remark->second) != cells[2])
            stale << QStringLiteral("%1 shows \"%2\"").arg(cells[1], cells[2]);
    }
    if (rows == 0)
        stale << QStringLiteral("no rows");
    return stale;
}

void SoakTest::boardsStayFlatAndLoseNothing()
{
    const qint64 runMs = qEnvironmentVariableIntValue("QB_SOAK_SECONDS") > 0
                             ? qEnvironmentVariableIntValue("QB_SOAK_SECONDS") * 1000LL
                             : 180000;
    QVERIFY2(runMs >= 2 * kSampleEveryMs + kSampleEveryMs, "the run needs samples after the first minute");

    std::vector<Board> boards(2);
    boards[0].key = QStringLiteral("A");
    boards[0].person = QStringLiteral("Anna Berger");
    boards[1].key = QStringLiteral("B");
    boards[1].person = QStringLiteral("Sara Nilsson");
    for (Board& b : boards) {
        b.index = indexOf(b.person.toStdString());
        QVERIFY(b.index > 0);
        setOptions(b.index);
    }

    // The simulated stations join the directory first (they add their rows),
    // and write until a while after the boards' run is over.
    const qint64 simSeconds = runMs / 1000 + 15;
    QProcess* sim = startProgram(
        QStringLiteral(STATIONSIM_PATH),
        {QStringLiteral("--dir"), m_root->filePath(QStringLiteral("sim")), QStringLiteral("--data"), m_data,
         QStringLiteral("--stations"), QString::number(kSimWriters), QStringLiteral("--writers"),
         QString::number(kSimWriters), QStringLiteral("--rows-per-writer"), QString::number(kRowsPerWriter),
         QStringLiteral("--log-remarks"), QStringLiteral("--seconds"), QString::number(simSeconds),
         QStringLiteral("--qbtool"), QStringLiteral(QBTOOL_PATH)},
        QProcessEnvironment::systemEnvironment(), QProcess::SeparateChannels);
    sim->setReadChannel(QProcess::StandardOutput);
    QByteArray simOut;
    QElapsedTimer wait;
    wait.start();
    while (!simOut.contains("stations started") && sim->state() != QProcess::NotRunning && wait.elapsed() < 120000) {
        sim->waitForReadyRead(200);
        simOut += sim->readAllStandardOutput();
    }
    QVERIFY2(simOut.contains("stations started"), simOut.constData());

    for (Board& b : boards)
        start(b);
    for (Board& b : boards)
        QVERIFY(waitForLogin(b, b.index, 60000));

    // Remark changes that differ from one to the next and open no prompt.
    const QStringList remarkSteps = {QStringLiteral("pick 4"), QStringLiteral("in"), QStringLiteral("pick 1"),
                                     QStringLiteral("out")};
    std::map<QString, std::vector<Claim>> claims; // by who made them
    std::vector<std::pair<int, std::string>> sentMessages; // recipient index, subject
    int toolMessages = 0, toolFailures = 0;

    report(QStringLiteral("soak: %1 s, two boards, %2 simulated writers; a sample every %3 s")
               .arg(runMs / 1000)
               .arg(kSimWriters)
               .arg(kSampleEveryMs / 1000));
    QElapsedTimer clock;
    clock.start();
    qint64 nextSampleMs = 0;
    for (int step = 0;; ++step) {
        if (clock.elapsed() >= nextSampleMs) {
            // A quiet point for the boards: a message sent last has had its
            // check and popped the reader, which is closed again (an open
            // reader keeps its person's mailbox open). The simulated
            // stations go on writing.
            QTest::qWait(kPollTicks * 500 + 500);
            for (Board& b : boards)
                command(b, QStringLiteral("close-reader"));
            for (Board& b : boards) {
                b.samples.push_back(sample(b.process->processId(), clock.elapsed() / 1000));
                report(row(b, b.samples.back(), "run"));
                if (b.samples.back().fdLocks + b.samples.back().procLocks > 0)
                    report(QStringLiteral("%1 holds locks on: %2").arg(b.key, lockedFiles(b.process->processId())));
            }
            if (nextSampleMs >= runMs)
                break;
            nextSampleMs += kSampleEveryMs;
        }
        Board& b = boards[static_cast<std::size_t>(step) % 2];
        Board& other = boards[1 - static_cast<std::size_t>(step) % 2];
        const int round = step / 2;
        switch (round % 4) {
        case 0:
        case 2: { // a remark change on the board's own row
            QString line = remarkSteps[(round / 2) % remarkSteps.size()];
            if (line.startsWith(QStringLiteral("pick")))
                line = QStringLiteral("pick %1 %2").arg(b.index).arg(line.section(QLatin1Char(' '), 1));
            command(b, QStringLiteral("close-reader"));
            const QString answer = command(b, line);
            if (answer.startsWith(QStringLiteral("ok "))) {
                claims[b.key].push_back({b.person.toStdString(), answer.mid(3).toStdString()});
                ++b.remarkChanges;
            } else {
                ++b.failures;
                report(QStringLiteral("board %1: %2 -> %3").arg(b.key, line, answer));
            }
            break;
        }
        case 1: { // a message to the other board, typed into the send window
            const QString subject = QStringLiteral("Soak %1 %2").arg(b.key).arg(step);
            const QString answer = command(b, QStringLiteral("send %1 %2").arg(other.index).arg(subject));
            if (answer == QStringLiteral("ok sent")) {
                sentMessages.emplace_back(other.index, subject.toStdString());
                ++b.sent;
            } else {
                ++b.failures;
                report(QStringLiteral("board %1: send -> %2").arg(b.key, answer));
            }
            break;
        }
        case 3: { // a script leaves the board's person a message; the reader is looked at and closed
            const QString subject = QStringLiteral("Tool %1").arg(step);
            const int rc = QProcess::execute(QStringLiteral(QBTOOL_PATH),
                                             {QStringLiteral("send-message"), m_data, b.person, subject,
                                              QStringLiteral("left by the soak script")});
            if (rc == 0) {
                sentMessages.emplace_back(b.index, subject.toStdString());
                ++toolMessages;
            } else {
                ++toolFailures;
                report(QStringLiteral("qbtool send-message to %1 -> exit %2").arg(b.person).arg(rc));
            }
            command(b, QStringLiteral("messages"));
            command(b, QStringLiteral("close-reader"));
            break;
        }
        }
        QTest::qWait(1500);
    }

    // The simulated stations stop; then a quiet moment of a few polls.
    QVERIFY2(sim->waitForFinished(static_cast<int>(simSeconds * 1000 + 120000)), "the station simulator did not end");
    simOut += sim->readAllStandardOutput();
    for (Board& b : boards)
        command(b, QStringLiteral("close-reader"));
    QTest::qWait(4 * kPollTicks * 500);
    for (Board& b : boards) {
        b.samples.push_back(sample(b.process->processId(), clock.elapsed() / 1000));
        report(row(b, b.samples.back(), "quiet"));
        if (b.samples.back().fdLocks + b.samples.back().procLocks > 0)
            report(QStringLiteral("%1 holds locks on: %2").arg(b.key, lockedFiles(b.process->processId())));
    }

    // Samples: first, minute 1, middle, last of the run, and the quiet one after it.
    report(QStringLiteral("board  point      t(s)    rss_kB  fds locks(fdinfo/proc) cpu_ms"));
    for (const Board& b : boards) {
        const std::vector<Sample>& s = b.samples;
        const std::size_t last = s.size() - 2; // the last one of the run
        report(row(b, s[0], "first"));
        report(row(b, s[2], "minute1"));
        report(row(b, s[last / 2], "middle"));
        report(row(b, s[last], "last"));
        report(row(b, s.back(), "end"));
        report(QStringLiteral("%1 rss growth minute1->last %2 kB (tolerance %3 kB); remark changes %4, messages sent %5,"
                              " refused %6")
                   .arg(b.key)
                   .arg(s[last].rssKb - s[2].rssKb)
                   .arg(kRssToleranceKb)
                   .arg(b.remarkChanges)
                   .arg(b.sent)
                   .arg(b.failures));
    }

    // Accounting.
    std::map<int, std::string> nameOfIndex;
    const std::map<std::string, std::string> table = tableRemarks(&nameOfIndex);
    const std::vector<Claim> logged = loggedRemarks();
    int simWrites = 0;
    for (int k = 0; k < kSimWriters; ++k) {
        QFile f(m_root->filePath(QStringLiteral("sim/st%1/result.txt").arg(k)));
        QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(f.fileName()));
        const QString key = QStringLiteral("sim%1").arg(k);
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QList<QByteArray> w = line.split(' ');
            if (w.size() >= 6 && w[0] == "wrote") {
                claims[key].push_back({nameOfIndex[w[5].toInt()], w[1].toStdString()});
                ++simWrites;
            }
        }
    }
    // Every reported write is in the log, in the writer's order, and the
    // table holds the last logged change of every row written: so each
    // write is in the table or superseded by a later logged one.
    std::map<std::string, std::vector<std::string>> logOf;
    for (const Claim& c : logged)
        logOf[c.name].push_back(c.text);
    int unlogged = 0, tableDisagrees = 0, superseded = 0, inTable = 0;
    std::map<std::string, std::size_t> matched; // per row, log entries matched so far
    for (const auto& [who, list] : claims) {
        for (const Claim& c : list) {
            const std::vector<std::string>& entries = logOf[c.name];
            std::size_t& at = matched[c.name];
            const auto it = std::find(entries.begin() + static_cast<std::ptrdiff_t>(at), entries.end(), c.text);
            if (it == entries.end()) {
                ++unlogged;
                report(QStringLiteral("lost: %1's write of \"%2\" into %3 is not in the log")
                           .arg(who, QString::fromStdString(c.text), QString::fromStdString(c.name)));
                continue;
            }
            at = static_cast<std::size_t>(it - entries.begin()) + 1;
            if (at == entries.size())
                ++inTable;
            else
                ++superseded;
        }
    }
    for (const auto& [name, count] : matched) {
        const std::vector<std::string>& entries = logOf[name];
        const auto t = table.find(name);
        if (entries.empty() || t == table.end() || t->second != entries.back()) {
            ++tableDisagrees;
            report(QStringLiteral("lost: %1 holds \"%2\", its last logged change is \"%3\"")
                       .arg(QString::fromStdString(name),
                            t == table.end() ? QStringLiteral("(no row)") : QString::fromStdString(t->second),
                            entries.empty() ? QString() : QString::fromStdString(entries.back())));
        }
    }
    // Both boards show what the table holds once their polls have run.
    std::map<QString, QStringList> stale;
    for (const Board& b : boards) {
        QElapsedTimer w;
        w.start();
        while (!(stale[b.key] = staleRows(b, table, nameOfIndex)).isEmpty() && w.elapsed() < 30000)
            QTest::qWait(500);
        report(QStringLiteral("board %1 after the run: %2 rows differ from the table%3")
                   .arg(b.key)
                   .arg(stale[b.key].size())
                   .arg(stale[b.key].isEmpty() ? QString() : QStringLiteral(": ") + stale[b.key].join(QStringLiteral("; "))));
    }
    int messagesMissing = 0, messagesDoubled = 0;
    std::map<int, std::vector<std::string>> mailboxes;
    for (const auto& [to, subject] : sentMessages) {
        if (!mailboxes.count(to))
            mailboxes[to] = mailboxSubjects(to);
        const auto n = std::count(mailboxes[to].begin(), mailboxes[to].end(), subject);
        messagesMissing += n == 0 ? 1 : 0;
        messagesDoubled += n > 1 ? 1 : 0;
        if (n != 1)
            report(QStringLiteral("message \"%1\" to %2 is in the mailbox %3 times")
                       .arg(QString::fromStdString(subject))
                       .arg(to)
                       .arg(n));
    }
    QProcess check;
    check.setProcessChannelMode(QProcess::MergedChannels);
    check.start(QStringLiteral(QBTOOL_PATH), {QStringLiteral("check"), m_data});
    QVERIFY(check.waitForFinished(120000));
    const QString checkOut = QString::fromUtf8(check.readAll()).trimmed();

    const int boardWrites = static_cast<int>(claims["A"].size() + claims["B"].size());
    report(QStringLiteral("remark writes: %1 by the boards, %2 by the simulated writers; %3 logged and still in the"
                          " table, %4 superseded by a later logged change, %5 missing from the log, %6 rows whose"
                          " table remark is not their last logged change")
               .arg(boardWrites)
               .arg(simWrites)
               .arg(inTable)
               .arg(superseded)
               .arg(unlogged)
               .arg(tableDisagrees));
    report(QStringLiteral("messages: %1 sent (%2 from the boards' send windows, %3 by qbtool send-message, %4 refused);"
                          " %5 missing from the recipient's mailbox, %6 there more than once")
               .arg(sentMessages.size())
               .arg(boards[0].sent + boards[1].sent)
               .arg(toolMessages)
               .arg(toolFailures)
               .arg(messagesMissing)
               .arg(messagesDoubled));
    for (const QByteArray& line : simOut.split('\n'))
        if (line.startsWith("lost:") || line.startsWith("writes:") || line.startsWith("ticks"))
            report(QStringLiteral("stationsim ") + QString::fromUtf8(line));
    report(QStringLiteral("stationsim exit %1; qbtool check exit %2: %3")
               .arg(sim->exitCode())
               .arg(check.exitCode())
               .arg(checkOut.section(QLatin1Char('\n'), -1)));

    // The verdicts.
    for (const Board& b : boards) {
        QVERIFY2(b.process->state() == QProcess::Running, qPrintable(b.key + QStringLiteral(" ended")));
        const std::vector<Sample>& s = b.samples;
        const std::size_t last = s.size() - 2;
        QVERIFY2(s[last].rssKb - s[2].rssKb <= kRssToleranceKb,
                 qPrintable(QStringLiteral("board %1 grew %2 kB after the first minute").arg(b.key).arg(
                     s[last].rssKb - s[2].rssKb)));
        QVERIFY2(s[last].fds == s[2].fds && s.back().fds == s[2].fds,
                 qPrintable(QStringLiteral("board %1 descriptors: %2 at minute 1, %3 at the end of the run, %4 quiet")
                                .arg(b.key)
                                .arg(s[2].fds)
                                .arg(s[last].fds)
                                .arg(s.back().fds)));
        for (const Sample& x : s)
            QVERIFY2(x.fdLocks == 0 && x.procLocks == 0,
                     qPrintable(QStringLiteral("board %1 held a lock through the sample at %2 s").arg(b.key).arg(x.atS)));
        // Enough went through the board for the figures to mean something.
        QVERIFY(b.remarkChanges >= runMs / 20000);
        QVERIFY(b.sent >= runMs / 48000);
        QCOMPARE(b.failures, 0);
        QVERIFY2(stale[b.key].isEmpty(), qPrintable(stale[b.key].join(QStringLiteral("; "))));
    }
    QVERIFY(simWrites >= static_cast<int>(runMs / 10000));
    QCOMPARE(unlogged, 0);
    QCOMPARE(tableDisagrees, 0);
    QCOMPARE(messagesMissing, 0);
    QCOMPARE(messagesDoubled, 0);
    QCOMPARE(toolFailures, 0);
    QCOMPARE(sim->exitCode(), 0);
    QVERIFY2(check.exitCode() == 0, qPrintable(checkOut));
}

QTEST_GUILESS_MAIN(SoakTest)
#include "SoakTest.moc"
