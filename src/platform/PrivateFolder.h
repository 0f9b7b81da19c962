#pragma once

#include <QString>

// Folders of the user's alone, which no one else can have made or entered.

// A real directory (not a link), owned by the effective user, closed to group and others.
bool IsPrivateFolder(const QString &path);
// What is wrong with what stands at the path, for a folder of our own that should be private: a link, something
// else than a folder, another user's, one open to others; empty when nothing stands there or it is fine.
QString FolderProblem(const QString &path);
// The folder `name` in `parent` (made when missing, with mode 0700, the parent's missing folders with the user's
// umask): its path, or why it may not be used.
struct OwnFolder
{
    QString path;    // empty when there is none to use
    QString problem; // why a folder that stands there may not be used
};
OwnFolder MakeOwnFolder(const QString &parent, const QString &name);
