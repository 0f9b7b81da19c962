#pragma once

#include <QObject>

#include <memory>

// The notification area the desktop offers now, and word when one comes or goes: a StatusNotifierItem host (a
// watcher on the session bus with a host registered, as Plasma, XFCE, GNOME's AppIndicator extension and waybar
// give) or an XEmbed tray (the X selection _NET_SYSTEM_TRAY_S<screen>, as trayer gives; none under Wayland).
//
// Qt chooses once per process, at its first question about trays, between an icon for a StatusNotifierItem host and
// one for an XEmbed tray: nothing here asks Qt, so that a tray icon made once a host is there is of the kind the
// host shows. Every question to the bus or the X server is bounded.
class TrayHost : public QObject
{
    Q_OBJECT

public:
    enum class Kind
    {
        None,
        StatusNotifier,
        XEmbed
    };

    explicit TrayHost(QObject *parent = nullptr);
    ~TrayHost() override;

    // What is there now; a StatusNotifierItem host when there are both.
    Kind Current();
    // Emits Changed from now on, within a second of a host coming or going.
    void Watch();

signals:
    void Changed();

private slots:
    void StatusNotifierWatcherChanged();

private:
    class XEmbedSelection;
    void XEmbedPoll();
    void AskHostWithoutWaiting();

    std::unique_ptr<XEmbedSelection> xembed_;
    bool xembedOwned_ = false;
    bool watching_ = false;
    // A question to a busy watcher is under way; its answer that a host is there is taken at the next Current().
    bool askingHost_ = false;
    bool hostAnsweredLate_ = false;
};
