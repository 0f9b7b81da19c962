#pragma once

#include <QString>

// Opens what the text names: a path to an executable file is started with no arguments; anything
// else (a web address, a document) opens in the desktop's application for it. The text never
// passes through a shell. Shows the wait cursor meanwhile; a failure shows nothing.
void ShellOpen(QString text);
