#include "ShellOpen.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

namespace {

bool IsFileUrl(const QString &text)
{
    return text.startsWith(QStringLiteral("file:"), Qt::CaseInsensitive);
}

// The path a file: URL names on this computer, or empty when it names none: a relative one, or one on another host.
QString FileUrlPath(const QString &text)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString host = url.host();
    if (!url.isValid() || !(host.isEmpty() || host == QStringLiteral("localhost")))
        return QString();
    const QString path = url.path(QUrl::FullyDecoded);
    return path.startsWith(u'/') && !path.contains(QChar(0)) ? path : QString();
}

bool IsLauncher(const QFileInfo &file)
{
    return file.suffix().compare(QStringLiteral("desktop"), Qt::CaseInsensitive) == 0;
}

// What the desktop would run rather than show.
bool IsProgram(const QFileInfo &file)
{
    return file.isFile() && (file.isExecutable() || IsLauncher(file));
}

void Open(const QFileInfo &file, bool local, const QString &address)
{
    if (!local)
        QDesktopServices::openUrl(QUrl::fromUserInput(address));
    else if (IsProgram(file) && !IsLauncher(file))
        QProcess::startDetached(file.absoluteFilePath(), {});
    else
        QDesktopServices::openUrl(QUrl::fromLocalFile(file.absoluteFilePath()));
}

} // namespace

bool ShellOpen(const QString &text, const std::function<bool(const QString &program)> &mayStart)
{
    // Trimmed as the address would be, so that spaces around a program's path do not hand it to the opener.
    const QString trimmed = text.trimmed();
    const bool fileUrl = IsFileUrl(trimmed);
    const QString path = fileUrl ? FileUrlPath(trimmed) : trimmed;
    if (fileUrl && path.isEmpty())
        return false;
    const QFileInfo file(path);
    const bool local = file.isAbsolute();
    if (local && IsProgram(file) && !mayStart(file.absoluteFilePath()))
        return true;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    Open(file, local, trimmed);
    QGuiApplication::restoreOverrideCursor();
    return true;
}
