#include "SettingsStore.h"

#include "XdgConfigFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <algorithm>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

// The first line of every store file; a file without it is not ours or from another version.
constexpr char FileHeader[] = "Tarnwick settings 1";
// A store holds a few small values; a file far larger than that is damaged and not worth the memory.
constexpr qint64 LargestFile = 64 * 1024 * 1024;

struct NamedValue
{
    QString name;
    SettingsStore::Value value;
};

struct StoredKey
{
    QString path;
    std::vector<NamedValue> values;
};

using StoreContents = std::vector<StoredKey>;

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

QString Hex(std::uint32_t number, int digits)
{
    return QString::number(number, 16).rightJustified(digits, u'0');
}

// The number written as exactly the hexadecimal digits given; nothing when anything else is there.
std::optional<std::uint32_t> ParseHex(QStringView digits)
{
    std::uint32_t number = 0;
    for (const QChar digit : digits) {
        const char16_t unit = digit.unicode();
        std::uint32_t value = 0;
        if (unit >= u'0' && unit <= u'9') {
            value = unit - u'0';
        } else if (unit >= u'a' && unit <= u'f') {
            value = unit - u'a' + 10;
        } else if (unit >= u'A' && unit <= u'F') {
            value = unit - u'A' + 10;
        } else {
            return std::nullopt;
        }
        number = number << 4 | value;
    }
    return number;
}

// The text in double quotes. Quotes, backslashes, control characters and unpaired surrogates (which UTF-8
// cannot carry) are escaped, so that every 16-bit unit survives the trip through the file.
QString Quote(const QString &text)
{
    QString quoted(u'"');
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar unit = text[i];
        if (unit.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            quoted += unit;
            quoted += text[++i];
        } else if (unit == u'"' || unit == u'\\') {
            quoted += u'\\';
            quoted += unit;
        } else if (unit.unicode() < 0x20 || unit.unicode() == 0x7F || unit.isSurrogate()) {
            quoted += u"\\u"_s + Hex(unit.unicode(), 4);
        } else {
            quoted += unit;
        }
    }
    return quoted + u'"';
}

// Takes a quoted text from the front of the line; nothing when the line does not start with a whole one.
std::optional<QString> TakeQuoted(QStringView &line)
{
    if (!line.startsWith(u'"')) {
        return std::nullopt;
    }
    QString text;
    qsizetype i = 1;
    while (i < line.size() && line[i] != u'"') {
        if (line[i] != u'\\') {
            text += line[i++];
        } else if (i + 1 < line.size() && (line[i + 1] == u'"' || line[i + 1] == u'\\')) {
            text += line[i + 1];
            i += 2;
        } else if (i + 6 <= line.size() && line[i + 1] == u'u') {
            const std::optional<std::uint32_t> unit = ParseHex(line.sliced(i + 2, 4));
            if (!unit) {
                return std::nullopt;
            }
            text += QChar(static_cast<char16_t>(*unit));
            i += 6;
        } else {
            return std::nullopt;
        }
    }
    if (i >= line.size()) {
        return std::nullopt;
    }
    line = line.sliced(i + 1);
    return text;
}

bool TakePrefix(QStringView &line, QStringView prefix)
{
    if (!line.startsWith(prefix)) {
        return false;
    }
    line = line.sliced(prefix.size());
    return true;
}

// key "<path>"
std::optional<QString> ParseKeyLine(QStringView line)
{
    if (!TakePrefix(line, u"key ")) {
        return std::nullopt;
    }
    std::optional<QString> path = TakeQuoted(line);
    if (!path || !line.isEmpty()) {
        return std::nullopt;
    }
    return path;
}

// text "<name>" "<text>"  or  number "<name>" <eight lower-case hexadecimal digits>
std::optional<NamedValue> ParseValueLine(QStringView line)
{
    const bool isText = TakePrefix(line, u"text ");
    if (!isText && !TakePrefix(line, u"number ")) {
        return std::nullopt;
    }
    std::optional<QString> name = TakeQuoted(line);
    if (!name || !TakePrefix(line, u" ")) {
        return std::nullopt;
    }
    if (isText) {
        std::optional<QString> text = TakeQuoted(line);
        if (!text || !line.isEmpty()) {
            return std::nullopt;
        }
        return NamedValue{*name, *text};
    }
    const std::optional<std::uint32_t> number = line.size() == 8 ? ParseHex(line) : std::nullopt;
    if (!number) {
        return std::nullopt;
    }
    return NamedValue{*name, *number};
}

StoreContents::iterator FindKey(StoreContents &contents, const QString &keyPath)
{
    return std::find_if(contents.begin(), contents.end(),
                        [&](const StoredKey &key) { return SameName(key.path, keyPath); });
}

