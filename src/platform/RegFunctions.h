#pragma once

#include <QString>

#include <cstdint>

// modRegFunctions: create a key, read and write a text or a 32-bit number, delete a value, in the settings
// file (SettingsStore.h), except the Run key's value "Tarnwick", which is the XDG autostart entry
// (AutostartEntry.h). A key is a path of key names joined by "\" below the root, which is always
// Registry::HKEY_CURRENT_USER: the settings belong to the one user who runs the program. None raises: failures end
// in false or in the caller's default.

namespace Registry {

constexpr std::int32_t HKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001);
// The key whose value "Tarnwick" is the XDG autostart entry rather than a stored value.
constexpr QStringView RunKeyPath = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

} // namespace Registry

// True when values can be written under the key (keys need no creating; SettingsStore::CanWrite).
bool CreateRegKey(const QString &subKey, const QString &keyClass, const std::int32_t &root);
// The text, every 16-bit unit of it, or a number's decimal digits; the default when there is no such value
// and when the text has 1024 units or more (what a 1024-unit buffer cannot hold with a terminating zero). The Run
// key's value reads as the empty text while the autostart entry is there and not hidden.
QString GetRegString(const QString &subKey, const QString &valueName, const QString &defaultText,
                     const std::int32_t &root);
// Writes a text value; true when written. False for a text the settings file cannot keep exactly. Written to the
// Run key's value, the text is the program the autostart entry starts.
bool SetRegString(const QString &subKey, const QString &valueName, const QString &text, const std::int32_t &root);
// The number; the default when there is no such value or it is not a decimal 32-bit number.
std::int32_t GetRegLong(const QString &subKey, const QString &valueName, const std::int32_t &defaultNumber,
                        const std::int32_t &root);
// Writes a 32-bit number; true when written.
bool SetRegLong(const QString &subKey, const QString &valueName, std::int32_t number, const std::int32_t &root);
// True when the value existed and was deleted.
bool DeleteRegValue(const QString &subKey, const QString &valueName, const std::int32_t &root);
