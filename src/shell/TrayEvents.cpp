#include "TrayEvents.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>

namespace {

// A host that does not answer at once counts as none.
constexpr int HostAnswerMs = 500;

} // namespace

bool TrayHostShowsMenus()
{
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusMessage get =
        QDBusMessage::createMethodCall(watcher, QStringLiteral("/StatusNotifierWatcher"),
                                       QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    const QDBusMessage answer = QDBusConnection::sessionBus().call(get, QDBus::Block, HostAnswerMs);
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
           answer.arguments().first().value<QDBusVariant>().variant().toBool();
}

std::optional<TrayEvent> TrayEventOf(QSystemTrayIcon::ActivationReason reason, bool hostShowsMenus)
{
    switch (reason) {
    case QSystemTrayIcon::DoubleClick:
        return TrayEvent::DoubleClick;
    case QSystemTrayIcon::Context:
        return TrayEvent::ContextMenu;
    case QSystemTrayIcon::Trigger:
        return hostShowsMenus ? std::optional(TrayEvent::DoubleClick) : std::nullopt;
    default:
        return std::nullopt;
    }
}
