#include "ShellOpen.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

void ShellOpen(const QString &text, const std::function<bool(const QString &program)> &mayStart)
{
    // Trimmed as the address would be, so that spaces around a program's path do not hand it to the opener.
    const QString trimmed = text.trimmed();
    const QFileInfo file(trimmed);
    const bool program = file.isAbsolute() && file.isFile() && file.isExecutable();
    if (program && !mayStart(file.absoluteFilePath()))
        return;
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    if (program)
        QProcess::startDetached(file.absoluteFilePath(), {});
    else
        QDesktopServices::openUrl(QUrl::fromUserInput(trimmed));
    QGuiApplication::restoreOverrideCursor();
}
