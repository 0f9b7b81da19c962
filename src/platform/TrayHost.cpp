#include "TrayHost.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QGuiApplication>
#include <QTimer>

#include <xcb/xcb.h>

#include <utility>

namespace {

const QString WatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString WatcherPath = QStringLiteral("/StatusNotifierWatcher");
// A bus that does not answer at once counts as no host.
constexpr int HostAnswerMs = 500;
// How often the X selection is looked at while there is no tray.
constexpr int XEmbedPollMs = 1000;

QDBusMessage HostQuestion()
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        WatcherService, WatcherPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << WatcherService << QStringLiteral("IsStatusNotifierHostRegistered");
    return get;
}

bool SaysHostRegistered(const QDBusMessage &answer)
{
    return answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty() &&
           answer.arguments().first().value<QDBusVariant>().variant().toBool();
}

bool Unanswered(const QDBusMessage &answer)
{
    return answer.type() == QDBusMessage::ErrorMessage && QDBusError(answer).type() == QDBusError::NoReply;
}

} // namespace

// The X server's selection of the system tray of the default screen; nothing to look at without X.
class TrayHost::XEmbedSelection
{
public:
    XEmbedSelection()
    {
        const auto *x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        connection_ = x11 ? x11->connection() : nullptr;
        if (!connection_)
            return;
        const QByteArray name = "_NET_SYSTEM_TRAY_S" + QByteArray::number(DefaultScreen());
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, false, static_cast<uint16_t>(name.size()), name.constData()),
            nullptr);
        atom_ = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
    }

    bool Owned() const
    {
        if (!connection_ || atom_ == XCB_ATOM_NONE)
            return false;
        xcb_get_selection_owner_reply_t *reply =
            xcb_get_selection_owner_reply(connection_, xcb_get_selection_owner(connection_, atom_), nullptr);
        const bool owned = reply && reply->owner != XCB_WINDOW_NONE;
        free(reply);
        return owned;
    }

private:
    // The screen the display names, as ":0.1" names screen 1.
    static int DefaultScreen()
    {
        const QByteArray display = qgetenv("DISPLAY");
        const qsizetype dot = display.lastIndexOf('.');
        return dot > display.lastIndexOf(':') ? display.mid(dot + 1).toInt() : 0;
    }

    xcb_connection_t *connection_ = nullptr;
    xcb_atom_t atom_ = XCB_ATOM_NONE;
};

TrayHost::TrayHost(QObject *parent) : QObject(parent), xembed_(std::make_unique<XEmbedSelection>())
{
}

TrayHost::~TrayHost() = default;

TrayHost::Kind TrayHost::Current()
{
    if (std::exchange(hostAnsweredLate_, false))
        return Kind::StatusNotifier;
    const QDBusMessage answer = QDBusConnection::sessionBus().call(HostQuestion(), QDBus::Block, HostAnswerMs);
    if (SaysHostRegistered(answer))
        return Kind::StatusNotifier;
    if (Unanswered(answer))
        AskHostWithoutWaiting();
    return xembed_->Owned() ? Kind::XEmbed : Kind::None;
}

// A watcher too busy to answer at once, as on a desktop still starting, sends no word when it does answer: it is
// asked again without waiting, and a host it then has counts as one that came.
void TrayHost::AskHostWithoutWaiting()
{
    if (askingHost_)
        return;
    askingHost_ = true;
    auto *pending = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(HostQuestion()), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, pending] {
        pending->deleteLater();
        askingHost_ = false;
        const QDBusMessage answer = pending->reply();
        if (Unanswered(answer)) {
            AskHostWithoutWaiting();
        } else if (SaysHostRegistered(answer)) {
            hostAnsweredLate_ = true;
            emit Changed();
        }
    });
}

void TrayHost::Watch()
{
    if (watching_)
        return;
    watching_ = true;
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto *service = new QDBusServiceWatcher(WatcherService, bus, QDBusServiceWatcher::WatchForOwnerChange, this);
    connect(service, &QDBusServiceWatcher::serviceOwnerChanged, this, &TrayHost::StatusNotifierWatcherChanged);
    bus.connect(WatcherService, WatcherPath, WatcherService, QStringLiteral("StatusNotifierHostRegistered"), this,
                SLOT(StatusNotifierWatcherChanged()));
    xembedOwned_ = xembed_->Owned();
    auto *poll = new QTimer(this);
    connect(poll, &QTimer::timeout, this, &TrayHost::XEmbedPoll);
    poll->start(XEmbedPollMs);
}

void TrayHost::StatusNotifierWatcherChanged()
{
    emit Changed();
}

void TrayHost::XEmbedPoll()
{
    const bool owned = xembed_->Owned();
    if (owned != xembedOwned_) {
        xembedOwned_ = owned;
        emit Changed();
    }
}
