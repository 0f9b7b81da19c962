#pragma once

#include "MsgBox.h"

#include <QString>

#include <optional>

// Questions shared by the windows: a message box with the question icon, Yes and No.

// True exactly when Yes was clicked.
bool AskYesNo(const QString &prompt, DefaultButton defaultButton = DefaultButton::First);
// Yes or No, or nothing when the person closed the box with Esc or its close box.
std::optional<bool> AskYesNoOrClose(const QString &prompt, DefaultButton defaultButton = DefaultButton::First);
