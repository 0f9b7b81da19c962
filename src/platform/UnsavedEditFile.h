#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Where an edit that could not be saved when the program ended without asking waits for the user's next logon: a
// file of mode 0600 per database, in the user's state folder ($XDG_STATE_HOME/Tarnwick, else
// ~/.local/state/Tarnwick), which must be a folder of the user's alone (mode 0700). No function raises.
namespace UnsavedEditFile {

// The file for the database at this path.
QString PathFor(const QString &database);
// Puts the bytes in the file, whole or not at all; why it could not, when it could not.
std::optional<QString> Write(const QString &database, const QByteArray &bytes);
// What the file holds; nothing when there is none, or anything but such a file stands at its path.
std::optional<QByteArray> Read(const QString &database);
void Remove(const QString &database);

} // namespace UnsavedEditFile
