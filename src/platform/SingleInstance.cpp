#include "SingleInstance.h"

#include "PrivateFolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMetaMethod>
#include <QPointer>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <deque>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

// Every message starts with the version. The one request a second start may send: version, caption
// size in bytes (32-bit, big-endian), the hidden button's caption in UTF-8; anything else is
// refused by closing the connection. The running instance answers with messages of MessageSize
// bytes: version, kind, a 32-bit signed big-endian value. StillWorking (value 0) comes every
// KeepAliveMs while the request waits or is handled, Answer (value 0: done) once it is handled.
constexpr char ProtocolVersion = 2;
constexpr char HandOverCaption[] = "TarnwickHiddenButton";
constexpr char StillWorking = 1;
constexpr char Answer = 2;
constexpr qsizetype MessageSize = 2 + 4;
constexpr qint32 Done = 0;

// A second start gives up after this long without a message, connecting included: the running
// instance takes the lock a moment before it listens.
constexpr int SilenceLimitMs = 5000;
constexpr int KeepAliveMs = 1000;
constexpr int RetryPauseMs = 50;
// A connection whose request is not complete by then is closed.
constexpr int RequestWaitMs = 5000;
// Connections held at once, reading or handled; any more are closed as they come.
constexpr int MaxConnections = 8;
// How long the listener rests when the process is out of descriptors.
constexpr int ListenPauseMs = 1000;

QString SafeName(const QString &text)
{
    QString name = text;
    for (QChar &c : name) {
        const bool safe = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
                          c == u'.' || c == u'-' || c == u'_';
        if (!safe) {
            c = u'_';
        }
    }
    return name;
}

// The display this process shows its windows on, without an X screen number: one running
// instance per display, whichever screen of it.
QString DisplayName()
{
    const QString wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty()) {
        return wayland;
    }
    QString display = qEnvironmentVariable("DISPLAY");
    const qsizetype colon = display.lastIndexOf(u':');
    const qsizetype dot = display.indexOf(u'.', colon + 1);
    if (colon >= 0 && dot > colon) {
        display.truncate(dot);
    }
    return display;
}

QString ChannelName(const QString &caption)
{
    const QString display = DisplayName();
    return display.isEmpty() ? SafeName(caption) : SafeName(caption) + u'-' + SafeName(display);
}

struct ChannelFolder
{
    QString path;    // empty when there is none to use
    QString problem; // why a folder that stands there may not be used
};

// The user's runtime folder, or else a private folder of our own in the user's cache folder, which
// no one else can have made. Where that cannot be made at all, there is no channel; where something
// stands in its place that is not such a folder, that is a problem the user must hear of.
ChannelFolder PrivateFolder(const QString &caption)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && IsPrivateFolder(runtime)) {
        return {runtime, QString()};
    }
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!QDir::isAbsolutePath(cache)) {
        cache = QDir::homePath() + QStringLiteral("/.cache");
    }
    const OwnFolder own = MakeOwnFolder(cache, SafeName(caption));
    return {own.path, own.problem};
}

// The socket address of this path, or nothing when the path does not fit.
std::optional<sockaddr_un> UnixAddress(const QString &path)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address = {};
    if (encoded.size() >= static_cast<qsizetype>(sizeof address.sun_path)) {
        return std::nullopt;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, encoded.constData(), encoded.size());
    return address;
}

