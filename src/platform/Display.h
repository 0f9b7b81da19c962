#pragma once

// Chooses the display the program shows its windows on, before Qt starts: a platform the person chose
// (QT_QPA_PLATFORM) is kept; otherwise a Wayland compositor whose socket exists comes first, then an X display
// whose local socket exists (or any other X display, taken on trust). False when there is none: Qt would abort.
bool ChooseDisplay();

// False under Wayland, where a program neither places its windows or menus nor learns where they stand.
bool ProgramPlacesWindows();
