#include "RegFunctions.h"

#include "AutostartEntry.h"
#include "SettingsStore.h"

#include <optional>

namespace {

constexpr qsizetype LongestText = 1023;

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

bool IsAutostartValue(const QString &keyPath, const QString &valueName)
{
    return keyPath.compare(Registry::RunKeyPath, Qt::CaseInsensitive) == 0 &&
           valueName.compare(u"Tarnwick", Qt::CaseInsensitive) == 0;
}

std::optional<QString> ReadValue(const QString &subKey, const QString &valueName, std::int32_t root)
{
    const std::optional<QString> keyPath = Registry::KeyPath(root, subKey);
    if (!keyPath) {
        return std::nullopt;
    }
    return IsAutostartValue(*keyPath, valueName) ? ReadAutostartCommand() : SettingsStore::Read(*keyPath, valueName);
}

bool WriteValue(const QString &subKey, const QString &valueName, const SettingsStore::Value &value, std::int32_t root)
{
    const std::optional<QString> keyPath = Registry::KeyPath(root, subKey);
    if (!keyPath) {
        return false;
    }
    if (!IsAutostartValue(*keyPath, valueName)) {
        return SettingsStore::Write(*keyPath, valueName, value);
    }
    const QString *command = std::get_if<QString>(&value);
    return command && WriteAutostartEntry(*command);
}

} // namespace

bool CreateRegKey(const QString &subKey, const QString &, const std::int32_t &root)
{
    return EndQuietly(false, [&] {
        const std::optional<QString> keyPath = Registry::KeyPath(root, subKey);
        return keyPath && SettingsStore::CanWrite(*keyPath);
    });
}

QString GetRegString(const QString &subKey, const QString &valueName, const QString &defaultText,
                     const std::int32_t &root)
{
    return EndQuietly(defaultText, [&] {
        const std::optional<QString> text = ReadValue(subKey, valueName, root);
        return text && text->size() <= LongestText ? *text : defaultText;
    });
}

bool SetRegString(const QString &subKey, const QString &valueName, const QString &text, const std::int32_t &root)
{
    return EndQuietly(false, [&] { return WriteValue(subKey, valueName, text, root); });
}

std::int32_t GetRegLong(const QString &subKey, const QString &valueName, const std::int32_t &defaultNumber,
                        const std::int32_t &root)
{
    return EndQuietly(defaultNumber, [&] {
        const std::optional<QString> text = ReadValue(subKey, valueName, root);
        bool isNumber = false;
        const std::int32_t number = text ? text->toInt(&isNumber) : 0;
        return isNumber ? number : defaultNumber;
    });
}

bool SetRegLong(const QString &subKey, const QString &valueName, std::int32_t number, const std::int32_t &root)
{
    return EndQuietly(false, [&] { return WriteValue(subKey, valueName, number, root); });
}

bool DeleteRegValue(const QString &subKey, const QString &valueName, const std::int32_t &root)
{
    return EndQuietly(false, [&] {
        const std::optional<QString> keyPath = Registry::KeyPath(root, subKey);
        if (!keyPath) {
            return false;
        }
        if (IsAutostartValue(*keyPath, valueName)) {
            return ReadAutostartCommand() && RemoveAutostartEntry();
        }
        return SettingsStore::Remove(*keyPath, valueName);
    });
}
