#include <QtTest>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

// Every case runs real processes of instance_probe against a runtime folder of its own.
class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondStartWaitsForTheClick_data();
    void secondStartWaitsForTheClick();
    void requestsArrivingDuringAClickWait();
    void killedInstanceIsReplaced();
    void cleanExitLeavesNothingBehind();
    void oldLockOfALiveInstanceHolds();
    void simultaneousStartsGiveOnePrimary();
    void nothingRunning_data();
    void nothingRunning();
    void oneInstancePerDisplay();
    void privateFolder_data();
    void privateFolder();

private:
    QProcess *StartProbe(const QStringList &arguments);
    QProcess *StartPrimary(const QString &answer = QStringLiteral("0"), int delayMs = 0);
    QString MarkerFile() const;
    QStringList Files(const QString &pattern) const;

    std::unique_ptr<QTemporaryDir> runtime_;
    std::unique_ptr<QTemporaryDir> work_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> probes_;
};

namespace {

constexpr int GenerousWaitMs = 20000;

// The next line the probe prints, or "(nothing)" when it ends without one.
QString NextLine(QProcess &probe)
{
    while (!probe.canReadLine()) {
        if (!probe.waitForReadyRead(GenerousWaitMs)) {
            return probe.canReadLine() ? QString::fromUtf8(probe.readLine()).trimmed() : QStringLiteral("(nothing)");
        }
    }
    return QString::fromUtf8(probe.readLine()).trimmed();
}

// The result line of a hand-over with the elapsed time dropped.
QString Outcome(const QString &line)
{
    return line.startsWith(u"none ") ? QStringLiteral("none") : line;
}

} // namespace

void TestSingleInstance::init()
{
    runtime_ = std::make_unique<QTemporaryDir>();
    work_ = std::make_unique<QTemporaryDir>();
    QVERIFY(runtime_->isValid() && work_->isValid());
    environment_ = QProcessEnvironment::systemEnvironment();
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_->path());
    environment_.insert(QStringLiteral("TMPDIR"), work_->path());
    environment_.insert(QStringLiteral("DISPLAY"), QStringLiteral(":7"));
    environment_.remove(QStringLiteral("WAYLAND_DISPLAY"));
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
    auto probe = std::make_unique<QProcess>();
    probe->setProcessEnvironment(environment_);
    probe->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe->setWorkingDirectory(runtime_->path());
    probe->start(QStringLiteral(INSTANCE_PROBE), arguments);
    probes_.push_back(std::move(probe));
    return probes_.back().get();
}

QProcess *TestSingleInstance::StartPrimary(const QString &answer, int delayMs)
{
    QProcess *primary = StartProbe({QStringLiteral("claim"), answer, QString::number(delayMs), MarkerFile()});
    const QString line = NextLine(*primary);
    if (line != u"primary") {
        qWarning("the first probe printed %s", qPrintable(line));
        return nullptr;
    }
    return primary;
}

QString TestSingleInstance::MarkerFile() const
{
    return work_->filePath(QStringLiteral("handled"));
}

QStringList TestSingleInstance::Files(const QString &pattern) const
{
    return QDir(runtime_->path()).entryList({pattern}, QDir::Files | QDir::System | QDir::Hidden);
}

void TestSingleInstance::secondStartWaitsForTheClick_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("done") << "0"
                          << "answer 0 after-handler";
    QTest::newRow("non-zero answer passed through") << "7"
                                                    << "answer 7 after-handler";
    QTest::newRow("negative answer passed through") << "-2"
                                                    << "answer -2 after-handler";
    QTest::newRow("no such button: no answer") << "nobutton"
                                               << "none";
    QTest::newRow("running instance dies while clicking") << "crash"
                                                          << "none";
}

