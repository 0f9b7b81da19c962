#pragma once

#include <QString>

// The login name of the effective user, from the user database (not from USER or LOGNAME, which anyone can
// set); a string of exactly one NUL character when the system gives no name.
QString GetWindowsUserName();
