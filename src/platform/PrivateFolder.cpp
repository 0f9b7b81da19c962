#include "PrivateFolder.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

bool IsPrivateFolder(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return false;
    }
    return S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() && (status.st_mode & 077) == 0;
}

QString FolderProblem(const QString &path)
{
    struct stat status = {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        return QString();
    }
    if (S_ISLNK(status.st_mode)) {
        return path + QStringLiteral(" is a symbolic link");
    }
    if (!S_ISDIR(status.st_mode)) {
        return path + QStringLiteral(" is not a folder");
    }
    if (status.st_uid != ::geteuid()) {
        return path + QStringLiteral(" belongs to another user");
    }
    if ((status.st_mode & 07777) != 0700) {
        return path + QStringLiteral(" has mode %1, not 0700").arg(status.st_mode & 07777, 4, 8, QLatin1Char('0'));
    }
    return QString();
}

OwnFolder MakeOwnFolder(const QString &parent, const QString &name)
{
    QDir().mkpath(parent);
    const QString own = parent + u'/' + name;
    ::mkdir(QFile::encodeName(own).constData(), 0700);
    const QString problem = FolderProblem(own);
    return {problem.isEmpty() && IsPrivateFolder(own) ? own : QString(), problem};
}
