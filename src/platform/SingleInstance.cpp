#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <QtEndian>

#include <cerrno>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Request: version, caption size in bytes (32-bit, big-endian), caption in UTF-8.
// Answer: version, answer (32-bit signed, big-endian).
constexpr quint8 ProtocolVersion = 1;
constexpr qint64 RequestHeaderSize = 1 + 4;
constexpr qint64 AnswerSize = 1 + 4;
constexpr quint32 MaxCaptionSize = 4096;

// The running instance takes the lock a moment before it listens.
constexpr int ListenWaitMs = 5000;
constexpr int ConnectTimeoutMs = 1000;
constexpr int RetryPauseMs = 50;

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

// A folder only this user can enter: a real directory (not a link), owned by the effective user,
// closed to group and others.
bool IsPrivateFolder(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return false;
    }
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

// The user's runtime folder, or else a private folder of our own under the temporary folder;
// empty when neither can be had.
QString PrivateFolder(const QString &caption)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (QDir::isAbsolutePath(runtime) && IsPrivateFolder(runtime)) {
        return runtime;
    }
    const QString own = QDir::tempPath() + u'/' + SafeName(caption) + u'-' + QString::number(::geteuid());
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    return IsPrivateFolder(own) ? own : QString();
}

QByteArray EncodeRequest(const QString &buttonCaption)
{
    const QByteArray caption = buttonCaption.toUtf8();
    QByteArray request(RequestHeaderSize, '\0');
    request[0] = static_cast<char>(ProtocolVersion);
    qToBigEndian<quint32>(static_cast<quint32>(caption.size()), request.data() + 1);
    return request + caption;
}

QByteArray EncodeAnswer(int answer)
{
    QByteArray encoded(AnswerSize, '\0');
    encoded[0] = static_cast<char>(ProtocolVersion);
    qToBigEndian<qint32>(answer, encoded.data() + 1);
    return encoded;
}

std::optional<int> DecodeAnswer(const QByteArray &encoded)
{
    if (encoded.size() != AnswerSize || static_cast<quint8>(encoded[0]) != ProtocolVersion) {
        return std::nullopt;
    }
    return qFromBigEndian<qint32>(encoded.constData() + 1);
}

void SendAnswer(QLocalSocket *socket, int answer)
{
    if (answer != SingleInstance::NoButton) {
        socket->write(EncodeAnswer(answer));
        socket->flush();
    }
    socket->disconnectFromServer();
}

} // namespace

SingleInstance::SingleInstance(const QString &caption, QObject *parent)
    : QObject(parent), folder_(PrivateFolder(caption)), name_(ChannelName(caption))
{
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::server_NewConnection);
}

bool SingleInstance::Claim()
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
    // Holding the lock, any socket file left here belongs to a dead instance.
    QLocalServer::removeServer(SocketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(SocketPath());
    return true;
}

std::optional<int> SingleInstance::HandOver(const QString &buttonCaption)
{
    if (folder_.isEmpty()) {
        return std::nullopt;
    }
    const std::unique_ptr<QLocalSocket> socket = ConnectToRunningInstance();
    if (!socket) {
        return std::nullopt;
    }
    socket->write(EncodeRequest(buttonCaption));
    if (!socket->waitForBytesWritten(-1)) {
        return std::nullopt;
    }
    // No time limit while connected: the running instance may be showing its logon dialogs.
    while (socket->bytesAvailable() < AnswerSize) {
        if (!socket->waitForReadyRead(-1)) {
            return std::nullopt;
        }
    }
    return DecodeAnswer(socket->read(AnswerSize));
}

void SingleInstance::SetClickHandler(std::function<int(const QString &buttonCaption)> handler)
{
    clickHandler_ = std::move(handler);
    QMetaObject::invokeMethod(this, &SingleInstance::HandleRequests, Qt::QueuedConnection);
}

QString SingleInstance::LockPath() const
{
    return folder_ + u'/' + name_ + QStringLiteral(".lock");
}

QString SingleInstance::SocketPath() const
{
    return folder_ + u'/' + name_ + QStringLiteral(".socket");
}

// True while the lock file names a live process, or is there but not yet filled in by the
// process that is creating it.
bool SingleInstance::RunningInstanceHoldsLock() const
{
    qint64 pid = 0;
    if (!QLockFile(LockPath()).getLockInfo(&pid, nullptr, nullptr)) {
        return QFile::exists(LockPath());
    }
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

std::unique_ptr<QLocalSocket> SingleInstance::ConnectToRunningInstance() const
{
    const QDeadlineTimer deadline(ListenWaitMs);
    for (;;) {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(SocketPath());
        if (socket->waitForConnected(ConnectTimeoutMs)) {
            return socket;
        }
        if (deadline.hasExpired() || !RunningInstanceHoldsLock()) {
            return nullptr;
        }
        QThread::msleep(RetryPauseMs);
    }
}

void SingleInstance::server_NewConnection()
{
    while (QLocalSocket *socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { ReadRequest(socket); });
        ReadRequest(socket);
    }
}

void SingleInstance::ReadRequest(QLocalSocket *socket)
{
    const QByteArray header = socket->peek(RequestHeaderSize);
    if (header.size() < RequestHeaderSize) {
        return;
    }
    const quint32 captionSize = qFromBigEndian<quint32>(header.constData() + 1);
    if (static_cast<quint8>(header[0]) != ProtocolVersion || captionSize > MaxCaptionSize) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < RequestHeaderSize + captionSize) {
        return;
    }
    socket->skip(RequestHeaderSize);
    const QString buttonCaption = QString::fromUtf8(socket->read(captionSize));
    disconnect(socket, nullptr, this, nullptr);
    requests_.push_back({socket, buttonCaption});
    // The handler runs from the event loop, never inside a socket's signal: its nested loops may
    // delete that very socket.
    QMetaObject::invokeMethod(this, &SingleInstance::HandleRequests, Qt::QueuedConnection);
}

void SingleInstance::HandleRequests()
{
    if (handling_ || !clickHandler_) {
        return;
    }
    handling_ = true;
    while (!requests_.empty()) {
        const Request request = requests_.front();
        requests_.pop_front();
        const int answer = clickHandler_(request.buttonCaption);
        if (request.socket) {
            SendAnswer(request.socket, answer);
        }
    }
    handling_ = false;
}
