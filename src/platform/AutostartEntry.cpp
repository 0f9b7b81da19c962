#include "AutostartEntry.h"

#include "RegularFile.h"
#include "XdgConfigFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

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

// Whether the [Desktop Entry] group says Hidden=true, which the XDG rules take for no entry.
bool IsHidden(const QString &entry)
{
    bool inMainGroup = false;
    for (const QString &line : entry.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(u'[')) {
            inMainGroup = trimmed == u"[Desktop Entry]";
        } else if (inMainGroup && trimmed.section(u'=', 0, 0).trimmed() == u"Hidden") {
            return trimmed.section(u'=', 1).trimmed() == u"true";
        }
    }
    return false;
}

bool WriteEntry(const QString &programPath)
{
    if (!CanBeWritten(programPath)) {
        return false;
    }
    // The icon by its name in the desktop's theme, where the installed program puts it.
    const QString entry = u"[Desktop Entry]\nType=Application\nName=Tarnwick\nIcon=tarnwick\nExec="_s +
                          EscapeStringValue(ExecArgument(programPath)) + u'\n';
    const QString path = AutostartEntry::path();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        return false;
    }
    QSaveFile file(path);
    const QByteArray bytes = entry.toUtf8();
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

} // namespace

QString AutostartEntry::path()
{
    return XdgConfigFolder() + u"/autostart/Tarnwick.desktop"_s;
}

bool AutostartEntry::enabled() const
{
    const std::optional<RegularFile> file = RegularFile::Open(path(), LargestEntry);
    const std::optional<QByteArray> bytes = file ? file->ReadAll() : std::nullopt;
    return bytes && !IsHidden(QString::fromUtf8(*bytes));
}

bool AutostartEntry::setEnabled(bool on) const
{
    if (on) {
        return WriteEntry(programPath_);
    }
    return !enabled() || QFile::remove(path());
}
