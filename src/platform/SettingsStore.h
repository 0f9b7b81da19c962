#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

// The per-user settings: the INI file Tarnwick/Tarnwick.ini in the XDG config folder (as it is at each call),
// read and written through QSettings.
//
// A key path ("Software\Quillmoor\Tarnwick") is a QSettings group ("Software/Quillmoor/Tarnwick"), which
// QSettings writes as a section named after the first key and entries holding the rest:
//     [Software]
//     Quillmoor\Tarnwick\FormStartX=1440
// A key path with an empty name in it, and a name holding "/", are refused. A number is written as its decimal
// digits, a text as QSettings writes a text, every 16-bit unit kept. The file keeps no type beside a value: a
// number reads back as its digits.
//
// The file is used only when it is absent or a regular file of at most 16 KiB (the program's own holds a few
// hundred bytes, and QSettings takes far longer than start-up allows to read some larger files). Anything else at
// its path (a symbolic link, a FIFO, a folder, a device, a socket, a larger file) is left alone: it reads as no
// values and every write fails; a link is not followed and a FIFO not waited on, and the file a link points to
// stays as it was. A write replaces the file with a complete new one, so a crash leaves the old file or the new
// one.
//
// No function raises.
namespace SettingsStore {

using Value = std::variant<QString, std::int32_t>;

QString FilePath();

// The value as text, a number as its decimal digits; nothing when there is none or it is neither.
std::optional<QString> Read(const QString &keyPath, const QString &name);
// Writes the value, replacing one of the same name; true when written. A text the file cannot keep exactly
// (an unpaired surrogate, or U+FEFF first, which QSettings drops) is refused.
bool Write(const QString &keyPath, const QString &name, const Value &value);
// True when the value existed and was removed.
bool Remove(const QString &keyPath, const QString &name);
// True when values can be written under the key: its names are accepted and the file can be written (its
// folder is created when missing).
bool CanWrite(const QString &keyPath);

} // namespace SettingsStore
