// Only one running instance, and a second start that asks it to come forward. The running instance is this process
// or a child started from this executable in its primary role; second starts and other peers are of this process.
#include "HandOverChannel.h"
#include "InstanceFolder.h"
#include "InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using Result = HandOverChannel::Result;
using Holder = InstanceLock::Holder;

namespace {

const QString Name = u"Tarnwick-_1"_s;
const QString PrimaryRole = u"--primary"_s;
// Bounds for a child process to start and end, generous for a sanitizer build on a busy machine.
constexpr int ChildMs = 20000;

// The bytes on the wire, as every release sends them.
const QByteArray Request = QByteArray("\x02\x00\x00\x00\x14", 5) + "TarnwickHiddenButton";
const QByteArray StillWorking("\x02\x01\x00\x00\x00\x00", 6);
const QByteArray Answer("\x02\x02\x00\x00\x00\x00", 6);

// This executable as the running instance in a child process: it serves requests and says on stdout that it listens,
// until it is killed.
int RunPrimary(const QString &folder)
{
    InstanceLock lock(folder, Name);
    HandOverChannel channel(folder, Name);
    lock.Claim();
    channel.Listen();
    QObject::connect(&channel, &HandOverChannel::HandOverRequested, [] {});
    std::puts("listening");
    std::fflush(stdout);
    return QCoreApplication::exec();
}

// The process's state as /proc shows it: "S" sleeping, "T" stopped, ...
QByteArray ProcessState(qint64 pid)
{
    QFile stat(u"/proc/%1/stat"_s.arg(pid));
    const QByteArray line = stat.open(QIODevice::ReadOnly) ? stat.readAll() : QByteArray();
    return line.mid(line.lastIndexOf(')') + 2, 1);
}

// A connection to the channel that has sent the bytes given, as any process of the user's may make.
class Peer
{
public:
    Peer(const QString &socket, const QByteArray &message) : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0))
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(socket);
        std::memcpy(address.sun_path, path.constData(), path.size());
        if (::connect(fd_, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
            ::send(fd_, message.constData(), message.size(), MSG_NOSIGNAL);
    }
    ~Peer() { ::close(fd_); }
    Peer(const Peer &) = delete;
    Peer &operator=(const Peer &) = delete;

    // Whether the channel keeps the connection open; what it sent meanwhile is added to received.
    bool Open()
    {
        char buffer[64];
        ssize_t size = 0;
        while ((size = ::recv(fd_, buffer, sizeof buffer, 0)) > 0)
            received.append(buffer, size);
        closed_ = closed_ || size == 0 || errno != EAGAIN;
        return !closed_;
    }

    QByteArray received;

private:
    int fd_;
    bool closed_ = false;
};

// The owner and mode of what stands at the path, not followed.
QString Status(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
        return QString();
    return u"%1 %2"_s.arg(status.st_uid).arg(status.st_mode, 0, 8);
}

} // namespace

class TestHandOver : public QObject
{
    Q_OBJECT

private slots:
    void init() { folder_ = std::make_unique<QTemporaryDir>(); }

    void cleanup()
    {
        if (primary_) {
            primary_->kill();
            primary_->waitForFinished(ChildMs);
        }
        primary_.reset();
    }

