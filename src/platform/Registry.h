#pragma once

#include <QString>

#include <cstdint>
#include <span>

// The advapi32 registry calls the program makes, over the per-user settings store (SettingsStore).
//
// Key handles are 32-bit numbers as on Windows: HKEY_CURRENT_USER is the store's root and is always open;
// other handles come from RegCreateKeyExA and RegOpenKeyExA and stay valid until RegCloseKey. A sub-key path
// is key names joined by "\"; the empty path names the key itself, and a path with an empty name in it
// (a leading, trailing or doubled "\") is refused.
//
// The value "Tarnwick" under the Run key (RunKeyPath) is the XDG autostart entry (AutostartEntry.h); the Run
// key and the keys above it always exist, as they do on Windows. Other values live in the store.
//
// Text (REG_SZ) data is the text's local 8-bit bytes and a terminating zero byte; a 32-bit number
// (REG_DWORD) is four bytes, little-endian. The options, the access rights and the class of a new key are
// accepted and not kept: the store belongs to the one user who runs the program. Results are Windows error
// codes, ERROR_SUCCESS (0) when the call did what was asked.

constexpr std::int32_t HKEY_CURRENT_USER = static_cast<std::int32_t>(0x80000001);

constexpr std::int32_t KEY_WRITE = 0x20006;
constexpr std::int32_t KEY_ALL_ACCESS = 0xF003F;
constexpr std::int32_t REG_OPTION_NON_VOLATILE = 0;
constexpr std::int32_t REG_SZ = 1;
constexpr std::int32_t REG_DWORD = 4;

constexpr std::int32_t ERROR_SUCCESS = 0;
constexpr std::int32_t ERROR_FILE_NOT_FOUND = 2;
constexpr std::int32_t ERROR_INVALID_HANDLE = 6;
constexpr std::int32_t ERROR_WRITE_FAULT = 29;
constexpr std::int32_t ERROR_INVALID_PARAMETER = 87;
constexpr std::int32_t ERROR_MORE_DATA = 234;

constexpr QStringView RunKeyPath = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Opens the sub-key, creating it (and the keys above it) when missing, into result.
std::int32_t RegCreateKeyExA(std::int32_t key, const QString &subKey, const QString &keyClass, std::int32_t options,
                             std::int32_t access, std::int32_t &result);
// Opens an existing sub-key into result; ERROR_FILE_NOT_FOUND when there is none.
std::int32_t RegOpenKeyExA(std::int32_t key, const QString &subKey, std::int32_t options, std::int32_t access,
                           std::int32_t &result);
// Sets type and size (in bytes) of the named value and copies its bytes to the start of data when they fit in
// it;
// ERROR_MORE_DATA, with data untouched, when they do not; ERROR_FILE_NOT_FOUND when there is no such value.
std::int32_t RegQueryValueExA(std::int32_t key, const QString &valueName, std::int32_t &type, std::span<char> data,
                              std::int32_t &size);
// Writes the named value. ERROR_INVALID_PARAMETER for a type other than REG_SZ and REG_DWORD, for REG_DWORD
// data of other than four bytes and for a number as the autostart entry; ERROR_WRITE_FAULT when the value
// could not be written, also for a command the autostart entry cannot carry.
std::int32_t RegSetValueExA(std::int32_t key, const QString &valueName, std::int32_t type, std::span<const char> data);
// ERROR_FILE_NOT_FOUND when there is no such value.
std::int32_t RegDeleteValueA(std::int32_t key, const QString &valueName);
// ERROR_INVALID_HANDLE for a handle that is not open.
std::int32_t RegCloseKey(std::int32_t key);
