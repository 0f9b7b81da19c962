#pragma once

#include <QString>

// Where this user's running instance on this display keeps its lock and its hand-over socket: $XDG_RUNTIME_DIR when
// that is a private folder of this user, else a folder of our own under the user's cache folder ($XDG_CACHE_HOME or
// ~/.cache), used only while it is a real directory owned by this user with mode 0700; never a folder others share.
struct InstanceFolder
{
    QString path; // empty when none can be made: the program then runs unreachable
    // The lock's and the socket's name without suffix: the caption and the display, one running instance per display.
    QString name;
    // Why what stands where the folder of our own belongs may not be used: a symbolic link, a file, another user's
    // folder or one open to others, named with its path. The process must not go on when there is one.
    QString problem;
};

// The caption ("Tarnwick") names the folder of our own, the lock and the socket.
InstanceFolder ChooseInstanceFolder(const QString &caption);
