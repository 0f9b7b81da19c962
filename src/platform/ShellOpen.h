#pragma once

#include <QString>

#include <functional>

// Opens what the text names, never through a shell. An absolute path, or a file: URL naming one, is a local file:
// a program there (an executable file, or a launcher entry ending in ".desktop") starts, with no arguments, only
// when mayStart, given its path, agrees; any other file or folder opens in the desktop's application for it. Any
// other text is an address (a web address, say) for the desktop's opener; text that is not an absolute path is never
// looked up in the working folder. Shows the wait cursor while opening; a failure of the opener shows nothing.
// False, opening nothing, for a file: URL that names no absolute path on this computer.
bool ShellOpen(const QString &text, const std::function<bool(const QString &program)> &mayStart);
