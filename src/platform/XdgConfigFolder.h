#pragma once

#include <QString>

// The user's XDG config folder: $XDG_CONFIG_HOME when it holds an absolute path, else ~/.config.
// The variable is read at every call, so a change of it takes effect at once.
QString XdgConfigFolder();
