#pragma once

#include <QSystemTrayIcon>

#include <optional>

// The icon's events the window acts on, by the codes the tray reports them with.
enum class TrayEvent
{
    DoubleClick = 515,
    ContextMenu = 517
};

// The event of an activation of the icon, or nothing for one the window ignores. On a host that shows menus a
// click counts as a double click, so the window can be reached on every desktop.
std::optional<TrayEvent> TrayEventOf(QSystemTrayIcon::ActivationReason reason, bool hostShowsMenus);
