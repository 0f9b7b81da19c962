#pragma once

#include "DesktopAppearance.h"

#include <QObject>

// Follows GNOME's light or dark choice and its interface font, which Qt's own GNOME theme does not take from the
// desktop: every window of the program takes them, also when they change. Only on GNOME and only where nothing else
// styles Qt: a platform theme the person chose (qt6ct, say) and Qt's GTK theme follow their own settings, and
// Plasma's theme follows Plasma. Where Qt itself tells the desktop's light or dark choice, the colours are Qt's.
class DesktopStyle final : public QObject
{
public:
    explicit DesktopStyle(QObject *parent = nullptr);

private:
    void Apply();

    DesktopAppearance appearance_;
};
