#pragma once

#include <QString>

#include <cstdint>
#include <optional>

// The registry names and the two handle calls the window code uses to reach the program's key one level at a
// time. They live in a namespace so that they cannot meet the real ones of a Windows build.
//
// Keys are groups of the settings file (SettingsStore.h), which need no creating: every key opens. A key path
// is key names joined by "\"; the empty path names the key itself, and a path with an empty name in it (a
// leading, trailing or doubled "\") is refused. Key handles are 32-bit numbers as on Windows:
// HKEY_CURRENT_USER is the root and always open; others come from RegOpenKeyExA and stay valid until
// RegCloseKey. Results are Windows error codes, ERROR_SUCCESS (0) when the call did what was asked.
namespace Registry {

constexpr std::int32_t HKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001);
constexpr std::int32_t KEY_WRITE = 0x20006;
constexpr std::int32_t ERROR_SUCCESS = 0;
constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;

// The key whose value "Tarnwick" is the XDG autostart entry (AutostartEntry.h) rather than a stored value.
constexpr QStringView RunKeyPath = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Opens the sub-key below an open key into result. The options and the access rights are accepted and not
// kept: the settings belong to the one user who runs the program.
std::int32_t RegOpenKeyExA(std::int32_t key, const QString &subKey, std::int32_t options, std::int32_t access,
                           std::int32_t &result);
// ERROR_INVALID_HANDLE for a handle that is not open.
std::int32_t RegCloseKey(std::int32_t key);

// The path, below the root, of the sub-key below an open key; nothing for a handle that is not open and for a
// refused path.
std::optional<QString> KeyPath(std::int32_t key, const QString &subKey);

} // namespace Registry
