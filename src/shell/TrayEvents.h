#pragma once

#include <QSystemTrayIcon>

#include <optional>

// The icon's events the window acts on, by the codes the tray reports them with.
enum class TrayEvent
{
    DoubleClick = 515,
    ContextMenu = 517
};

// True when a StatusNotifierItem host runs on the session bus: the icon is then an item of that host, which
// shows the menu the program exports and reports a click instead of a double click. Qt makes the same choice
// when the icon is created.
bool TrayHostShowsMenus();

// The event of an activation of the icon, or nothing for one the window ignores. On a host that shows menus a
// click counts as a double click, so the window can be reached on every desktop.
std::optional<TrayEvent> TrayEventOf(QSystemTrayIcon::ActivationReason reason, bool hostShowsMenus);
