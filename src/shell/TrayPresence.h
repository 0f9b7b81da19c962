#pragma once

#include "TrayHost.h"

#include <QObject>
#include <QSystemTrayIcon>

#include <optional>

class AccountSession;
class QAction;
class QMenu;
class QWidget;

// The program's icon in the notification area, made as soon as a host is there, with the tray's two menus: the one
// before a logon ("BeforeLogon") and the one after it ("Pop-up menu"). A host that shows menus itself gets one menu
// holding both, of which the items that fit the logon state show. Each activation of the icon and each menu command
// arrives as a signal of its own; a host that has not come a moment after the start is reported as missing.
class TrayPresence final : public QObject
{
    Q_OBJECT

public:
    // The menus belong to the window, which places them and keeps their style.
    TrayPresence(QWidget &window, const AccountSession &session);

    // Makes the icon when a host is there now.
    void Show();
    // Watches for a host from now on: Missing when none has come after a moment, IconShown when one comes later.
    void Watch();
    // Shows the exported menu's items that fit the session's logon state now.
    void LogonStateChanged();
    // Opens the menu that fits the logon state at the pointer, for a host that leaves menus to the program.
    void PopUpMenu();
    void Remove();

signals:
    void DoubleClicked();
    void ContextMenuRequested();
    void OpenChosen();
    void LogOnChosen();
    void UnloadChosen();
    // No host came: the window is the program's presence now.
    void Missing();
    // A host came after the program had started without one.
    void IconShown();

private:
    void CreateMenus(QWidget &window);
    void CreateIcon(TrayHost::Kind kind);
    void Activated(QSystemTrayIcon::ActivationReason reason);
    QMenu *ExportedMenu();
    void HostChanged();

    const AccountSession &session_;
    QMenu *mnuPopUp = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuUnLoad = nullptr;
    QAction *mnuLeave2 = nullptr;
    QMenu *mnuLogOnPopUpMenu = nullptr;
    QAction *mnuLogOn = nullptr;
    QAction *mnuBLUnload = nullptr;
    QAction *mnuLeave1 = nullptr;
    TrayHost *host_ = nullptr;
    QSystemTrayIcon *icon_ = nullptr;
    bool hostShowsMenus_ = false;
    // The menu given to a host that shows menus, and the logon state it shows.
    QMenu *exportedMenu_ = nullptr;
    QAction *exportedSeparator_ = nullptr;
    std::optional<bool> exportedUnlocked_;
};
