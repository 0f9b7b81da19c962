#include "DesktopStyle.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QLibraryInfo>
#include <QPalette>
#include <QStyleHints>

namespace {

bool OnGnome()
{
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
        .split(u':')
        .contains(QStringLiteral("GNOME"), Qt::CaseInsensitive);
}

// Qt takes its GTK theme on GNOME whenever it is installed.
bool GtkThemeInstalled()
{
    return QFileInfo::exists(QLibraryInfo::path(QLibraryInfo::PluginsPath) +
                             QStringLiteral("/platformthemes/libqgtk3.so"));
}

bool StylesAfterGnome()
{
    return OnGnome() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORMTHEME") && !GtkThemeInstalled();
}

// Whether Qt's theme tells the desktop's light or dark choice itself, and gives the colours for it.
bool QtFollowsColorScheme()
{
#if QT_VERSION >= QT_VERSION_CHECK(6, 5, 0)
    return QGuiApplication::styleHints()->colorScheme() != Qt::ColorScheme::Unknown;
#else
    return false;
#endif
}

// Colours near those of GNOME's dark style.
QPalette DarkPalette()
{
    const QColor window(0x30, 0x30, 0x30), base(0x24, 0x24, 0x24), button(0x3c, 0x3c, 0x3c);
    const QColor text(0xee, 0xee, 0xee), faint(0x8a, 0x8a, 0x8a), highlight(0x35, 0x84, 0xe4);
    QPalette palette(button, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::PlaceholderText, faint);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, highlight.lighter(130));
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, faint);
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    return palette;
}

// A font as GNOME names it: its family and styles, then its size in points ("Cantarell 11"); Qt's own for another.
QFont FontNamed(const QString &name)
{
    const qsizetype space = name.lastIndexOf(u' ');
    bool sized = false;
    const double points = space > 0 ? name.sliced(space + 1).toDouble(&sized) : 0;
    if (!sized || points <= 0)
        return QFont();
    QFont font(name.first(space));
    font.setPointSizeF(points);
    return font;
}

} // namespace

DesktopStyle::DesktopStyle(QObject *parent) : QObject(parent)
{
    if (!StylesAfterGnome())
        return;
    connect(&appearance_, &DesktopAppearance::Changed, this, [this] { Apply(); });
    appearance_.Watch();
}

// A palette or font set to nothing gives Qt's own back.
void DesktopStyle::Apply()
{
    const bool dark = appearance_.ColorScheme() == DesktopAppearance::Scheme::Dark && !QtFollowsColorScheme();
    QApplication::setPalette(dark ? DarkPalette() : QPalette());
    QApplication::setFont(FontNamed(appearance_.FontName()));
}
