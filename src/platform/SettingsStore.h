#pragma once

#include <QString>

#include <cstdint>
#include <optional>
#include <variant>

// The per-user store of keys and typed values that stands in for the current user's part of the registry.
// It is one file, Tarnwick/settings.reg in the XDG config folder as it is when the store is constructed.
//
// Key paths are key names joined by "\" with no empty name among them; the empty path is the root, which
// always exists. Key and value names compare without regard to case and keep the spelling they were first
// written with. Text values keep every 16-bit unit, NUL and unpaired surrogates included.
//
// Every read re-reads the file. Every change rewrites it whole through a temporary file that replaces it only
// when complete, so a crash leaves the old file or the new one. A line the store cannot read counts as
// absent; a file it cannot read at all counts as an empty store and is replaced by the next change.
// No function raises.
class SettingsStore
{
public:
    // A text (REG_SZ) or a 32-bit number (REG_DWORD).
    using Value = std::variant<QString, std::uint32_t>;

    SettingsStore();

    const QString &FilePath() const { return filePath_; }

    // True for the root, for a key that was created or holds values, and for every key above such a key.
    bool KeyExists(const QString &keyPath) const;
    // Creates the key (and so the keys above it); true when it exists afterwards. An existing key is left alone.
    bool CreateKey(const QString &keyPath);
    std::optional<Value> ReadValue(const QString &keyPath, const QString &valueName) const;
    // Writes the value, replacing one of the same name and creating the key when needed; true when written.
    bool WriteValue(const QString &keyPath, const QString &valueName, const Value &value);
    // True when the value existed and the store was written without it. The key stays.
    bool DeleteValue(const QString &keyPath, const QString &valueName);

private:
    QString filePath_;
};
