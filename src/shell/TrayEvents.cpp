#include "TrayEvents.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>

namespace {

bool HostSpeaksStatusNotifierItem()
{
    const QDBusConnection bus = QDBusConnection::sessionBus();
    return bus.isConnected() && bus.interface() &&
           bus.interface()->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher")).value();
}

} // namespace

int TrayEventCode(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return TrayDoubleClick;
    case QSystemTrayIcon::Context:
        return TrayContextMenu;
    case QSystemTrayIcon::Trigger:
        return HostSpeaksStatusNotifierItem() ? TrayDoubleClick : 0;
    default:
        return 0;
    }
}
