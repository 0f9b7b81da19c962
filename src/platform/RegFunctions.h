#pragma once

#include "Registry.h"

#include <QString>

#include <cstdint>

// modRegFunctions: create a key, read and write a text or a 32-bit value, delete a value. Each function opens
// the key it works on (the sub-key path below the root, a root being HKEY_CURRENT_USER or a handle the caller
// opened with RegOpenKeyExA), does one thing and closes the key again. None raises: failures end in false or
// in the caller's default. Text is converted to and from local 8-bit bytes. The registry calls themselves,
// RegOpenKeyExA and RegCloseKey among them, come from Registry.h.

// True when the key exists afterwards, created now or before; an existing key keeps its values.
bool CreateRegKey(const QString &subKey, const QString &keyClass, const std::int32_t &root);
// The text up to its first NUL; the default when the key or the value cannot be read, and when the text
// takes 1024 bytes or more (a 1024-byte buffer holds it with its terminating zero).
QString GetRegString(const QString &subKey, const QString &valueName, const QString &defaultText,
                     const std::int32_t &root);
// Writes a text value, creating the key when missing; true when written.
bool SetRegString(const QString &subKey, const QString &valueName, const QString &text, const std::int32_t &root);
// The value's first four bytes as a little-endian number (a shorter value leaves the high bytes zero); the
// default when the key or the value cannot be read or the value is longer than four bytes.
std::int32_t GetRegLong(const QString &subKey, const QString &valueName, const std::int32_t &defaultNumber,
                        const std::int32_t &root);
// Writes a 32-bit value, creating the key when missing; true when written.
bool SetRegLong(const QString &subKey, const QString &valueName, std::int32_t number, const std::int32_t &root);
// True when the value existed and was deleted.
bool DeleteRegValue(const QString &subKey, const QString &valueName, const std::int32_t &root);
