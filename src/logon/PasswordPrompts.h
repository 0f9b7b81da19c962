#pragma once

#include <QString>

#include <optional>

// Asks the password of the named user in a new frmGetPass, modal and without owner, and returns what was typed,
// which may be empty, or nothing when the person cancelled: Cancel, Esc and the close box. The result holds the only
// reference to the typed characters: WipePassword overwrites them once they have served.
std::optional<QString> AskPassword(const QString &name);
// The same with frmGetNewPass: the password typed twice alike, or nothing.
std::optional<QString> AskNewPassword(const QString &name);
