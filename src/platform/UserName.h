#pragma once

#include <QString>

#include <optional>

// The login name of the effective user, from the user database (not from USER or LOGNAME, which anyone can
// set); nothing when the system gives no name.
std::optional<QString> GetWindowsUserName();