int NewSocket()
{
    return ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

// A socket connected to the address, or -1. Non-blocking, so that a full backlog fails at once.
int Connect(const sockaddr_un &address)
{
    const int fd = NewSocket();
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

const QByteArray &Request()
{
    static const QByteArray request = [] {
        const QByteArray caption(HandOverCaption);
        QByteArray header(1 + 4, '\0');
        header[0] = ProtocolVersion;
        qToBigEndian<quint32>(static_cast<quint32>(caption.size()), header.data() + 1);
        return header + caption;
    }();
    return request;
}

QByteArray Message(char kind, qint32 value = 0)
{
    QByteArray message(MessageSize, kind);
    message[0] = ProtocolVersion;
    qToBigEndian<qint32>(value, message.data() + 2);
    return message;
}

// One second start's connection. Closing it gives its descriptor back at once; the object goes later.
class Connection : public QObject
{
    // First: the notifier watches it.
    int fd_;

public:
    Connection(int fd, QObject *parent) : QObject(parent), fd_(fd), notifier(fd, QSocketNotifier::Read) {}

    ~Connection() override
    {
        notifier.setEnabled(false);
        if (fd_ >= 0)
            ::close(fd_);
    }

    int fd() const { return fd_; }

    // Never blocks: a second start that does not read misses the message.
    void Send(const QByteArray &message) const
    {
        if (fd_ >= 0)
            ::send(fd_, message.constData(), message.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    }

    // False when it was closed already.
    bool Close()
    {
        if (fd_ < 0)
            return false;
        notifier.setEnabled(false);
        ::close(std::exchange(fd_, -1));
        deleteLater();
        return true;
    }

    QSocketNotifier notifier;
    QByteArray received;
};

} // namespace

// The channel's state: the lock, the listening socket, and the second starts' connections.
class SingleInstance::Private : public QObject
{
public:
    Private(SingleInstance &owner, const QString &caption);
    ~Private() override;

    bool Claim();
    HandOverResult HandOver();
    void HandleRequests();

    QString problem_;
    // A receiver of HandOverRequested is connected: requests are handled from then on.
    bool served_ = false;

private:
    QString LockPath() const;
    QString SocketPath() const;
    void Listen();
    bool RunningInstanceHoldsLock() const;
    void AcceptConnections();
    void PauseListening();
    void Hold(int fd);
    void Close(Connection *connection);
    void ReadRequest(Connection *connection);
    void Handle(const QPointer<Connection> &connection);
    void SendKeepAlives();

    SingleInstance &owner_;
    QString folder_;
    QString name_;
    int listener_ = -1;
    std::unique_ptr<QSocketNotifier> listenerNotifier_;
    // Connections open now, whatever their state.
    int held_ = 0;
    // Second starts whose request is complete, oldest first, and those whose request the slot is
    // handling, innermost last. Each is told every second that its request is being worked on.
    std::deque<QPointer<Connection>> requests_;
    std::deque<QPointer<Connection>> handling_;
    QTimer keepAlive_;
    // Released only after the destructor has removed the socket: a new running instance taking the
    // lock must not lose its fresh socket to this one's clean-up.
    std::unique_ptr<QLockFile> lock_;
};

SingleInstance::SingleInstance(const QString &caption, QObject *parent)
    : QObject(parent), d_(std::make_unique<Private>(*this, caption))
{
}

SingleInstance::~SingleInstance() = default;

const QString &SingleInstance::Problem() const
{
    return d_->problem_;
}

bool SingleInstance::Claim()
{
    return d_->Claim();
}

SingleInstance::HandOverResult SingleInstance::HandOver()
{
    return d_->HandOver();
}

void SingleInstance::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&SingleInstance::HandOverRequested)) {
        d_->served_ = true;
        QMetaObject::invokeMethod(
            d_.get(), [this] { d_->HandleRequests(); }, Qt::QueuedConnection);
    }
}

SingleInstance::Private::Private(SingleInstance &owner, const QString &caption)
    : owner_(owner), name_(ChannelName(caption))
{
    const ChannelFolder folder = PrivateFolder(caption);
    folder_ = folder.path;
    problem_ = folder.problem;
    if (!folder_.isEmpty() && !UnixAddress(SocketPath())) {
        folder_.clear();
    }
    keepAlive_.setInterval(KeepAliveMs);
    connect(&keepAlive_, &QTimer::timeout, this, &Private::SendKeepAlives);
}

SingleInstance::Private::~Private()
{
    if (listener_ >= 0) {
        listenerNotifier_.reset();
        ::close(listener_);
        ::unlink(QFile::encodeName(SocketPath()).constData());
    }
}

bool SingleInstance::Private::Claim()
{
    if (folder_.isEmpty()) {
        return true;
    }
    lock_ = std::make_unique<QLockFile>(LockPath());
    // Only a dead holder makes the lock stale; a long-running instance's lock must not age into one.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        return lock_->error() != QLockFile::LockFailedError;
    }
    Listen();
    return true;
}

void SingleInstance::Private::Listen()
{
    const std::optional<sockaddr_un> address = UnixAddress(SocketPath());
    // Holding the lock, any socket file left here belongs to a dead instance.
    ::unlink(address->sun_path);
    const int fd = NewSocket();
    if (fd < 0) {
        return;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&*address), sizeof *address) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        ::close(fd);
        return;
    }
    listener_ = fd;
    listenerNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(listenerNotifier_.get(), &QSocketNotifier::activated, this, &Private::AcceptConnections);
}

