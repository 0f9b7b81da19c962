#include "RegFunctions.h"

#include <QByteArray>
#include <QtEndian>

#include <algorithm>
#include <array>
#include <span>

namespace {

constexpr std::size_t TextBufferSize = 1024;

// Runs the work and gives its result, or the fallback when anything in it raised: these functions end
// quietly whatever happens.
template <typename Result, typename Work> Result EndQuietly(const Result &fallback, Work work)
{
    try {
        return work();
    } catch (...) {
        return fallback;
    }
}

// The procedure SetRegString and SetRegLong share: open the key, creating it when missing, and write.
bool SetRegValue(const QString &subKey, const QString &valueName, std::int32_t type, std::span<const char> data,
                 const std::int32_t &root)
{
    std::int32_t key = 0;
    if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
        if (!CreateRegKey(subKey, QString(), root)) {
            return false;
        }
        if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
            return false;
        }
    }
    const bool written = RegSetValueExA(key, valueName, type, data) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

} // namespace

bool CreateRegKey(const QString &subKey, const QString &keyClass, const std::int32_t &root)
{
    return EndQuietly(false, [&] {
        std::int32_t key = 0;
        if (RegCreateKeyExA(root, subKey, keyClass, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    });
}

QString GetRegString(const QString &subKey, const QString &valueName, const QString &defaultText,
                     const std::int32_t &root)
{
    return EndQuietly(defaultText, [&] {
        std::int32_t key = 0;
        if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
            return defaultText;
        }
        std::array<char, TextBufferSize> buffer{};
        std::int32_t type = 0;
        std::int32_t size = 0;
        const bool read = RegQueryValueExA(key, valueName, type, buffer, size) == ERROR_SUCCESS;
        RegCloseKey(key);
        const auto end = std::find(buffer.begin(), buffer.end(), '\0');
        if (!read || end == buffer.end()) {
            return defaultText;
        }
        return QString::fromLocal8Bit(buffer.data(), end - buffer.begin());
    });
}

bool SetRegString(const QString &subKey, const QString &valueName, const QString &text, const std::int32_t &root)
{
    return EndQuietly(false, [&] {
        const QByteArray data = text.toLocal8Bit() + '\0';
        return SetRegValue(subKey, valueName, REG_SZ, data, root);
    });
}

std::int32_t GetRegLong(const QString &subKey, const QString &valueName, const std::int32_t &defaultNumber,
                        const std::int32_t &root)
{
    return EndQuietly(defaultNumber, [&] {
        std::int32_t key = 0;
        if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
            return defaultNumber;
        }
        std::array<char, 4> buffer{};
        std::int32_t type = 0;
        std::int32_t size = 0;
        const bool read = RegQueryValueExA(key, valueName, type, buffer, size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return read ? qFromLittleEndian<std::int32_t>(buffer.data()) : defaultNumber;
    });
}

bool SetRegLong(const QString &subKey, const QString &valueName, std::int32_t number, const std::int32_t &root)
{
    return EndQuietly(false, [&] {
        std::array<char, 4> data{};
        qToLittleEndian(number, data.data());
        return SetRegValue(subKey, valueName, REG_DWORD, data, root);
    });
}

bool DeleteRegValue(const QString &subKey, const QString &valueName, const std::int32_t &root)
{
    return EndQuietly(false, [&] {
        std::int32_t key = 0;
        if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, key) != ERROR_SUCCESS) {
            return false;
        }
        const bool deleted = RegDeleteValueA(key, valueName) == ERROR_SUCCESS;
        RegCloseKey(key);
        return deleted;
    });
}
