#pragma once

#include <QString>

// Exactly one NUL character: what the older contracts answer for "cancelled" (the password prompts) or "absent"
// (the login name, a registry default). Inside the program such an answer becomes an empty std::optional at once.
inline const QString NulMarker = QString(QChar(0));
