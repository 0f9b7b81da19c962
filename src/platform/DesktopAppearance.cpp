#include "DesktopAppearance.h"

#include "ProcessPrivacy.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QTimer>

namespace {

const QString PortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString SettingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString AppearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString SchemeKey = QStringLiteral("color-scheme");
const QString GnomeInterfaceGroup = QStringLiteral("org.gnome.desktop.interface");
const QString FontKey = QStringLiteral("font-name");
// The portal is started on the first question, which takes a moment.
constexpr int PortalAnswerMs = 3000;

// The portal wraps each value in a variant of its own.
QVariant Unwrapped(QVariant value)
{
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>())
        value = value.value<QDBusVariant>().variant();
    return value;
}

} // namespace

// The portal answers only a process whose /proc entries it can open, which the program keeps closed: they are
// opened until both answers are in, each within its bound. Changes come as signals, which need no such look.
void DesktopAppearance::Watch()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    bus.connect(PortalService, PortalPath, SettingsInterface, QStringLiteral("SettingChanged"), this,
                SLOT(SettingChanged(QString, QString, QDBusVariant)));
    ShowProcessToUser();
    // Whatever becomes of the questions, the process is private again after their bound.
    QTimer::singleShot(PortalAnswerMs, this, [] { KeepMemoryPrivate(); });
    unanswered_ = 2;
    Read(AppearanceGroup, SchemeKey);
    Read(GnomeInterfaceGroup, FontKey);
}

void DesktopAppearance::Read(const QString &group, const QString &key)
{
    QDBusMessage read =
        QDBusMessage::createMethodCall(PortalService, PortalPath, SettingsInterface, QStringLiteral("Read"));
    read << group << key;
    auto *answer = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(read, PortalAnswerMs), this);
    connect(answer, &QDBusPendingCallWatcher::finished, this, [this, answer, group, key] {
        const QDBusPendingReply<QDBusVariant> reply = *answer;
        if (--unanswered_ == 0)
            KeepMemoryPrivate();
        if (reply.isValid())
            Take(group, key, reply.value().variant());
        answer->deleteLater();
    });
}

void DesktopAppearance::SettingChanged(const QString &group, const QString &key, const QDBusVariant &value)
{
    Take(group, key, value.variant());
}

void DesktopAppearance::Take(const QString &group, const QString &key, const QVariant &value)
{
    const QVariant plain = Unwrapped(value);
    if (group == AppearanceGroup && key == SchemeKey) {
        const uint number = plain.toUInt();
        scheme_ = number == 1 ? Scheme::Dark : number == 2 ? Scheme::Light : Scheme::NoPreference;
    } else if (group == GnomeInterfaceGroup && key == FontKey) {
        fontName_ = plain.toString();
    } else {
        return;
    }
    emit Changed();
}
