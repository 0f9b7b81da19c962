#pragma once

#include <QObject>
#include <QString>

class QDBusVariant;

// The desktop's light or dark choice and its interface font, where it says them: the settings portal's
// org.freedesktop.appearance color-scheme, and GNOME's org.gnome.desktop.interface font-name, which GNOME's portal
// passes on. Asked over the session bus without waiting, each answer within a bound, and followed as they change.
class DesktopAppearance : public QObject
{
    Q_OBJECT

public:
    enum class Scheme
    {
        NoPreference,
        Dark,
        Light
    };

    using QObject::QObject;

    // Asks now; Changed comes with each answer and each change.
    void Watch();
    Scheme ColorScheme() const { return scheme_; }
    // As the desktop writes it, "Cantarell 11" say; empty while it names none.
    const QString &FontName() const { return fontName_; }

signals:
    void Changed();

private slots:
    void SettingChanged(const QString &group, const QString &key, const QDBusVariant &value);

private:
    void Read(const QString &group, const QString &key);
    void Take(const QString &group, const QString &key, const QVariant &value);

    int unanswered_ = 0;
    Scheme scheme_ = Scheme::NoPreference;
    QString fontName_;
};
