#include "SettingsStore.h"

#include "RegularFile.h"
#include "XdgConfigFolder.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStringDecoder>
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

bool IsKeyPath(const QString &keyPath)
{
    const QStringList names = keyPath.split(u'\\');
    return keyPath.isEmpty() || std::all_of(names.begin(), names.end(), IsName);
}

// QSettings writes a text as UTF-8, which cannot carry an unpaired surrogate, and drops U+FEFF at its start.
bool CanKeep(const QString &text)
{
    return text.isValidUtf16() && !text.startsWith(QChar(0xFEFF));
}

// The QSettings key of a value: the key path's names joined by "/", then the value's name.
QString SettingsKey(const QString &keyPath, const QString &name)
{
    return keyPath.isEmpty() ? name : QString(keyPath).replace(u'\\', u'/') + u'/' + name;
}

// The text in quotes that the patterns of CarryOver matched.
QString Unquote(QStringView quoted)
{
    QString text;
    for (qsizetype i = 0; i < quoted.size(); ++i) {
        if (quoted[i] != u'\\') {
            text += quoted[i];
        } else if (quoted[++i] != u'u') {
            text += quoted[i];
        } else {
            text += QChar(quoted.sliced(i + 1, 4).toUShort(nullptr, 16));
            i += 4;
        }
    }
    return text;
}

// The previous format, in UTF-8 after a first line "Tarnwick settings 1", one item a line:
//     key "<key path>"
//     text "<name>" "<text>"
//     number "<name>" <eight hexadecimal digits>
// Values belong to the key line above them. In quotes, \" and \\ stand for themselves and \uXXXX for one
// 16-bit unit. The patterns never backtrack, so a line reads in time linear in its length.
// A line that does not read is skipped with the values after it up to the next key line, which might otherwise
// land under the wrong key.
void CarryOver(const QByteArray &bytes, QSettings &settings)
{
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.front() != "Tarnwick settings 1") {
        return;
    }
    const QString quoted = uR"re("((?:[^"\\]++|\\["\\]|\\u[0-9a-fA-F]{4})*+)")re"_s;
    const QRegularExpression keyLine(QRegularExpression::anchoredPattern(u"key "_s + quoted));
    const QRegularExpression textLine(QRegularExpression::anchoredPattern(u"text "_s + quoted + u' ' + quoted));
    const QRegularExpression numberLine(
        QRegularExpression::anchoredPattern(u"number "_s + quoted + u" ([0-9a-fA-F]{8})"_s));
    std::optional<QString> keyPath;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) {
            continue;
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder(lines[i]);
        const QRegularExpressionMatch key = keyLine.match(line);
        const QRegularExpressionMatch text = textLine.match(line);
        const QRegularExpressionMatch number = numberLine.match(line);
        if (decoder.hasError() || !(key.hasMatch() || (keyPath && (text.hasMatch() || number.hasMatch())))) {
            keyPath.reset();
        } else if (key.hasMatch()) {
            keyPath = Unquote(key.capturedView(1));
            keyPath = IsKeyPath(*keyPath) ? keyPath : std::nullopt;
        } else {
            const QRegularExpressionMatch &value = text.hasMatch() ? text : number;
            const QString name = Unquote(value.capturedView(1));
            const QVariant data = text.hasMatch()
                                      ? QVariant(Unquote(text.capturedView(2)))
                                      : QVariant(static_cast<std::int32_t>(number.capturedView(2).toUInt(nullptr, 16)));
            if (IsName(name) && (number.hasMatch() || CanKeep(data.toString()))) {
                settings.setValue(SettingsKey(*keyPath, name), data);
            }
        }
    }
}

// The settings while the file is absent: the previous format's values carried over.
std::unique_ptr<QSettings> CarriedOver(const QString &path)
{
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    QFile previous(QFileInfo(path).absolutePath() + u"/settings.reg"_s);
    if (QFileInfo(previous).isFile() && previous.open(QIODevice::ReadOnly)) {
        CarryOver(previous.read(LargestFile), *settings);
        settings->sync();
        // With nothing carried over QSettings writes no file; an empty one marks the carry-over as done.
        if (settings->status() == QSettings::NoError) {
            QFile(path).open(QIODevice::Append);
        }
    }
    return settings;
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
        return {std::nullopt, CarriedOver(path)};
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
    if (Absent(path)) {
        return CarriedOver(path);
    }
    return RegularFile::Open(path, LargestFile) ? std::make_unique<QSettings>(path, QSettings::IniFormat) : nullptr;
}

// Enters the groups of the key path and gives the QSettings key of the value in them: each name in the
// spelling already in the file, whatever its case, else as given. Nothing for a name that is refused.
std::optional<QString> EnterKey(QSettings &settings, const QString &keyPath, const QString &name)
{
    const auto spelling = [](const QStringList &present, const QString &wanted) {
        const auto found = std::find_if(present.begin(), present.end(), [&](const QString &each) {
            return each.compare(wanted, Qt::CaseInsensitive) == 0;
        });
        return found == present.end() ? wanted : *found;
    };
    if (!IsKeyPath(keyPath) || !IsName(name)) {
        return std::nullopt;
    }
    for (const QString &group : keyPath.isEmpty() ? QStringList() : keyPath.split(u'\\')) {
        settings.beginGroup(spelling(settings.childGroups(), group));
    }
    return spelling(settings.childKeys(), name);
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
    const ReadableSettings readable = OpenForReading();
    QSettings *settings = readable.settings.get();
    const std::optional<QString> key = settings ? EnterKey(*settings, keyPath, name) : std::nullopt;
    if (!key) {
        return std::nullopt;
    }
    // Read from the file, a value is a text; written by this process, it may still be the number it was.
    const QVariant value = settings->value(*key);
    if (value.typeId() != QMetaType::QString && value.typeId() != QMetaType::Int) {
        return std::nullopt;
    }
    return value.toString();
}

bool Write(const QString &keyPath, const QString &name, const Value &value)
{
    const QString *text = std::get_if<QString>(&value);
    if (text && !CanKeep(*text)) {
        return false;
    }
    const std::unique_ptr<QSettings> settings = OpenForWriting();
    const std::optional<QString> key = settings ? EnterKey(*settings, keyPath, name) : std::nullopt;
    if (!key) {
        return false;
    }
    settings->setValue(*key, text ? QVariant(*text) : QVariant(std::get<std::int32_t>(value)));
    return Commit(*settings);
}

bool Remove(const QString &keyPath, const QString &name)
{
    const std::unique_ptr<QSettings> settings = OpenForWriting();
    const std::optional<QString> key = settings ? EnterKey(*settings, keyPath, name) : std::nullopt;
    if (!key || !settings->contains(*key)) {
        return false;
    }
    // QSettings removes the keys below a key with it; a sub-key of the same name keeps them here.
    settings->beginGroup(*key);
    QVariantMap below;
    for (const QString &each : settings->allKeys()) {
        below.insert(each, settings->value(each));
    }
    settings->endGroup();
    settings->remove(*key);
    for (auto each = below.cbegin(); each != below.cend(); ++each) {
        settings->setValue(*key + u'/' + each.key(), each.value());
    }
    return Commit(*settings);
}

bool CanWrite(const QString &keyPath)
{
    const std::unique_ptr<QSettings> settings = OpenForWriting();
    return settings && IsKeyPath(keyPath) && settings->isWritable();
}

} // namespace SettingsStore
