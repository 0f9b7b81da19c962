#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <memory>
#include <sys/types.h>

// Every case runs a real session_probe process and signals it.
class TestSessionEnd : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void signalRunsShutDown_data();
    void signalRunsShutDown();
    void signalsDuringShutDownAreIgnored();
    void signalsInQuickSuccessionRunItOnce();
    void handlersInPlaceAndInheritedIgnoreKept();

private:
    bool StartProbe(const QStringList &extraArguments = {}, bool ignoreHangUp = false);
    void Signal(int signalNumber);
    QByteArray Written() const;

    std::unique_ptr<QTemporaryDir> work_;
    std::unique_ptr<QProcess> probe_;
};

namespace {

constexpr int GenerousWaitMs = 20000;

// The signals the process catches, ignores, as the kernel reports them.
quint64 SignalMask(qint64 pid, const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':')) {
            return line.mid(field.size() + 1).trimmed().toULongLong(nullptr, 16);
        }
    }
    return 0;
}

constexpr quint64 Bit(int signalNumber)
{
    return quint64(1) << (signalNumber - 1);
}

} // namespace

void TestSessionEnd::init()
{
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(work_->isValid());
}

void TestSessionEnd::cleanup()
{
    if (probe_) {
        probe_->kill();
        probe_->waitForFinished(GenerousWaitMs);
        probe_.reset();
    }
}

bool TestSessionEnd::StartProbe(const QStringList &extraArguments, bool ignoreHangUp)
{
    probe_ = std::make_unique<QProcess>();
    probe_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    if (ignoreHangUp) {
        probe_->setChildProcessModifier([] { std::signal(SIGHUP, SIG_IGN); });
    }
    probe_->start(QStringLiteral(SESSION_PROBE),
                  QStringList{work_->filePath(QStringLiteral("shutdown")), QStringLiteral("300")} + extraArguments);
    while (!probe_->canReadLine()) {
        if (!probe_->waitForReadyRead(GenerousWaitMs)) {
            return false;
        }
    }
    return probe_->readLine().trimmed() == "ready";
}

void TestSessionEnd::Signal(int signalNumber)
{
    ::kill(static_cast<pid_t>(probe_->processId()), signalNumber);
}

QByteArray TestSessionEnd::Written() const
{
    QFile file(work_->filePath(QStringLiteral("shutdown")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(no file)");
}

void TestSessionEnd::signalRunsShutDown_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestSessionEnd::signalRunsShutDown()
{
    QFETCH(int, signalNumber);
    QVERIFY(StartProbe());
    Signal(signalNumber);
    QVERIFY(probe_->waitForFinished(GenerousWaitMs));
    QCOMPARE(probe_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe_->exitCode(), 0);
    QCOMPARE(Written(), QByteArray("begin\nend\n"));
}

void TestSessionEnd::signalsDuringShutDownAreIgnored()
{
    QVERIFY(StartProbe({QStringLiteral("again")}));
    Signal(SIGTERM);
    QVERIFY(probe_->waitForFinished(GenerousWaitMs));
    QCOMPARE(probe_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe_->exitCode(), 0);
    QCOMPARE(Written(), QByteArray("begin\nend\n"));
}

void TestSessionEnd::signalsInQuickSuccessionRunItOnce()
{
    QVERIFY(StartProbe());
    Signal(SIGTERM);
    Signal(SIGINT);
    Signal(SIGTERM);
    QVERIFY(probe_->waitForFinished(GenerousWaitMs));
    QCOMPARE(probe_->exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe_->exitCode(), 0);
    QCOMPARE(Written(), QByteArray("begin\nend\n"));
}

void TestSessionEnd::handlersInPlaceAndInheritedIgnoreKept()
{
    QVERIFY(StartProbe({}, true));
    const qint64 pid = probe_->processId();
    QVERIFY(SignalMask(pid, "SigIgn") & Bit(SIGHUP));
    QCOMPARE(SignalMask(pid, "SigCgt") & (Bit(SIGTERM) | Bit(SIGINT)), Bit(SIGTERM) | Bit(SIGINT));

    Signal(SIGTERM);
    QVERIFY(probe_->waitForFinished(GenerousWaitMs));
    QCOMPARE(probe_->exitCode(), 0);
    QCOMPARE(Written(), QByteArray("begin\nend\n"));
}

QTEST_GUILESS_MAIN(TestSessionEnd)
#include "tst_sessionend.moc"