    void messages_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("the request") << Request << Answer;
        QTest::newRow("the request, received late") << Request << StillWorking + Answer;
        QTest::newRow("another tag") << QByteArray("\x02\x00\x00\x00\x14", 5) + "TarnwickOtherButton_" << QByteArray();
        QTest::newRow("an older version") << QByteArray("\x01\x00\x00\x00\x14", 5) + Request.mid(5) << QByteArray();
        QTest::newRow("a huge size") << QByteArray("\x02\x00\x10\x00\x00", 5) + QByteArray(65536, 'x') << QByteArray();
        QTest::newRow("one byte more than the request") << Request + 'x' << QByteArray();
    }

    // Anything but the request is closed unanswered and without effect; the request waits for a receiver, the
    // channel saying meanwhile that it is still working.
    void messages()
    {
        QFETCH(QByteArray, message);
        QFETCH(QByteArray, answer);
        InstanceLock lock(folder_->path(), Name); // the running instance, in this process
        HandOverChannel channel(folder_->path(), Name);
        QCOMPARE(lock.Claim(), Holder::ThisProcess);
        channel.Listen();
        Peer peer(SocketPath(), message);
        if (answer.startsWith(StillWorking)) {
            QTRY_VERIFY_WITH_TIMEOUT(peer.Open() && peer.received.startsWith(StillWorking), ChildMs);
            answer.remove(0, StillWorking.size());
        }
        QSignalSpy requested(&channel, &HandOverChannel::HandOverRequested);
        QTRY_VERIFY(!peer.Open());
        while (peer.received.startsWith(StillWorking))
            peer.received.remove(0, StillWorking.size());
        QCOMPARE(peer.received, answer);
        QCOMPARE(requested.count(), answer.isEmpty() ? 0 : 1);
    }

    void aSecondStart_data()
    {
        QTest::addColumn<QByteArray>("primary");
        QTest::addColumn<Result>("result");
        // Its lock and socket stay behind: the second start takes them over.
        QTest::newRow("killed primary") << "killed"_ba << Result::NotRunning;
        // It holds the lock and its socket takes the connection, but it says nothing.
        QTest::newRow("stopped primary") << "stopped"_ba << Result::NoAnswer;
        // At most 8 connections are held, each for 5 s at most: then the next start gets through.
        QTest::newRow("flood of silent peers") << QByteArray() << Result::NoAnswer;
        QTest::newRow("flood of peers that sent part of the request") << Request.left(10) << Result::NoAnswer;
    }

    void aSecondStart()
    {
        QFETCH(QByteArray, primary);
        QFETCH(Result, result);
        QProcess &child = StartPrimary();
        std::vector<std::unique_ptr<Peer>> flood;
        const auto open = [&flood] {
            return static_cast<int>(std::count_if(flood.begin(), flood.end(), [](auto &peer) { return peer->Open(); }));
        };
        if (primary == "killed") {
            child.kill();
            QVERIFY(child.waitForFinished(ChildMs) && QFile::exists(SocketPath()));
        } else if (primary == "stopped") {
            QCOMPARE(::kill(static_cast<pid_t>(child.processId()), SIGSTOP), 0);
            QTRY_COMPARE(ProcessState(child.processId()), "T"_ba);
        } else {
            while (flood.size() < 40)
                flood.push_back(std::make_unique<Peer>(SocketPath(), primary));
            QTRY_COMPARE_WITH_TIMEOUT(open(), 8, 3000);
        }
        InstanceLock lock(folder_->path(), Name);
        HandOverChannel channel(folder_->path(), Name);
        QCOMPARE(channel.HandOver(lock), result);
        if (!flood.empty()) {
            QTRY_COMPARE_WITH_TIMEOUT(open(), 0, 10000);
            QCOMPARE(channel.HandOver(lock), Result::Done);
        } else if (result == Result::NotRunning) {
            QCOMPARE(lock.Claim(), Holder::ThisProcess);
            channel.Listen();
            QSignalSpy requested(&channel, &HandOverChannel::HandOverRequested);
            Peer next(SocketPath(), Request);
            QTRY_VERIFY(!next.Open());
            QCOMPARE(requested.count(), 1);
        }
    }

    void thePrivateFolder_data()
    {
        QTest::addColumn<int>("runtimeMode");
        QTest::addColumn<QString>("planted");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("problem");
        QTest::newRow("a private runtime folder") << 0700 << QString() << u"runtime"_s << QString();
        QTest::newRow("a runtime folder open to others") << 0755 << QString() << u"cache/Tarnwick"_s << QString();
        QTest::newRow("a link to a folder") << 0755 << u"link"_s << QString() << u" is a symbolic link"_s;
        QTest::newRow("a file") << 0755 << u"file"_s << QString() << u" is not a folder"_s;
        QTest::newRow("a folder open to the group") << 0755 << u"open"_s << QString() << u" has mode 0750, not 0700"_s;
        QTest::newRow("another user's folder") << 0755 << u"foreign"_s << QString() << u" belongs to another user"_s;
    }

    // What stands where the folder of our own belongs is named, and left as it was.
    void thePrivateFolder()
    {
        QFETCH(int, runtimeMode);
        QFETCH(QString, planted);
        QFETCH(QString, chosen);
        QFETCH(QString, problem);
        const QString runtime = folder_->filePath(u"runtime"_s), own = folder_->filePath(u"cache/Tarnwick"_s);
        const QString elsewhere = folder_->filePath(u"elsewhere"_s);
        QVERIFY(QDir().mkpath(runtime) && QDir().mkpath(elsewhere) && QDir().mkpath(folder_->filePath(u"cache"_s)));
        ::chmod(QFile::encodeName(runtime).constData(), runtimeMode);
        ::chmod(QFile::encodeName(elsewhere).constData(), 0755);
        if (planted == u"link")
            QVERIFY(QFile::link(elsewhere, own));
        else if (planted == u"file")
            QVERIFY(QFile(own).open(QIODevice::WriteOnly));
        else if (!planted.isEmpty())
            QVERIFY(QDir().mkdir(own) &&
                    ::chmod(QFile::encodeName(own).constData(), planted == u"open" ? 0750 : 0700) == 0);
        if (planted == u"foreign" && ::chown(QFile::encodeName(own).constData(), 65534, 65534) != 0)
            QSKIP("Only root can make another user's folder.");
        const QString before = Status(own), beforeElsewhere = Status(elsewhere);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(folder_->filePath(u"cache"_s)));
        const InstanceFolder folder = ChooseInstanceFolder(u"Tarnwick"_s);
        QCOMPARE(folder.path, chosen.isEmpty() ? QString() : folder_->filePath(chosen));
        QCOMPARE(folder.problem, problem.isEmpty() ? QString() : own + problem);
        if (!planted.isEmpty())
            QCOMPARE(Status(own), before);
        QCOMPARE(Status(elsewhere), beforeElsewhere);
    }

    // One running instance per display, whichever screen of it; Wayland's display comes first.
    void theNameIsPerDisplay()
    {
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder_->path()));
        qputenv("DISPLAY", ":1.2");
        qputenv("WAYLAND_DISPLAY", "");
        QCOMPARE(ChooseInstanceFolder(u"Tarnwick"_s).name, u"Tarnwick-_1"_s);
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        QCOMPARE(ChooseInstanceFolder(u"Tarnwick"_s).name, u"Tarnwick-wayland-0"_s);
        qputenv("DISPLAY", "");
        qputenv("WAYLAND_DISPLAY", "");
        QCOMPARE(ChooseInstanceFolder(u"Tarnwick"_s).name, u"Tarnwick"_s);
    }

private:
    QString SocketPath() const { return folder_->filePath(Name + u".socket"_s); }

    // A running instance in a child process, once it listens; killed after the test.
    QProcess &StartPrimary()
    {
        primary_ = std::make_unique<QProcess>();
        primary_->start(QCoreApplication::applicationFilePath(), {PrimaryRole, folder_->path()});
        primary_->waitForReadyRead(ChildMs);
        return *primary_;
    }

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<QProcess> primary_;
};

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == PrimaryRole)
        return RunPrimary(arguments[2]);
    TestHandOver test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_handover.moc"
