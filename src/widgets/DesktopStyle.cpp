#include "DesktopStyle.h"

#include <QApplication>

namespace {

bool OnKde()
{
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':').contains(QStringLiteral("KDE"));
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

// A font as GNOME names it: its family and styles, then its size in points ("Cantarell 11").
QFont FontNamed(const QString &name, const QFont &otherwise)
{
    const qsizetype space = name.lastIndexOf(u' ');
    bool sized = false;
    const double points = space > 0 ? name.sliced(space + 1).toDouble(&sized) : 0;
    if (!sized || points <= 0)
        return otherwise;
    QFont font(name.first(space));
    font.setPointSizeF(points);
    return font;
}

} // namespace

DesktopStyle::DesktopStyle(QObject *parent)
    : QObject(parent), light_(QApplication::palette()), font_(QApplication::font())
{
    if (OnKde())
        return;
    connect(&appearance_, &DesktopAppearance::Changed, this, [this] { Apply(); });
    appearance_.Watch();
}

void DesktopStyle::Apply()
{
    const bool dark = appearance_.ColorScheme() == DesktopAppearance::Scheme::Dark;
    QApplication::setPalette(dark ? DarkPalette() : light_);
    QApplication::setFont(FontNamed(appearance_.FontName(), font_));
}
