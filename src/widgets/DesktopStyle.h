#pragma once

#include "DesktopAppearance.h"

#include <QFont>
#include <QObject>
#include <QPalette>

// Follows the desktop's light or dark choice and its interface font, where the desktop says them and Qt does not
// follow them by itself, as on GNOME: every window of the program takes them, also when they change. KDE's own
// platform theme follows Plasma's, and is left to do so.
class DesktopStyle final : public QObject
{
public:
    explicit DesktopStyle(QObject *parent = nullptr);

private:
    void Apply();

    DesktopAppearance appearance_;
    const QPalette light_;
    const QFont font_;
};
