#pragma once

#include <QString>

#include <optional>

// Question boxes shared by the windows. A title of exactly "Default" (letter case counting) means
// the application's title; any other title is shown as given. The style carries the icon and
// similar options and no button set; the function adds its own buttons and leaves the caller's
// flags as they were.

// Yes and No; true exactly when Yes was clicked.
bool AskYesNo(const QString &prompt, const QString &title, int &style);
// Yes and No, or nothing when the person closed the box with Esc or its close box.
std::optional<bool> AskYesNoOrClose(const QString &prompt, const QString &title, int &style);
// Yes, No and Cancel; returns vbYes, vbNo or vbCancel (also for Esc and the close box).
int AskYesNoCancel(const QString &prompt, const QString &title, int &style);