std::vector<NamedValue>::iterator FindValue(StoredKey &key, const QString &valueName)
{
    return std::find_if(key.values.begin(), key.values.end(),
                        [&](const NamedValue &named) { return SameName(named.name, valueName); });
}

// The index of the key, which is added when missing.
std::size_t KeyIndex(StoreContents &contents, const QString &keyPath)
{
    const auto found = FindKey(contents, keyPath);
    if (found != contents.end()) {
        return static_cast<std::size_t>(found - contents.begin());
    }
    contents.push_back({keyPath, {}});
    return contents.size() - 1;
}

void PutValue(StoredKey &key, NamedValue named)
{
    const auto found = FindValue(key, named.name);
    if (found == key.values.end()) {
        key.values.push_back(std::move(named));
    } else {
        found->value = std::move(named.value);
    }
}

bool HoldsKey(const StoreContents &contents, const QString &keyPath)
{
    const QString below = keyPath + u'\\';
    return keyPath.isEmpty() || std::any_of(contents.begin(), contents.end(), [&](const StoredKey &key) {
               return SameName(key.path, keyPath) || key.path.startsWith(below, Qt::CaseInsensitive);
           });
}

StoreContents Parse(const QByteArray &bytes)
{
    const QList<QByteArray> lines = bytes.split('\n');
    if (lines.front() != FileHeader) {
        return {};
    }
    StoreContents contents;
    // Values belong to the key line above them; after a damaged line that key is unknown, so the values
    // up to the next key line are dropped rather than put under the wrong key.
    constexpr std::size_t NoKey = std::numeric_limits<std::size_t>::max();
    std::size_t currentKey = NoKey;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty()) {
            continue;
        }
        QStringDecoder decoder(QStringDecoder::Utf8);
        const QString line = decoder(lines[i]);
        if (decoder.hasError()) {
            currentKey = NoKey;
        } else if (const std::optional<QString> keyPath = ParseKeyLine(line)) {
            currentKey = KeyIndex(contents, *keyPath);
        } else if (std::optional<NamedValue> named = ParseValueLine(line); named && currentKey != NoKey) {
            PutValue(contents[currentKey], std::move(*named));
        } else {
            currentKey = NoKey;
        }
    }
    return contents;
}

QByteArray Serialise(const StoreContents &contents)
{
    QString text = QString::fromLatin1(FileHeader) + u'\n';
    for (const StoredKey &key : contents) {
        text += u"key "_s + Quote(key.path) + u'\n';
        for (const NamedValue &named : key.values) {
            if (const QString *value = std::get_if<QString>(&named.value)) {
                text += u"text "_s + Quote(named.name) + u' ' + Quote(*value) + u'\n';
            } else {
                text += u"number "_s + Quote(named.name) + u' ' + Hex(std::get<std::uint32_t>(named.value), 8) + u'\n';
            }
        }
    }
    return text.toUtf8();
}

StoreContents Load(const QString &filePath)
{
    QFile file(filePath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > LargestFile) {
        return {};
    }
    return Parse(file.readAll());
}

bool Save(const QString &filePath, const StoreContents &contents)
{
    if (!QDir().mkpath(QFileInfo(filePath).absolutePath())) {
        return false;
    }
    QSaveFile file(filePath);
    const QByteArray bytes = Serialise(contents);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

SettingsStore::SettingsStore() : filePath_(XdgConfigFolder() + u"/Tarnwick/settings.reg"_s)
{
}

bool SettingsStore::KeyExists(const QString &keyPath) const
{
    return HoldsKey(Load(filePath_), keyPath);
}

bool SettingsStore::CreateKey(const QString &keyPath)
{
    StoreContents contents = Load(filePath_);
    if (HoldsKey(contents, keyPath)) {
        return true;
    }
    contents.push_back({keyPath, {}});
    return Save(filePath_, contents);
}

std::optional<SettingsStore::Value> SettingsStore::ReadValue(const QString &keyPath, const QString &valueName) const
{
    StoreContents contents = Load(filePath_);
    const auto key = FindKey(contents, keyPath);
    if (key == contents.end()) {
        return std::nullopt;
    }
    const auto named = FindValue(*key, valueName);
    if (named == key->values.end()) {
        return std::nullopt;
    }
    return named->value;
}

bool SettingsStore::WriteValue(const QString &keyPath, const QString &valueName, const Value &value)
{
    StoreContents contents = Load(filePath_);
    PutValue(contents[KeyIndex(contents, keyPath)], {valueName, value});
    return Save(filePath_, contents);
}

bool SettingsStore::DeleteValue(const QString &keyPath, const QString &valueName)
{
    StoreContents contents = Load(filePath_);
    const auto key = FindKey(contents, keyPath);
    if (key == contents.end()) {
        return false;
    }
    const auto named = FindValue(*key, valueName);
    if (named == key->values.end()) {
        return false;
    }
    key->values.erase(named);
    return Save(filePath_, contents);
}
