#include "ShellOpen.h"

#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QUrl>

void ShellOpen(QString text)
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    const QFileInfo file(text);
    if (file.isFile() && file.isExecutable())
        QProcess::startDetached(file.absoluteFilePath(), {});
    else
        QDesktopServices::openUrl(QUrl::fromUserInput(text));
    QGuiApplication::restoreOverrideCursor();
}
