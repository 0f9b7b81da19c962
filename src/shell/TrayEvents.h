#pragma once

#include <QSystemTrayIcon>

// The tray icon's events as the window's handler takes them.
inline constexpr int TrayDoubleClick = 515;
inline constexpr int TrayContextMenu = 517;

// The code for an activation of the icon, or 0 for one the window ignores. Tray hosts that speak
// StatusNotifierItem report only an activation, never a double click: there the activation counts
// as a double click, so the window can be reached on every desktop.
int TrayEventCode(QSystemTrayIcon::ActivationReason reason);
