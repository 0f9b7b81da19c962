#include "Display.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QString>

#include <cstdlib>

namespace {

QString Environment(const char *name)
{
    const char *value = std::getenv(name);
    return value ? QString::fromLocal8Bit(value) : QString();
}

// ":N" or ":N.S" is served by the local socket of display N; any other form is taken on trust.
bool XDisplayReachable(const QString &display)
{
    static const QRegularExpression local(QStringLiteral("^(unix)?:(\\d+)(\\.\\d+)?$"));
    const QRegularExpressionMatch match = local.match(display);
    if (!match.hasMatch())
        return !display.isEmpty();
    return QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + match.captured(2));
}

} // namespace

bool DisplayAvailable()
{
    if (!Environment("QT_QPA_PLATFORM").isEmpty() || !Environment("WAYLAND_DISPLAY").isEmpty())
        return true;
    return XDisplayReachable(Environment("DISPLAY"));
}
