#include "AutostartEntry.h"

#include "RegularFile.h"
#include "XdgConfigFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace {

// An entry of ours is a few lines; anything much larger is not one.
constexpr qint64 LargestEntry = 16 * 1024;

// Characters that the desktop entry rules reserve in a command: an argument holding one must be quoted.
constexpr QStringView ReservedCharacters = u" \t\n\"'\\><~|&;$*?#()`";
// Characters that must be escaped with a backslash inside a quoted argument.
constexpr QStringView QuotedEscapes = u"\"`$\\";

// An entry is UTF-8 text in which only tab, newline and carriage return have escapes among the controls.
bool CanBeWritten(const QString &programPath)
{
    const bool hasControl = std::any_of(programPath.begin(), programPath.end(), [](QChar c) {
        return c.category() == QChar::Other_Control && c != u'\t' && c != u'\n' && c != u'\r';
    });
    return !hasControl && QString::fromUtf8(programPath.toUtf8()) == programPath;
}

// The path as one argument of the Exec key, quoted when it is empty or holds a reserved character, with
// percent signs doubled so that none is taken for a field code.
QString ExecArgument(const QString &programPath)
{
    const bool needsQuotes = programPath.isEmpty() || std::any_of(programPath.begin(), programPath.end(), [](QChar c) {
                                 return ReservedCharacters.contains(c);
                             });
    QString argument = needsQuotes ? u"\""_s : QString();
    for (const QChar c : programPath) {
        if (needsQuotes && QuotedEscapes.contains(c)) {
            argument += u'\\';
        }
        argument += c == u'%' ? u"%%"_s : QString(c);
    }
    return needsQuotes ? argument + u'"' : argument;
}

// The escapes of a string value, applied after the quoting of the arguments.
QString EscapeStringValue(const QString &value)
{
    QString escaped;
    for (const QChar c : value) {
        escaped += c == u'\\'   ? u"\\\\"_s
                   : c == u'\n' ? u"\\n"_s
                   : c == u'\t' ? u"\\t"_s
                   : c == u'\r' ? u"\\r"_s
                                : QString(c);
    }
    return escaped;
}

QString UnescapeStringValue(QStringView value)
{
    constexpr QStringView Escapes = u"\\sntr";
    constexpr QStringView Meanings = u"\\ \n\t\r";
    QString text;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const qsizetype escape = value[i] == u'\\' && i + 1 < value.size() ? Escapes.indexOf(value[i + 1]) : -1;
        if (escape < 0) {
            text += value[i];
        } else {
            text += Meanings[escape];
            ++i;
        }
    }
    return text;
}

// The arguments of a command: separated by spaces, each either plain or in double quotes, in which a
// backslash takes the character after it literally; "%%" stands for one percent sign.
QStringList SplitCommand(const QString &command)
{
    QStringList arguments;
    QString argument;
    bool inArgument = false;
    bool quoted = false;
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (quoted && c == u'\\' && i + 1 < command.size()) {
            argument += command[++i];
        } else if (c == u'"') {
            quoted = !quoted;
            inArgument = true;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (inArgument) {
                arguments += argument;
            }
            argument.clear();
            inArgument = false;
        } else {
            argument += c;
            inArgument = true;
        }
    }
    if (inArgument) {
        arguments += argument;
    }
    for (QString &each : arguments) {
        each.replace(u"%%"_s, u"%"_s);
    }
    return arguments;
}

// The value of a key in the [Desktop Entry] group; nothing when the group does not hold the key.
std::optional<QString> EntryValue(const QStringList &lines, QStringView key)
{
    bool inMainGroup = false;
    for (const QString &line : lines) {
        if (line.startsWith(u'[')) {
            inMainGroup = line.trimmed() == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inMainGroup && equals > 0 && QStringView(line).first(equals).trimmed() == key) {
            return UnescapeStringValue(QStringView(line).sliced(equals + 1).trimmed());
        }
    }
    return std::nullopt;
}

} // namespace

QString AutostartEntryPath()
{
    return XdgConfigFolder() + u"/autostart/Tarnwick.desktop"_s;
}

std::optional<QString> ReadAutostartCommand()
{
    const std::optional<RegularFile> file = RegularFile::Open(AutostartEntryPath(), LargestEntry);
    const std::optional<QByteArray> bytes = file ? file->ReadAll() : std::nullopt;
    if (!bytes) {
        return std::nullopt;
    }
    const QStringList lines = QString::fromUtf8(*bytes).split(u'\n');
    if (EntryValue(lines, u"Hidden") == u"true") {
        return std::nullopt;
    }
    return SplitCommand(EntryValue(lines, u"Exec").value_or(QString())).join(u' ');
}

bool WriteAutostartEntry(const QString &programPath)
{
    if (!CanBeWritten(programPath)) {
        return false;
    }
    // The icon by its name in the desktop's theme, where the installed program puts it.
    const QString entry = u"[Desktop Entry]\nType=Application\nName=Tarnwick\nIcon=tarnwick\nExec="_s +
                          EscapeStringValue(ExecArgument(programPath)) + u'\n';
    const QString path = AutostartEntryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    const QByteArray bytes = entry.toUtf8();
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

bool RemoveAutostartEntry()
{
    return QFile::remove(AutostartEntryPath());
}
