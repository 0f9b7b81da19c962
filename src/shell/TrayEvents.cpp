#include "TrayEvents.h"

std::optional<TrayEvent> TrayEventOf(QSystemTrayIcon::ActivationReason reason, bool hostShowsMenus)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return TrayEvent::DoubleClick;
    case QSystemTrayIcon::Context:
        return TrayEvent::ContextMenu;
    case QSystemTrayIcon::Trigger:
        return hostShowsMenus ? std::optional(TrayEvent::DoubleClick) : std::nullopt;
    default:
        return std::nullopt;
    }
}
