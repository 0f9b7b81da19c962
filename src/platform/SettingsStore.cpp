#include "SettingsStore.h"

#include "RegularFile.h"
#include "XdgConfigFolder.h"

#include <QFileInfo>
#include <QSettings>
#include <QStringList>

#include <algorithm>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace SettingsStore {

namespace {

constexpr qint64 LargestFile = 16 * 1024;

bool IsName(const QString &name)
{
    return !name.isEmpty() && !name.contains(u'/');
}

// The QSettings key of a value: the key path's names joined by "/", then the value's name; nothing for a
// refused one.
std::optional<QString> SettingsKey(const QString &keyPath, const QString &name)
{
    const QStringList names = keyPath.isEmpty() ? QStringList() : keyPath.split(u'\\');
    if (!IsName(name) || !std::all_of(names.begin(), names.end(), IsName)) {
        return std::nullopt;
    }
    return (names + QStringList{name}).join(u'/');
}

// QSettings writes a text as UTF-8, which cannot carry an unpaired surrogate, and drops U+FEFF at its start.
bool CanKeep(const QString &text)
{
    return text.isValidUtf16() && !text.startsWith(QChar(0xFEFF));
}

bool Absent(const QString &path)
{
    const QFileInfo info(path);
    return !info.exists() && !info.isSymLink();
}

// The settings to read, with the file they are read from held open: nothing when something other than a regular
// file of at most LargestFile bytes stands at the path. QSettings opens a file by its path: it is given one that
// names the file checked here, whatever may be put at the settings' path meanwhile.
struct ReadableSettings
{
    std::optional<RegularFile> file;
    std::unique_ptr<QSettings> settings;
};

ReadableSettings OpenForReading()
{
    const QString path = FilePath();
    if (Absent(path)) {
        return {std::nullopt, std::make_unique<QSettings>(path, QSettings::IniFormat)};
    }
    std::optional<RegularFile> file = RegularFile::Open(path, LargestFile);
    std::unique_ptr<QSettings> settings;
    if (file) {
        settings = std::make_unique<QSettings>(file->ProcPath(), QSettings::IniFormat);
    }
    return {std::move(file), std::move(settings)};
}

// The settings for a change, written through a new file put in place of the old one: nothing where anything but
// a regular file of at most LargestFile bytes stands at the path, a symbolic link included, whose target a write
// would replace.
std::unique_ptr<QSettings> OpenForWriting()
{
    const QString path = FilePath();
    if (!Absent(path) && !RegularFile::Open(path, LargestFile)) {
        return nullptr;
    }
    return std::make_unique<QSettings>(path, QSettings::IniFormat);
}

// Writes the changes made to settings; false when they could not be written. A damaged file is rewritten
// without the lines QSettings could not read, which it reports as a format error.
bool Commit(QSettings &settings)
{
    settings.sync();
    return settings.status() != QSettings::AccessError;
}

} // namespace

QString FilePath()
{
    return XdgConfigFolder() + u"/Tarnwick/Tarnwick.ini"_s;
}

std::optional<QString> Read(const QString &keyPath, const QString &name)
{
    const std::optional<QString> key = SettingsKey(keyPath, name);
    const ReadableSettings readable = key ? OpenForReading() : ReadableSettings();
    if (!readable.settings) {
        return std::nullopt;
    }
    const QVariant value = readable.settings->value(*key);
    if (value.typeId() != QMetaType::QString) {
        return std::nullopt;
    }
    return value.toString();
}

bool Write(const QString &keyPath, const QString &name, const Value &value)
{
    const QString *text = std::get_if<QString>(&value);
    const std::optional<QString> key = SettingsKey(keyPath, name);
    const std::unique_ptr<QSettings> settings = key && (!text || CanKeep(*text)) ? OpenForWriting() : nullptr;
    if (!settings) {
        return false;
    }
    settings->setValue(*key, text ? QVariant(*text) : QVariant(std::get<std::int32_t>(value)));
    return Commit(*settings);
}

bool Remove(const QString &keyPath, const QString &name)
{
    const std::optional<QString> key = SettingsKey(keyPath, name);
    const std::unique_ptr<QSettings> settings = key ? OpenForWriting() : nullptr;
    if (!settings || !settings->contains(*key)) {
        return false;
    }
    settings->remove(*key);
    return Commit(*settings);
}

bool CanWrite(const QString &keyPath)
{
    const std::unique_ptr<QSettings> settings = SettingsKey(keyPath, u"-"_s) ? OpenForWriting() : nullptr;
    return settings && settings->isWritable();
}

} // namespace SettingsStore
