#pragma once

#include <QString>

// The XDG autostart entry Tarnwick.desktop in the autostart folder of the XDG config folder (looked up at
// every call), through which the desktop starts the program when the user logs in.

QString AutostartEntryPath();

// True when the entry is there, a regular file of at most 16 KiB (a symbolic link there is not followed, a FIFO not
// waited on), and not marked Hidden, which the XDG rules take for no entry.
bool AutostartEntryEnabled();

// Writes the entry, through a temporary file, so that it starts the program at the path given, which is
// quoted as one argument where it needs to be. False, and the old entry kept, when the path holds a control
// character other than tab, newline or carriage return (an entry cannot carry one) or when the file cannot
// be written.
bool WriteAutostartEntry(const QString &programPath);

// True when there was an entry and it was removed.
bool RemoveAutostartEntry();
