#include <QtTest>

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>

#include <memory>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int GenerousWaitMs = 20000;

// The next line the probe prints, or "(nothing)" when it ends without one.
QString NextLine(QProcess &probe)
{
    while (!probe.canReadLine() && probe.waitForReadyRead(GenerousWaitMs)) {
    }
    return probe.canReadLine() ? QString::fromUtf8(probe.readLine()).trimmed() : u"(nothing)"_s;
}

QByteArray Request(char version, const QByteArray &caption, quint32 size)
{
    QByteArray request(5, version);
    qToBigEndian<quint32>(size, request.data() + 1);
    return request + caption;
}

// Sends the message over the socket and returns all that comes back until the other end closes the connection.
QByteArray Exchange(const QString &socketPath, const QByteArray &message)
{
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    if (!socket.waitForConnected(GenerousWaitMs))
        return "(no connection)";
    socket.write(message);
    if (socket.state() == QLocalSocket::ConnectedState && !socket.waitForDisconnected(GenerousWaitMs))
        return "(still open)";
    return socket.readAll();
}

} // namespace

// Every case runs real processes of platform_probe in a folder of its own, which is also their runtime folder
// unless a case says otherwise.
class TestLifetime : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        folder_ = std::make_unique<QTemporaryDir>();
        QVERIFY(folder_->isValid());
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert(u"XDG_RUNTIME_DIR"_s, folder_->path());
        environment_.insert(u"XDG_CACHE_HOME"_s, folder_->filePath(u"cache"_s));
        environment_.insert(u"DISPLAY"_s, u":7"_s);
        environment_.remove(u"WAYLAND_DISPLAY"_s);
    }

    void cleanup()
    {
        for (const auto &probe : probes_) {
            probe->kill();
            probe->waitForFinished(GenerousWaitMs);
        }
        probes_.clear();
    }

    // A peer holds at most 8 connections, each for at most 5 s; the rest are closed at once.
    void aFloodOfConnectionsGetsABoundedShare()
    {
        QProcess *primary = StartProbe();
        QCOMPARE(NextLine(*primary), u"primary");
        std::vector<std::unique_ptr<QLocalSocket>> flood;
        for (int i = 0; i < 40; ++i) {
            flood.push_back(std::make_unique<QLocalSocket>());
            flood.back()->connectToServer(folder_->filePath(u"Tarnwick-_7.socket"_s));
            QVERIFY(flood.back()->waitForConnected(GenerousWaitMs));
        }
        const auto open = [&flood] {
            return std::count_if(flood.begin(), flood.end(), [](const auto &socket) {
                socket->waitForReadyRead(0);
                return socket->state() == QLocalSocket::ConnectedState;
            });
        };
        QTRY_COMPARE_WITH_TIMEOUT(open(), 8, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(open(), 0, GenerousWaitMs);
        QCOMPARE(NextLine(*StartProbe({u"handover"_s})), u"done after-handler");
    }

    void onlyTheHandOverRequestIsAnswered_data()
    {
        const QByteArray caption = "TarnwickHiddenButton";
        const QByteArray answer("\2\2\0\0\0\0", 6);
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("hand-over") << Request(2, caption, caption.size()) << answer;
        QTest::newRow("foreign caption") << Request(2, "cmdOther", 8) << QByteArray();
        QTest::newRow("wrong version") << Request(1, caption, caption.size()) << QByteArray();
        QTest::newRow("oversized") << Request(2, QByteArray(65536, 'x'), 1 << 20) << QByteArray();
        QTest::newRow("more after the request") << Request(2, caption + "x", caption.size()) << QByteArray();
    }

    void onlyTheHandOverRequestIsAnswered()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, reply);
        QProcess *primary = StartProbe();
        QCOMPARE(NextLine(*primary), u"primary");
        // Refused without effect: closed with no answer, and the next hand-over is the next click.
        QCOMPARE(Exchange(folder_->filePath(u"Tarnwick-_7.socket"_s), message), reply);
        QCOMPARE(NextLine(*StartProbe({u"handover"_s})), u"done after-handler");
        QCOMPARE(NextLine(*primary), u"clicked");
        if (!reply.isEmpty()) {
            QCOMPARE(NextLine(*primary), u"clicked");
        }
    }

private:
    QProcess *StartProbe(const QStringList &arguments = {u"claim"_s})
    {
        auto &probe = probes_.emplace_back(std::make_unique<QProcess>());
        probe->setProcessEnvironment(environment_);
        probe->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        probe->setWorkingDirectory(folder_->path());
        probe->start(QStringLiteral(PLATFORM_PROBE), arguments);
        return probe.get();
    }

    std::unique_ptr<QTemporaryDir> folder_;
    QProcessEnvironment environment_;
    std::vector<std::unique_ptr<QProcess>> probes_;
};

QTEST_GUILESS_MAIN(TestLifetime)
#include "tst_lifetime.moc"
