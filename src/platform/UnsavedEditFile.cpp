#include "UnsavedEditFile.h"

#include "PrivateFolder.h"
#include "RegularFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace UnsavedEditFile {

namespace {

// An account's comment may hold many megabytes, each unit kept as four digits.
constexpr qint64 LargestFile = qint64(1) << 30;

QString StateFolder()
{
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    return QDir::isAbsolutePath(state) ? state : QDir::homePath() + QStringLiteral("/.local/state");
}

QString FileName(const QString &database)
{
    const QByteArray digest = QCryptographicHash::hash(QFile::encodeName(database), QCryptographicHash::Sha256);
    return QStringLiteral("unsaved-") + QString::fromLatin1(digest.toHex().left(16));
}

bool WriteAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t written = ::write(fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (written < 0 && errno != EINTR)
            return false;
        done += written > 0 ? written : 0;
    }
    return true;
}

} // namespace

QString PathFor(const QString &database)
{
    return StateFolder() + QStringLiteral("/Tarnwick/") + FileName(database);
}

std::optional<QString> Write(const QString &database, const QByteArray &bytes)
{
    const OwnFolder folder = MakeOwnFolder(StateFolder(), QStringLiteral("Tarnwick"));
    if (folder.path.isEmpty())
        return folder.problem.isEmpty() ? StateFolder() + QStringLiteral("/Tarnwick cannot be made") : folder.problem;
    // Made beside and renamed into place: a crash leaves the old file or the new one.
    QByteArray temporary = QFile::encodeName(PathFor(database)) + ".new-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    const bool written = ::fchmod(fd, 0600) == 0 && WriteAll(fd, bytes) && ::fsync(fd) == 0 &&
                         ::rename(temporary.constData(), QFile::encodeName(PathFor(database)).constData()) == 0;
    const int error = errno;
    ::close(fd);
    if (written)
        return std::nullopt;
    ::unlink(temporary.constData());
    return QString::fromLocal8Bit(std::strerror(error));
}

std::optional<QByteArray> Read(const QString &database)
{
    if (!IsPrivateFolder(StateFolder() + QStringLiteral("/Tarnwick")))
        return std::nullopt;
    const std::optional<RegularFile> file = RegularFile::Open(PathFor(database), LargestFile);
    return file ? file->ReadAll() : std::nullopt;
}

void Remove(const QString &database)
{
    ::unlink(QFile::encodeName(PathFor(database)).constData());
}

} // namespace UnsavedEditFile
