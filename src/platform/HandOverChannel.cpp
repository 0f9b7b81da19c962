#include "HandOverChannel.h"

#include "InstanceLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QMetaMethod>
#include <QPointer>
#include <QScopeGuard>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <utility>

namespace {

// Every message starts with the version. The one request a second start may send: version, tag size in bytes
// (32-bit, big-endian), the tag in UTF-8, as earlier releases send it, so that a second start and a running instance
// of different releases understand each other; anything else is refused by closing the connection. The running
// instance answers with messages of MessageSize bytes: version, kind, a 32-bit value, always 0. StillWorking comes
// every KeepAliveMs while the request waits or is handled, Answer once it is handled.
constexpr char ProtocolVersion = 2;
constexpr char RequestTag[] = "TarnwickHiddenButton";
constexpr char StillWorking = 1;
constexpr char Answer = 2;
constexpr qsizetype MessageSize = 2 + 4;

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
        const QByteArray tag(RequestTag);
        QByteArray header(1 + 4, '\0');
        header[0] = ProtocolVersion;
        qToBigEndian<quint32>(static_cast<quint32>(tag.size()), header.data() + 1);
        return header + tag;
    }();
    return request;
}

QByteArray Message(char kind)
{
    QByteArray message(MessageSize, '\0');
    message[0] = ProtocolVersion;
    message[1] = kind;
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

// The listening socket and the second starts' connections.
class HandOverChannel::Private : public QObject
{
public:
    Private(HandOverChannel &owner, const QString &folder, const QString &name);
    ~Private() override;

    void Listen();
    Result HandOver(const InstanceLock &lock) const;
    void HandleRequests();

    const std::optional<sockaddr_un> address_;
    // A receiver of HandOverRequested is connected: requests are handled from then on.
    bool served_ = false;

private:
    void AcceptConnections();
    void PauseListening();
    void Hold(int fd);
    void Close(Connection *connection);
    void ReadRequest(Connection *connection);
    void Handle(const QPointer<Connection> &connection);
    void SendKeepAlives();

    HandOverChannel &owner_;
    int listener_ = -1;
    std::unique_ptr<QSocketNotifier> listenerNotifier_;
    // Connections open now, whatever their state.
    int held_ = 0;
    // Second starts whose request is complete, oldest first, and those whose request the slot is
    // handling, innermost last. Each is told every second that its request is being worked on.
    std::deque<QPointer<Connection>> requests_;
    std::deque<QPointer<Connection>> handling_;
    QTimer keepAlive_;
};

HandOverChannel::HandOverChannel(const QString &folder, const QString &name, QObject *parent)
    : QObject(parent), d_(std::make_unique<Private>(*this, folder, name))
{
}

HandOverChannel::~HandOverChannel() = default;

bool HandOverChannel::Usable() const
{
    return d_->address_.has_value();
}

void HandOverChannel::Listen()
{
    d_->Listen();
}

HandOverChannel::Result HandOverChannel::HandOver(const InstanceLock &lock)
{
    return d_->HandOver(lock);
}

void HandOverChannel::connectNotify(const QMetaMethod &signal)
{
    if (signal == QMetaMethod::fromSignal(&HandOverChannel::HandOverRequested)) {
        d_->served_ = true;
        QMetaObject::invokeMethod(
            d_.get(), [this] { d_->HandleRequests(); }, Qt::QueuedConnection);
    }
}

HandOverChannel::Private::Private(HandOverChannel &owner, const QString &folder, const QString &name)
    : address_(folder.isEmpty() ? std::nullopt : UnixAddress(folder + u'/' + name + QStringLiteral(".socket"))),
      owner_(owner)
{
    keepAlive_.setInterval(KeepAliveMs);
    connect(&keepAlive_, &QTimer::timeout, this, &Private::SendKeepAlives);
}

HandOverChannel::Private::~Private()
{
    if (listener_ >= 0) {
        listenerNotifier_.reset();
        ::close(listener_);
        ::unlink(address_->sun_path);
    }
}

void HandOverChannel::Private::Listen()
{
    // Holding the lock, any socket file left here belongs to a dead instance.
    ::unlink(address_->sun_path);
    const int fd = NewSocket();
    if (fd < 0) {
        return;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&*address_), sizeof *address_) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        ::close(fd);
        return;
    }
    listener_ = fd;
    listenerNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(listenerNotifier_.get(), &QSocketNotifier::activated, this, &Private::AcceptConnections);
}

HandOverChannel::Result HandOverChannel::Private::HandOver(const InstanceLock &lock) const
{
    QDeadlineTimer silence(SilenceLimitMs);
    int fd = -1;
    while ((fd = Connect(*address_)) < 0) {
        if (!lock.HolderLives()) {
            return Result::NotRunning;
        }
        if (silence.hasExpired()) {
            return Result::NoAnswer;
        }
        QThread::msleep(RetryPauseMs);
    }
    const auto closer = qScopeGuard([fd] { ::close(fd); });
    // Closed unanswered: the running instance ended meanwhile, or it holds all the connections it takes (a flood).
    const auto closedUnanswered = [&lock] { return lock.HolderLives() ? Result::NoAnswer : Result::NotRunning; };
    // The short request fits the fresh socket's buffer: sent whole or not at all.
    if (::send(fd, Request().constData(), Request().size(), MSG_NOSIGNAL) != Request().size()) {
        return closedUnanswered();
    }
    QByteArray received;
    for (;;) {
        pollfd incoming = {fd, POLLIN, 0};
        const int ready = ::poll(&incoming, 1, static_cast<int>(silence.remainingTime()));
        if (ready == 0) {
            return Result::NoAnswer;
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
                return Result::NotRunning;
            }
            if (received[1] == Answer) {
                return Result::Done;
            }
            silence.setRemainingTime(SilenceLimitMs);
        }
    }
}

void HandOverChannel::Private::AcceptConnections()
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

void HandOverChannel::Private::PauseListening()
{
    listenerNotifier_->setEnabled(false);
    QTimer::singleShot(ListenPauseMs, this, [this] { listenerNotifier_->setEnabled(true); });
}

void HandOverChannel::Private::Hold(int fd)
{
    ++held_;
    auto *connection = new Connection(fd, this);
    connect(&connection->notifier, &QSocketNotifier::activated, this, [this, connection] { ReadRequest(connection); });
    QTimer::singleShot(RequestWaitMs, connection, [this, connection] {
        if (connection->notifier.isEnabled())
            Close(connection);
    });
}

void HandOverChannel::Private::Close(Connection *connection)
{
    if (connection->Close())
        --held_;
}

void HandOverChannel::Private::ReadRequest(Connection *connection)
{
    const QByteArray &request = Request();
    QByteArray &received = connection->received;
    // Up to one byte more than the rest of the request, to see a longer message for what it is (sizeof
    // counts the tag's terminating zero).
    char buffer[1 + 4 + sizeof RequestTag];
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
void HandOverChannel::Private::HandleRequests()
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

void HandOverChannel::Private::Handle(const QPointer<Connection> &connection)
{
    handling_.push_back(connection);
    emit owner_.HandOverRequested();
    handling_.erase(std::find(handling_.begin(), handling_.end(), connection));
    if (handling_.empty() && requests_.empty()) {
        keepAlive_.stop();
    }
    if (connection) {
        connection->Send(Message(Answer));
        Close(connection);
    }
}

void HandOverChannel::Private::SendKeepAlives()
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