SingleInstance::HandOverResult SingleInstance::Private::HandOver()
{
    if (folder_.isEmpty()) {
        return HandOverResult::NotRunning;
    }
    const std::optional<sockaddr_un> address = UnixAddress(SocketPath());
    QDeadlineTimer silence(SilenceLimitMs);
    int fd = -1;
    while ((fd = Connect(*address)) < 0) {
        if (!RunningInstanceHoldsLock()) {
            return HandOverResult::NotRunning;
        }
        if (silence.hasExpired()) {
            return HandOverResult::NoAnswer;
        }
        QThread::msleep(RetryPauseMs);
    }
    const auto closer = qScopeGuard([fd] { ::close(fd); });
    // Closed unanswered: the running instance ended meanwhile, or it holds all the connections it takes (a flood).
    const auto closedUnanswered = [this] {
        return RunningInstanceHoldsLock() ? HandOverResult::NoAnswer : HandOverResult::NotRunning;
    };
    // The short request fits the fresh socket's buffer: sent whole or not at all.
    if (::send(fd, Request().constData(), Request().size(), MSG_NOSIGNAL) != Request().size()) {
        return closedUnanswered();
    }
    QByteArray received;
    for (;;) {
        pollfd incoming = {fd, POLLIN, 0};
        const int ready = ::poll(&incoming, 1, static_cast<int>(silence.remainingTime()));
        if (ready == 0) {
            return HandOverResult::NoAnswer;
        }
        char buffer[64];
        const ssize_t size = ready < 0 ? -1 : ::recv(fd, buffer, sizeof buffer, 0);
        if (size < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (size <= 0) {
            return closedUnanswered();
        }
        for (received.append(buffer, size); received.size() >= MessageSize; received.remove(0, MessageSize)) {
            if (received[0] != ProtocolVersion || (received[1] != StillWorking && received[1] != Answer)) {
                return HandOverResult::NotRunning;
            }
            if (received[1] == Answer) {
                const qint32 answer = qFromBigEndian<qint32>(received.constData() + 2);
                return answer == Done ? HandOverResult::Done : HandOverResult::Failed;
            }
            silence.setRemainingTime(SilenceLimitMs);
        }
    }
}

QString SingleInstance::Private::LockPath() const
{
    return folder_ + u'/' + name_ + QStringLiteral(".lock");
}

QString SingleInstance::Private::SocketPath() const
{
    return folder_ + u'/' + name_ + QStringLiteral(".socket");
}

// True while the lock file names a live process, or is there but not yet filled in by the
// process that is creating it.
bool SingleInstance::Private::RunningInstanceHoldsLock() const
{
    qint64 pid = 0;
    if (!QLockFile(LockPath()).getLockInfo(&pid, nullptr, nullptr)) {
        return QFile::exists(LockPath());
    }
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

void SingleInstance::Private::AcceptConnections()
{
    for (;;) {
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            // Out of descriptors, the waiting peer would wake the listener again at once: look again later.
            if (errno == EMFILE || errno == ENFILE)
                PauseListening();
            return;
        }
        ucred peer = {};
        socklen_t size = sizeof peer;
        const bool ownUser = ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
        if (!ownUser || held_ >= MaxConnections) {
            ::close(fd);
            continue;
        }
        Hold(fd);
    }
}

void SingleInstance::Private::PauseListening()
{
    listenerNotifier_->setEnabled(false);
    QTimer::singleShot(ListenPauseMs, this, [this] { listenerNotifier_->setEnabled(true); });
}

void SingleInstance::Private::Hold(int fd)
{
    ++held_;
    auto *connection = new Connection(fd, this);
    connect(&connection->notifier, &QSocketNotifier::activated, this, [this, connection] { ReadRequest(connection); });
    QTimer::singleShot(RequestWaitMs, connection, [this, connection] {
        if (connection->notifier.isEnabled())
            Close(connection);
    });
}

void SingleInstance::Private::Close(Connection *connection)
{
    if (connection->Close())
        --held_;
}

void SingleInstance::Private::ReadRequest(Connection *connection)
{
    const QByteArray &request = Request();
    QByteArray &received = connection->received;
    // Up to one byte more than the rest of the request, to see a longer message for what it is (sizeof
    // counts the caption's terminating zero).
    char buffer[1 + 4 + sizeof HandOverCaption];
    const ssize_t size = ::recv(connection->fd(), buffer, request.size() + 1 - received.size(), 0);
    if (size < 0 && (errno == EAGAIN || errno == EINTR)) {
        return;
    }
    if (size > 0) {
        received.append(buffer, size);
    }
    if (size <= 0 || !request.startsWith(received)) {
        Close(connection);
        return;
    }
    if (received.size() < request.size()) {
        return;
    }
    connection->notifier.setEnabled(false);
    requests_.emplace_back(connection);
    keepAlive_.start();
    // The slot runs from the event loop, never inside a notifier's signal: its nested loops may
    // close that very connection.
    QMetaObject::invokeMethod(this, &Private::HandleRequests, Qt::QueuedConnection);
}

// Each request is handled as soon as it is complete, also while the slot is busy with an earlier one.
void SingleInstance::Private::HandleRequests()
{
    if (!served_) {
        return;
    }
    while (!requests_.empty()) {
        const QPointer<Connection> connection = requests_.front();
        requests_.pop_front();
        if (connection) {
            Handle(connection);
        }
    }
}

void SingleInstance::Private::Handle(const QPointer<Connection> &connection)
{
    handling_.push_back(connection);
    emit owner_.HandOverRequested();
    handling_.erase(std::find(handling_.begin(), handling_.end(), connection));
    if (handling_.empty() && requests_.empty()) {
        keepAlive_.stop();
    }
    if (connection) {
        connection->Send(Message(Answer, Done));
        Close(connection);
    }
}

void SingleInstance::Private::SendKeepAlives()
{
    const QByteArray message = Message(StillWorking);
    for (const auto *waiting : {&requests_, &handling_}) {
        for (const QPointer<Connection> &connection : *waiting) {
            if (connection) {
                connection->Send(message);
            }
        }
    }
}
