// The real qbp3 program started as separate processes: one copy per account,
// the hand-over of a second start, and the "m..." copies that run beside any
// other. Every copy runs from its own directory with its own cache directory,
// so its mirror q3.dbf (written by the deferred start-up) shows that it got
// that far.
#include "board/SingleInstance.h"
#include "tests/support/ProcessStations.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using qb::board::SingleInstance;

class Qbp3ProcessTest : public QObject, private qb::testing::ProcessStations {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondStartHandsOverAndEnds();
    void secondProgramEndsWhileFirstRuns();
    void copiesNamedMRunSideBySide();
    void withoutDataArgumentTheStartDirectoryIsUsed();

private:
    // Every copy shares the settings of the scratch area and the instance name.
    QProcess* start(const QString& program, const QStringList& args, const QString& workDir = {});
    bool mirrorAppears(const QString& program) const;
    static QString mirrorOf(const QString& program)
    {
        return QFileInfo(program).absolutePath() + QStringLiteral("/cache/quellboard/q3.dbf");
    }

    QString m_instance;
};

void Qbp3ProcessTest::init()
{
    QVERIFY(makeData());
    // Our own instance name, so a board the developer runs does not answer.
    m_instance = QStringLiteral("QuellboardPro-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(QTest::currentTestFunction());
}

void Qbp3ProcessTest::cleanup()
{
    dropData();
}

QProcess* Qbp3ProcessTest::start(const QString& program, const QStringList& args, const QString& workDir)
{
    return startProgram(program, args, environment(program, m_root->path(), m_instance), QProcess::ForwardedChannels,
                        workDir);
}

bool Qbp3ProcessTest::mirrorAppears(const QString& program) const
{
    return QFile::exists(mirrorOf(program));
}

void Qbp3ProcessTest::secondStartHandsOverAndEnds()
{
    SingleInstance first(m_instance);
    QVERIFY(first.claim());
    QSignalSpy shown(&first, &SingleInstance::showRequested);

    const QString second = installCopy(QStringLiteral("b"), QStringLiteral("qbp3"));
    QVERIFY(!second.isEmpty());
    QProcess* p = start(second, {QStringLiteral("5"), m_data});
    QVERIFY(p->waitForStarted(5000));
    // The second copy is still waiting for our answer here, so let the loop run.
    QTRY_COMPARE_WITH_TIMEOUT(p->state(), QProcess::NotRunning, 15000);
    QCOMPARE(p->exitStatus(), QProcess::NormalExit);
    QCOMPARE(p->exitCode(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(shown.count(), 1, 5000);
    QVERIFY2(!mirrorAppears(second), "the second copy must not get as far as its start-up");
}

void Qbp3ProcessTest::secondProgramEndsWhileFirstRuns()
{
    const QString a = installCopy(QStringLiteral("a"), QStringLiteral("qbp3"));
    const QString b = installCopy(QStringLiteral("b"), QStringLiteral("qbp3"));
    QProcess* first = start(a, {QStringLiteral("5"), m_data});
    QTRY_VERIFY_WITH_TIMEOUT(mirrorAppears(a), 20000);

    QProcess* second = start(b, {QStringLiteral("5"), m_data});
    QVERIFY(second->waitForFinished(15000));
    QCOMPARE(second->exitCode(), 0);
    QVERIFY(!mirrorAppears(b));
    QCOMPARE(first->state(), QProcess::Running);
}

void Qbp3ProcessTest::copiesNamedMRunSideBySide()
{
    const QString m1 = installCopy(QStringLiteral("m1"), QStringLiteral("mqbp3"));
    const QString m2 = installCopy(QStringLiteral("m2"), QStringLiteral("Mqbp3"));
    QProcess* p1 = start(m1, {QStringLiteral("5"), m_data});
    QProcess* p2 = start(m2, {QStringLiteral("5"), m_data});
    QTRY_VERIFY_WITH_TIMEOUT(mirrorAppears(m1) && mirrorAppears(m2), 20000);
    QCOMPARE(p1->state(), QProcess::Running);
    QCOMPARE(p2->state(), QProcess::Running);

    // They hold nothing: a normally named copy still becomes the one copy...
    const QString n = installCopy(QStringLiteral("n"), QStringLiteral("qbp3"));
    QProcess* normal = start(n, {QStringLiteral("5"), m_data});
    QTRY_VERIFY_WITH_TIMEOUT(mirrorAppears(n), 20000);
    QCOMPARE(normal->state(), QProcess::Running);
    // ...and the next normal start hands over to it.
    const QString late = installCopy(QStringLiteral("late"), QStringLiteral("qbp3"));
    QProcess* refused = start(late, {QStringLiteral("5"), m_data});
    QVERIFY(refused->waitForFinished(15000));
    QVERIFY(!mirrorAppears(late));
    QCOMPARE(p1->state(), QProcess::Running);
    QCOMPARE(p2->state(), QProcess::Running);
}

void Qbp3ProcessTest::withoutDataArgumentTheStartDirectoryIsUsed()
{
    const QString a = installCopy(QStringLiteral("a"), QStringLiteral("mqbp3"));
    QProcess* p = start(a, {}, m_data);
    QTRY_VERIFY_WITH_TIMEOUT(mirrorAppears(a), 20000);
    QCOMPARE(p->state(), QProcess::Running);
    // The mirror is a copy of the names table of the start directory.
    QFile mirror(mirrorOf(a));
    QFile shared(m_data + QStringLiteral("/qb3.dbf"));
    QVERIFY(mirror.open(QIODevice::ReadOnly) && shared.open(QIODevice::ReadOnly));
    QCOMPARE(mirror.readAll(), shared.readAll());
}

QTEST_MAIN(Qbp3ProcessTest)
#include "Qbp3ProcessTest.moc"
