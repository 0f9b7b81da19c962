#pragma once

#include "Registry.h"

#include <QString>

#include <cstdint>

// modRegFunctions: create a key, read and write a text or a 32-bit number, delete a value, in the settings
// file (SettingsStore.h), except the Run key's value "Tarnwick" (Registry::RunKeyPath), which is the XDG
// autostart entry (AutostartEntry.h) and holds a text only. A key is the sub-key path below a root, the root
// being Registry::HKEY_CURRENT_USER or a handle opened with Registry::RegOpenKeyExA. None raises: failures end
// in false or in the caller's default.

// True when values can be written under the key (keys need no creating; SettingsStore::CanWrite).
bool CreateRegKey(const QString &subKey, const QString &keyClass, const std::int32_t &root);
// The text, every 16-bit unit of it, or a number's decimal digits; the default when there is no such value
// and when the text has 1024 units or more (what a 1024-unit buffer cannot hold with a terminating zero).
QString GetRegString(const QString &subKey, const QString &valueName, const QString &defaultText,
                     const std::int32_t &root);
// Writes a text value; true when written. False for a text the settings file cannot keep exactly.
bool SetRegString(const QString &subKey, const QString &valueName, const QString &text, const std::int32_t &root);
// The number; the default when there is no such value or it is not a decimal 32-bit number.
std::int32_t GetRegLong(const QString &subKey, const QString &valueName, const std::int32_t &defaultNumber,
                        const std::int32_t &root);
// Writes a 32-bit number; true when written.
bool SetRegLong(const QString &subKey, const QString &valueName, std::int32_t number, const std::int32_t &root);
// True when the value existed and was deleted.
bool DeleteRegValue(const QString &subKey, const QString &valueName, const std::int32_t &root);
