#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;

// Every case runs real processes of instance_probe against a runtime folder of its own.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondStartWaitsForTheAnswer_data();
    void secondStartWaitsForTheAnswer();
    void nothingRunningThenTakenOver_data();
    void nothingRunningThenTakenOver();
    void simultaneousStartsGiveOnePrimary();

private:
    QProcess *StartProbe(const QStringList &arguments = {u"claim"_s, u"0"_s, u"0"_s});

    std::unique_ptr<QTemporaryDir> runtime_;
    std::vector<std::unique_ptr<QProcess>> probes_;
};

namespace {

constexpr int GenerousWaitMs = 20000;

// The next line the probe prints, or "(nothing)" when it ends without one.
QString NextLine(QProcess &probe)
{
    while (!probe.canReadLine() && probe.waitForReadyRead(GenerousWaitMs)) {
    }
    return probe.canReadLine() ? QString::fromUtf8(probe.readLine()).trimmed() : u"(nothing)"_s;
}

} // namespace

void TestSingleInstance::init()
{
    runtime_ = std::make_unique<QTemporaryDir>();
    QVERIFY(runtime_->isValid());
}

void TestSingleInstance::cleanup()
{
    for (const auto &probe : probes_) {
        probe->kill();
        probe->waitForFinished(GenerousWaitMs);
    }
    probes_.clear();
}

QProcess *TestSingleInstance::StartProbe(const QStringList &arguments)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"XDG_RUNTIME_DIR"_s, runtime_->path());
    environment.insert(u"DISPLAY"_s, u":7"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    auto &probe = probes_.emplace_back(std::make_unique<QProcess>());
    probe->setProcessEnvironment(environment);
    probe->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe->setWorkingDirectory(runtime_->path());
    probe->start(QStringLiteral(INSTANCE_PROBE), arguments);
    return probe.get();
}

void TestSingleInstance::secondStartWaitsForTheAnswer_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("done") << u"0"_s << u"answer 0 after-handler"_s;
    QTest::newRow("non-zero answer passed through") << u"7"_s << u"answer 7 after-handler"_s;
    QTest::newRow("running instance dies while handling") << u"crash"_s << u"none"_s;
}

void TestSingleInstance::secondStartWaitsForTheAnswer()
{
    QFETCH(QString, answer);
    QFETCH(QString, outcome);
    QProcess *primary = StartProbe({u"claim"_s, answer, u"300"_s});
    QCOMPARE(NextLine(*primary), u"primary");

    QProcess *second = StartProbe();
    QCOMPARE(NextLine(*second), u"secondary");
    QCOMPARE(NextLine(*second).section(u' ', 0, outcome == u"none" ? 0 : -1), outcome);
    QVERIFY(second->waitForFinished(GenerousWaitMs));
    QCOMPARE(NextLine(*primary), u"begin TarnwickHiddenButton");
}

void TestSingleInstance::nothingRunningThenTakenOver_data()
{
    QTest::addColumn<bool>("killedInstanceLeftFiles");
    QTest::newRow("empty runtime folder") << false;
    QTest::newRow("lock and socket of a killed instance") << true;
}

void TestSingleInstance::nothingRunningThenTakenOver()
{
    QFETCH(bool, killedInstanceLeftFiles);
    if (killedInstanceLeftFiles) {
        QProcess *killed = StartProbe();
        QCOMPARE(NextLine(*killed), u"primary");
        killed->kill();
        QVERIFY(killed->waitForFinished(GenerousWaitMs));
    }
    const QString line = NextLine(*StartProbe({u"handover"_s}));
    QVERIFY2(line.startsWith(u"none "), qPrintable(line));
    // Well below the wait granted to a running instance that has not started listening yet.
    QVERIFY2(line.mid(5).toInt() < 2500, qPrintable(line));

    QCOMPARE(NextLine(*StartProbe()), u"primary");
    QProcess *second = StartProbe();
    QCOMPARE(NextLine(*second), u"secondary");
    QCOMPARE(NextLine(*second), u"answer 0 after-handler");
}

void TestSingleInstance::simultaneousStartsGiveOnePrimary()
{
    for (int i = 0; i < 5; ++i) {
        StartProbe({u"claim"_s, u"0"_s, u"50"_s});
    }
    int primaries = 0;
    for (const auto &start : probes_) {
        const QString first = NextLine(*start);
        primaries += first == u"primary";
        QVERIFY(first == u"primary" || (first == u"secondary" && NextLine(*start) == u"answer 0 after-handler"));
    }
    QCOMPARE(primaries, 1);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
