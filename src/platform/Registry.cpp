#include "Registry.h"

#include "AutostartEntry.h"
#include "SettingsStore.h"

#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <map>
#include <optional>

namespace {

constexpr QStringView AutostartValueName = u"Tarnwick";
// Handles count up in steps of four from here, as Windows hands them out, and are reused once closed.
constexpr std::int32_t FirstHandle = 0x100;
constexpr std::int32_t HandleStep = 4;

// The path of every open key by its handle. Handles belong to the process, as on Windows.
std::map<std::int32_t, QString> &OpenKeys()
{
    static std::map<std::int32_t, QString> openKeys;
    return openKeys;
}

std::optional<QString> OpenKeyPath(std::int32_t key)
{
    if (key == HKEY_CURRENT_USER) {
        return QString();
    }
    const auto found = OpenKeys().find(key);
    if (found == OpenKeys().end()) {
        return std::nullopt;
    }
    return found->second;
}

std::int32_t AddOpenKey(const QString &keyPath)
{
    std::int32_t handle = FirstHandle;
    while (OpenKeys().contains(handle)) {
        handle += HandleStep;
    }
    OpenKeys().emplace(handle, keyPath);
    return handle;
}

// Sets keyPath to the path of the sub-key below an open key.
std::int32_t FindSubKeyPath(std::int32_t key, const QString &subKey, QString &keyPath)
{
    const std::optional<QString> parent = OpenKeyPath(key);
    if (!parent) {
        return ERROR_INVALID_HANDLE;
    }
    if (subKey.isEmpty()) {
        keyPath = *parent;
    } else if (subKey.split(u'\\').contains(QString())) {
        return ERROR_INVALID_PARAMETER;
    } else {
        keyPath = parent->isEmpty() ? subKey : *parent + u'\\' + subKey;
    }
    return ERROR_SUCCESS;
}

bool IsRunKeyOrAbove(const QString &keyPath)
{
    return keyPath.compare(RunKeyPath, Qt::CaseInsensitive) == 0 ||
           RunKeyPath.startsWith(keyPath + u'\\', Qt::CaseInsensitive);
}

bool KeyExists(const QString &keyPath)
{
    return IsRunKeyOrAbove(keyPath) || SettingsStore().KeyExists(keyPath);
}

bool IsAutostartValue(const QString &keyPath, const QString &valueName)
{
    return keyPath.compare(RunKeyPath, Qt::CaseInsensitive) == 0 &&
           valueName.compare(AutostartValueName, Qt::CaseInsensitive) == 0;
}

std::optional<SettingsStore::Value> ReadValue(const QString &keyPath, const QString &valueName)
{
    if (!IsAutostartValue(keyPath, valueName)) {
        return SettingsStore().ReadValue(keyPath, valueName);
    }
    const std::optional<QString> command = ReadAutostartCommand();
    if (!command) {
        return std::nullopt;
    }
    return *command;
}

// The value the data stands for; a text loses its terminating zero byte.
std::optional<SettingsStore::Value> ValueOfData(std::int32_t type, std::span<const char> data)
{
    if (type == REG_SZ) {
        const std::size_t length = !data.empty() && data.back() == '\0' ? data.size() - 1 : data.size();
        return QString::fromLocal8Bit(data.data(), static_cast<qsizetype>(length));
    }
    if (type == REG_DWORD && data.size() == 4) {
        return qFromLittleEndian<std::uint32_t>(data.data());
    }
    return std::nullopt;
}

QByteArray DataOfValue(const SettingsStore::Value &value, std::int32_t &type)
{
    if (const QString *text = std::get_if<QString>(&value)) {
        type = REG_SZ;
        return text->toLocal8Bit() + '\0';
    }
    type = REG_DWORD;
    QByteArray data(4, '\0');
    qToLittleEndian(std::get<std::uint32_t>(value), data.data());
    return data;
}

} // namespace

std::int32_t RegCreateKeyExA(std::int32_t key, const QString &subKey, const QString &, std::int32_t, std::int32_t,
                             std::int32_t &result)
{
    QString keyPath;
    if (const std::int32_t error = FindSubKeyPath(key, subKey, keyPath); error != ERROR_SUCCESS) {
        return error;
    }
    if (!KeyExists(keyPath) && !SettingsStore().CreateKey(keyPath)) {
        return ERROR_WRITE_FAULT;
    }
    result = AddOpenKey(keyPath);
    return ERROR_SUCCESS;
}

std::int32_t RegOpenKeyExA(std::int32_t key, const QString &subKey, std::int32_t, std::int32_t, std::int32_t &result)
{
    QString keyPath;
    if (const std::int32_t error = FindSubKeyPath(key, subKey, keyPath); error != ERROR_SUCCESS) {
        return error;
    }
    if (!KeyExists(keyPath)) {
        return ERROR_FILE_NOT_FOUND;
    }
    result = AddOpenKey(keyPath);
    return ERROR_SUCCESS;
}

std::int32_t RegQueryValueExA(std::int32_t key, const QString &valueName, std::int32_t &type, std::span<char> data,
                              std::int32_t &size)
{
    const std::optional<QString> keyPath = OpenKeyPath(key);
    if (!keyPath) {
        return ERROR_INVALID_HANDLE;
    }
    const std::optional<SettingsStore::Value> value = ReadValue(*keyPath, valueName);
    if (!value) {
        return ERROR_FILE_NOT_FOUND;
    }
    const QByteArray bytes = DataOfValue(*value, type);
    size = static_cast<std::int32_t>(bytes.size());
    if (static_cast<std::size_t>(bytes.size()) > data.size()) {
        return ERROR_MORE_DATA;
    }
    std::copy(bytes.begin(), bytes.end(), data.begin());
    return ERROR_SUCCESS;
}

std::int32_t RegSetValueExA(std::int32_t key, const QString &valueName, std::int32_t type, std::span<const char> data)
{
    const std::optional<QString> keyPath = OpenKeyPath(key);
    if (!keyPath) {
        return ERROR_INVALID_HANDLE;
    }
    const std::optional<SettingsStore::Value> value = ValueOfData(type, data);
    if (!value) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!IsAutostartValue(*keyPath, valueName)) {
        return SettingsStore().WriteValue(*keyPath, valueName, *value) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
    }
    const QString *command = std::get_if<QString>(&*value);
    if (!command) {
        return ERROR_INVALID_PARAMETER;
    }
    return WriteAutostartEntry(*command) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

std::int32_t RegDeleteValueA(std::int32_t key, const QString &valueName)
{
    const std::optional<QString> keyPath = OpenKeyPath(key);
    if (!keyPath) {
        return ERROR_INVALID_HANDLE;
    }
    if (!ReadValue(*keyPath, valueName)) {
        return ERROR_FILE_NOT_FOUND;
    }
    const bool deleted = IsAutostartValue(*keyPath, valueName) ? RemoveAutostartEntry()
                                                               : SettingsStore().DeleteValue(*keyPath, valueName);
    return deleted ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

std::int32_t RegCloseKey(std::int32_t key)
{
    if (key == HKEY_CURRENT_USER) {
        return ERROR_SUCCESS;
    }
    return OpenKeys().erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}