void TestSingleInstance::secondStartWaitsForTheClick()
{
    QFETCH(QString, answer);
    QFETCH(QString, outcome);
    QProcess *primary = StartPrimary(answer, 300);
    QVERIFY(primary);

    QProcess *second = StartProbe({QStringLiteral("claim"), QStringLiteral("0"), QStringLiteral("0"), MarkerFile()});
    QCOMPARE(NextLine(*second), QStringLiteral("secondary"));
    QCOMPARE(Outcome(NextLine(*second)), outcome);
    QVERIFY(second->waitForFinished(GenerousWaitMs));
    QCOMPARE(second->exitCode(), 0);
    QCOMPARE(NextLine(*primary), QStringLiteral("begin TarnwickHiddenButton"));
}

void TestSingleInstance::requestsArrivingDuringAClickWait()
{
    QProcess *primary = StartPrimary(QStringLiteral("0"), 1000);
    QVERIFY(primary);

    QProcess *first = StartProbe({QStringLiteral("handover"), MarkerFile()});
    QCOMPARE(NextLine(*primary), QStringLiteral("begin TarnwickHiddenButton"));
    QProcess *second = StartProbe({QStringLiteral("handover"), MarkerFile()});
    QCOMPARE(NextLine(*first), QStringLiteral("answer 0 after-handler"));
    QCOMPARE(NextLine(*second), QStringLiteral("answer 0 after-handler"));

    // One click at a time: the second begins only after the first has ended.
    const QStringList expected = {QStringLiteral("end"), QStringLiteral("begin TarnwickHiddenButton"),
                                  QStringLiteral("end")};
    QStringList printed;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        printed << NextLine(*primary);
    }
    QCOMPARE(printed, expected);
}

void TestSingleInstance::killedInstanceIsReplaced()
{
    QProcess *killed = StartPrimary();
    QVERIFY(killed);
    killed->kill();
    QVERIFY(killed->waitForFinished(GenerousWaitMs));
    QCOMPARE(Files(QStringLiteral("*.lock")).size(), 1);
    QCOMPARE(Files(QStringLiteral("*.socket")).size(), 1);

    QVERIFY(StartPrimary());
    QProcess *second = StartProbe({QStringLiteral("claim"), QStringLiteral("0"), QStringLiteral("0"), MarkerFile()});
    QCOMPARE(NextLine(*second), QStringLiteral("secondary"));
    QCOMPARE(NextLine(*second), QStringLiteral("answer 0 after-handler"));
}

void TestSingleInstance::cleanExitLeavesNothingBehind()
{
    QProcess *primary = StartPrimary(QStringLiteral("quit"));
    QVERIFY(primary);
    QProcess *second = StartProbe({QStringLiteral("handover"), MarkerFile()});
    QCOMPARE(NextLine(*second), QStringLiteral("answer 0 after-handler"));
    QVERIFY(primary->waitForFinished(GenerousWaitMs));
    QCOMPARE(primary->exitCode(), 0);
    QCOMPARE(Files(QStringLiteral("Tarnwick*")), QStringList());
}

void TestSingleInstance::oldLockOfALiveInstanceHolds()
{
    QVERIFY(StartPrimary());
    const QStringList locks = Files(QStringLiteral("*.lock"));
    QCOMPARE(locks.size(), 1);
    QFile lock(QDir(runtime_->path()).filePath(locks.first()));
    QVERIFY(lock.open(QIODevice::ReadOnly));
    QVERIFY(lock.setFileTime(QDateTime::currentDateTime().addDays(-3), QFileDevice::FileModificationTime));

    QProcess *second = StartProbe({QStringLiteral("claim"), QStringLiteral("0"), QStringLiteral("0"), MarkerFile()});
    QCOMPARE(NextLine(*second), QStringLiteral("secondary"));
    QCOMPARE(NextLine(*second), QStringLiteral("answer 0 after-handler"));
}

void TestSingleInstance::simultaneousStartsGiveOnePrimary()
{
    std::vector<QProcess *> starts;
    for (int i = 0; i < 5; ++i) {
        starts.push_back(
            StartProbe({QStringLiteral("claim"), QStringLiteral("0"), QStringLiteral("50"), MarkerFile()}));
    }
    int primaries = 0;
    for (QProcess *start : starts) {
        const QString first = NextLine(*start);
        if (first == u"primary") {
            ++primaries;
            continue;
        }
        QCOMPARE(first, QStringLiteral("secondary"));
        QCOMPARE(NextLine(*start), QStringLiteral("answer 0 after-handler"));
    }
    QCOMPARE(primaries, 1);
}

