#pragma once

#include <QString>

#include <utility>

// The XDG autostart entry Tarnwick.desktop in the autostart folder of the XDG config folder (looked up at every
// call), through which the desktop starts the program at the path given when the user logs in.
class AutostartEntry
{
public:
    explicit AutostartEntry(QString programPath) : programPath_(std::move(programPath)) {}

    static QString path();

    // True when the entry is there, a regular file of at most 16 KiB (a symbolic link there is not followed, a FIFO
    // not waited on), and not marked Hidden, which the XDG rules take for no entry.
    bool enabled() const;
    // Switched on, the entry is written anew, through a temporary file, with the program's path quoted as one
    // argument where it needs to be; refused, the old entry kept, when the path holds a control character other
    // than tab, newline or carriage return (an entry cannot carry one). Switched off, an enabled entry is removed;
    // anything else at its path is left alone. True when it is as asked.
    bool setEnabled(bool on) const;

private:
    QString programPath_;
};
