#pragma once

#include <QLockFile>
#include <QString>

// Decides which process is the running instance: the one that holds the lock file `name`.lock in the folder the
// caller gives, a private folder of this user. A lock left by a process that ended is taken over; a live holder's
// lock never ages into a stale one, however long it runs.
class InstanceLock
{
public:
    InstanceLock(const QString &folder, const QString &name);

    enum class Holder
    {
        ThisProcess,    // this process became the running instance
        AnotherProcess, // another live process holds the lock
        Nobody          // no lock can be had there (the file cannot be made, say)
    };
    // Call once.
    Holder Claim();

    // For a second start: true while the lock file names a live process, or is there but not yet filled in by the
    // process that is creating it.
    bool HolderLives() const;

private:
    QLockFile lock_;
};
