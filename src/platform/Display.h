#pragma once

// True when the program has a display to show its windows on: a platform chosen explicitly, a
// Wayland session, or an X display whose local socket exists.
bool DisplayAvailable();
