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

bool IsAutostartValue(const QString &subKey, const QString &valueName)
{
    return subKey == Registry::RunKeyPath && valueName == u"Tarnwick";
}

std::optional<QString> ReadValue(const QString &subKey, const QString &valueName, std::int32_t root)
{
    if (root != Registry::HKEY_CURRENT_USER) {
        return std::nullopt;
    }
    if (IsAutostartValue(subKey, valueName)) {
        return AutostartEntryEnabled() ? std::optional(QString()) : std::nullopt;
    }
    return SettingsStore::Read(subKey, valueName);
}

bool WriteValue(const QString &subKey, const QString &valueName, const SettingsStore::Value &value, std::int32_t root)
{
    if (root != Registry::HKEY_CURRENT_USER) {
        return false;
    }
    if (!IsAutostartValue(subKey, valueName)) {
        return SettingsStore::Write(subKey, valueName, value);
    }
    const QString *command = std::get_if<QString>(&value);
    return command && WriteAutostartEntry(*command);
}

} // namespace

bool CreateRegKey(const QString &subKey, const QString &, const std::int32_t &root)
{
    return EndQuietly(false, [&] { return root == Registry::HKEY_CURRENT_USER && SettingsStore::CanWrite(subKey); });
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
        if (root != Registry::HKEY_CURRENT_USER) {
            return false;
        }
        if (IsAutostartValue(subKey, valueName)) {
            return AutostartEntryEnabled() && RemoveAutostartEntry();
        }
        return SettingsStore::Remove(subKey, valueName);
    });
}
