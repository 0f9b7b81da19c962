#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <sys/types.h>

// Every row runs a real session_probe process and signals it.
class TestSessionEnd : public QObject
{
    Q_OBJECT

private slots:
    void signalsRunTheShutDownOnceToTheEnd_data();
    void signalsRunTheShutDownOnceToTheEnd();
};

void TestSessionEnd::signalsRunTheShutDownOnceToTheEnd_data()
{
    QTest::addColumn<QList<int>>("signalNumbers");
    QTest::addColumn<QString>("probeOption");
    QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << QString();
    QTest::newRow("SIGHUP") << QList<int>{SIGHUP} << QString();
    QTest::newRow("SIGINT") << QList<int>{SIGINT} << QString();
    QTest::newRow("signals in quick succession") << QList<int>{SIGTERM, SIGINT, SIGTERM} << QString();
    QTest::newRow("signals during the shut-down") << QList<int>{SIGTERM} << QStringLiteral("again");
}

void TestSessionEnd::signalsRunTheShutDownOnceToTheEnd()
{
    QFETCH(QList<int>, signalNumbers);
    QFETCH(QString, probeOption);
    QTemporaryDir work;
    const QString written = work.filePath(QStringLiteral("shutdown"));
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(QStringLiteral(SESSION_PROBE), {written, probeOption});
    QVERIFY(probe.waitForReadyRead(20000));
    QCOMPARE(probe.readLine().trimmed(), "ready");
    for (const int signalNumber : signalNumbers) {
        ::kill(static_cast<pid_t>(probe.processId()), signalNumber);
    }
    QVERIFY(probe.waitForFinished(20000));
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 0);
    QFile file(written);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "begin\nend\n");
}

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"
