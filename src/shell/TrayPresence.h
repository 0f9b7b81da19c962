#pragma once

#include "TrayHost.h"

#include <QObject>

#include <optional>

class AccountSession;
class QAction;
class QMenu;
class QMenuBar;
class QSystemTrayIcon;
class QWidget;

// The icon's events the window acts on, by the codes the tray reports them with.
enum class TrayEvent
{
    DoubleClick = 515,
    ContextMenu = 517
};

// The tray menus' items, as a host that shows menus gets them, and the window's File menu for a desktop without a tray.
struct TrayMenus
{
    QAction *mnuLogOn, *mnuBLUnload, *mnuLeave1;
    QAction *mnuOpen, *mnuUnLoad, *mnuLeave2;
    QMenu *mnuFile;
};

// The program's presence on the desktop. Where there is a notification area, the icon, made as soon as a host is
// there, and on a host that shows menus the one menu that fits the logon state. Where none has come a moment after
// the start, the window itself, which then stays in the task bar with a menu bar offering "Exit", until a host
// comes and gets the icon.
class TrayPresence final : public QObject
{
    Q_OBJECT

public:
    TrayPresence(QWidget &window, const TrayMenus &menus, const AccountSession &session);

    // Makes the icon when a host is there now.
    void Show();
    // Watches for a host from now on; Missing when none has come after a moment.
    void Watch();
    // Shows the exported menu's items that fit the session's logon state now.
    void LogonStateChanged();
    void Remove();
    // True while the window is the program's only presence.
    bool WithoutTray() const { return withoutTray_; }
    // The window's menu bar, once a desktop without a tray needed it.
    QMenuBar *MenuBar() const { return menuBar_; }

signals:
    void Activated(TrayEvent event);
    // No host came: the window is the program's presence now and must come forward.
    void Missing();
    // The window's menu bar was shown or hidden.
    void MenuBarChanged();

private:
    void CreateIcon(TrayHost::Kind kind);
    QMenu *ExportedMenu();
    void HostChanged();
    void UseTray(bool tray);

    QWidget &window_;
    TrayMenus menus_;
    const AccountSession &session_;
    TrayHost *host_ = nullptr;
    QSystemTrayIcon *icon_ = nullptr;
    bool hostShowsMenus_ = false;
    // The menu given to a host that shows menus, and the logon state it shows.
    QMenu *exportedMenu_ = nullptr;
    QAction *exportedSeparator_ = nullptr;
    std::optional<bool> exportedUnlocked_;
    bool withoutTray_ = false;
    QMenuBar *menuBar_ = nullptr;
};
