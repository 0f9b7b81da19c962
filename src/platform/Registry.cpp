#include "Registry.h"

#include <QStringList>

#include <map>

namespace Registry {

namespace {

// Handles count up in steps of four from here, as Windows hands them out, and are reused once closed.
constexpr std::int32_t FirstHandle = 0x100;
constexpr std::int32_t HandleStep = 4;

// The path of every open key by its handle. Handles belong to the process, as on Windows.
std::map<std::int32_t, QString> &OpenKeys()
{
    static std::map<std::int32_t, QString> openKeys;
    return openKeys;
}

} // namespace

std::optional<QString> KeyPath(std::int32_t key, const QString &subKey)
{
    QString parent;
    if (key != HKEY_CURRENT_USER) {
        const auto found = OpenKeys().find(key);
        if (found == OpenKeys().end()) {
            return std::nullopt;
        }
        parent = found->second;
    }
    if (subKey.isEmpty()) {
        return parent;
    }
    if (subKey.split(u'\\').contains(QString())) {
        return std::nullopt;
    }
    return parent.isEmpty() ? subKey : parent + u'\\' + subKey;
}

std::int32_t RegOpenKeyExA(std::int32_t key, const QString &subKey, std::int32_t, std::int32_t, std::int32_t &result)
{
    const std::optional<QString> keyPath = KeyPath(key, subKey);
    if (!keyPath) {
        return KeyPath(key, QString()) ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE;
    }
    std::int32_t handle = FirstHandle;
    while (OpenKeys().contains(handle)) {
        handle += HandleStep;
    }
    OpenKeys().emplace(handle, *keyPath);
    result = handle;
    return ERROR_SUCCESS;
}

std::int32_t RegCloseKey(std::int32_t key)
{
    if (key == HKEY_CURRENT_USER) {
        return ERROR_SUCCESS;
    }
    return OpenKeys().erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

} // namespace Registry
