#pragma once

#include <QString>

#include <functional>

// Opens what the text names, never through a shell. An absolute path to an executable file is started with no
// arguments, and only when mayStart, given the file's path, agrees. Any other text is an address (a web address,
// a document, a folder) and opens in the desktop's application for it; text that is not an absolute path is never
// looked up in the working folder. Shows the wait cursor while opening; a failure shows nothing.
void ShellOpen(const QString &text, const std::function<bool(const QString &program)> &mayStart);
