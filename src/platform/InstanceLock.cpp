#include "InstanceLock.h"

#include <QFile>

#include <cerrno>
#include <csignal>

InstanceLock::InstanceLock(const QString &folder, const QString &name)
    : lock_(folder + u'/' + name + QStringLiteral(".lock"))
{
    // Only a dead holder makes the lock stale.
    lock_.setStaleLockTime(0);
}

InstanceLock::Holder InstanceLock::Claim()
{
    if (lock_.tryLock(0)) {
        return Holder::ThisProcess;
    }
    return lock_.error() == QLockFile::LockFailedError ? Holder::AnotherProcess : Holder::Nobody;
}

bool InstanceLock::HolderLives() const
{
    qint64 pid = 0;
    if (!lock_.getLockInfo(&pid, nullptr, nullptr)) {
        return QFile::exists(lock_.fileName());
    }
    return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}
