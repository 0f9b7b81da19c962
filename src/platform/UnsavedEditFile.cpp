#include "UnsavedEditFile.h"

#include "PrivateFolder.h"
#include "RegularFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSaveFile>

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
    // Written beside and renamed into place: a crash leaves the old file or the new one.
    QSaveFile file(PathFor(database));
    const bool written = file.open(QIODevice::WriteOnly) &&
                         file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(bytes) == bytes.size() && file.commit();
    return written ? std::nullopt : std::optional<QString>(file.errorString());
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