void TestSingleInstance::nothingRunning_data()
{
    QTest::addColumn<bool>("killedInstanceLeftFiles");
    QTest::newRow("empty runtime folder") << false;
    QTest::newRow("lock and socket of a killed instance") << true;
}

void TestSingleInstance::nothingRunning()
{
    QFETCH(bool, killedInstanceLeftFiles);
    if (killedInstanceLeftFiles) {
        QProcess *killed = StartPrimary();
        QVERIFY(killed);
        killed->kill();
        QVERIFY(killed->waitForFinished(GenerousWaitMs));
    }
    QProcess *probe = StartProbe({QStringLiteral("handover"), MarkerFile()});
    const QString line = NextLine(*probe);
    QVERIFY2(line.startsWith(u"none "), qPrintable(line));
    // Well below the wait granted to a running instance that has not started listening yet.
    QVERIFY2(line.mid(5).toInt() < 2500, qPrintable(line));
    QVERIFY(!QFile::exists(MarkerFile()));
}

void TestSingleInstance::oneInstancePerDisplay()
{
    environment_.insert(QStringLiteral("DISPLAY"), QStringLiteral(":1"));
    QVERIFY(StartPrimary());
    environment_.insert(QStringLiteral("DISPLAY"), QStringLiteral(":2"));
    QVERIFY(StartPrimary());

    environment_.insert(QStringLiteral("DISPLAY"), QStringLiteral(":1.1"));
    QProcess *sameDisplay =
        StartProbe({QStringLiteral("claim"), QStringLiteral("0"), QStringLiteral("0"), MarkerFile()});
    QCOMPARE(NextLine(*sameDisplay), QStringLiteral("secondary"));
    QCOMPARE(NextLine(*sameDisplay), QStringLiteral("answer 0 after-handler"));
}

void TestSingleInstance::privateFolder_data()
{
    QTest::addColumn<QString>("runtimeFolder");
    QTest::addColumn<bool>("ownFolderTakenByOthers");
    QTest::addColumn<bool>("handedOver");
    QTest::newRow("runtime folder unset") << QString() << false << true;
    QTest::newRow("runtime folder relative") << "." << false << true;
    QTest::newRow("runtime folder open to others") << "open" << false << true;
    QTest::newRow("own folder open to others: runs unreachable") << QString() << true << false;
}

void TestSingleInstance::privateFolder()
{
    QFETCH(QString, runtimeFolder);
    QFETCH(bool, ownFolderTakenByOthers);
    QFETCH(bool, handedOver);
    if (runtimeFolder == u"open") {
        runtimeFolder = runtime_->filePath(QStringLiteral("open"));
        QVERIFY(QDir().mkdir(runtimeFolder));
        QVERIFY(::chmod(QFile::encodeName(runtimeFolder).constData(), 0777) == 0);
    }
    environment_.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeFolder);
    const QString ownFolder = work_->filePath(QStringLiteral("Tarnwick-%1").arg(::geteuid()));
    if (ownFolderTakenByOthers) {
        QVERIFY(QDir().mkdir(ownFolder));
        QVERIFY(::chmod(QFile::encodeName(ownFolder).constData(), 0755) == 0);
    }

    QVERIFY(StartPrimary());
    QProcess *second = StartProbe({QStringLiteral("claim"), QStringLiteral("0"), QStringLiteral("0"), MarkerFile()});
    if (!handedOver) {
        QCOMPARE(NextLine(*second), QStringLiteral("primary"));
        return;
    }
    QCOMPARE(NextLine(*second), QStringLiteral("secondary"));
    QCOMPARE(NextLine(*second), QStringLiteral("answer 0 after-handler"));
    struct stat status = {};
    QCOMPARE(::stat(QFile::encodeName(ownFolder).constData(), &status), 0);
    QCOMPARE(status.st_mode & 0777, 0700u);
    QCOMPARE(QDir(ownFolder).entryList({QStringLiteral("*.lock")}, QDir::Files).size(), 1);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
