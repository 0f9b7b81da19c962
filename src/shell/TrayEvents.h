#pragma once

#include <QSystemTrayIcon>

// The tray icon's events as the window's handler takes them.
inline constexpr int TrayDoubleClick = 515;
inline constexpr int TrayContextMenu = 517;

// True when a StatusNotifierItem host runs on the session bus: the icon is then an item of that host, which
// shows the menu the program exports and reports a click instead of a double click. Qt makes the same choice
// when the icon is created.
bool TrayHostShowsMenus();

// The code for an activation of the icon, or 0 for one the window ignores. On a host that shows menus a click
// counts as a double click, so the window can be reached on every desktop.
int TrayEventCode(QSystemTrayIcon::ActivationReason reason, bool hostShowsMenus);
