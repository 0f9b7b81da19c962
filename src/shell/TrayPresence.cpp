#include "TrayPresence.h"

#include "AccountSession.h"

#include <QMenu>
#include <QMenuBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace {

// A tray host starting with the session may come up a moment after the program.
constexpr int TrayHostWaitMs = 1000;

// The event of an activation of the icon, or nothing for one the window ignores. On a host that shows menus a
// click counts as a double click, so the window can be reached on every desktop.
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

} // namespace

TrayPresence::TrayPresence(QWidget &window, const TrayMenus &menus, const AccountSession &session)
    : QObject(&window), window_(window), menus_(menus), session_(session)
{
}

// Made only once a host is there: the kind of icon Qt makes is the kind of host there at its first question.
void TrayPresence::Show()
{
    host_ = new TrayHost(this);
    if (const TrayHost::Kind kind = host_->Current(); kind != TrayHost::Kind::None)
        CreateIcon(kind);
}

void TrayPresence::CreateIcon(TrayHost::Kind kind)
{
    hostShowsMenus_ = kind == TrayHost::Kind::StatusNotifier;
    icon_ = new QSystemTrayIcon(window_.windowIcon(), this);
    icon_->setToolTip(QStringLiteral("Tarnwick"));
    if (hostShowsMenus_) {
        icon_->setContextMenu(ExportedMenu());
        LogonStateChanged();
    }
    // Handled once the event's sender has its answer: a D-Bus host waits for it, and a logon takes minutes.
    connect(
        icon_, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (const std::optional<TrayEvent> event = TrayEventOf(reason, hostShowsMenus_))
                emit Activated(*event);
        },
        Qt::QueuedConnection);
    icon_->show();
}

// The one menu a host that shows menus is given: the items of both tray menus, those of the menu that fits the logon
// state visible. A host may keep an item's ID from an earlier reading, which then still does what it says.
QMenu *TrayPresence::ExportedMenu()
{
    exportedMenu_ = new QMenu(&window_);
    exportedMenu_->addActions({menus_.mnuLogOn, menus_.mnuOpen});
    exportedMenu_->addSeparator();
    exportedMenu_->addActions({menus_.mnuBLUnload, menus_.mnuUnLoad});
    exportedSeparator_ = exportedMenu_->addSeparator();
    exportedMenu_->addActions({menus_.mnuLeave1, menus_.mnuLeave2});
    return exportedMenu_;
}

// A host that keeps the menu (GNOME's extension) reads it again only when its layout changes, which taking a
// separator out and putting it back tells it.
void TrayPresence::LogonStateChanged()
{
    const bool unlocked = session_.Unlocked();
    if (!exportedMenu_ || exportedUnlocked_ == unlocked)
        return;
    exportedUnlocked_ = unlocked;
    for (QAction *before : {menus_.mnuLogOn, menus_.mnuBLUnload, menus_.mnuLeave1})
        before->setVisible(!unlocked);
    for (QAction *after : {menus_.mnuOpen, menus_.mnuUnLoad, menus_.mnuLeave2})
        after->setVisible(unlocked);
    exportedMenu_->removeAction(exportedSeparator_);
    exportedMenu_->insertAction(menus_.mnuLeave1, exportedSeparator_);
}

void TrayPresence::Remove()
{
    // Unloading may be chosen from the icon's own menu, inside the icon's mouse handler: delete it after that.
    if (icon_)
        icon_->deleteLater();
    icon_ = nullptr;
}

void TrayPresence::Watch()
{
    host_->Watch();
    connect(host_, &TrayHost::Changed, this, [this] { HostChanged(); });
    if (!icon_)
        QTimer::singleShot(TrayHostWaitMs, this, [this] {
            if (!icon_) {
                UseTray(false);
                emit Missing();
            }
        });
}

// A host that comes gets the icon, and the window without a tray goes back to hiding in it.
void TrayPresence::HostChanged()
{
    if (icon_)
        return;
    if (const TrayHost::Kind kind = host_->Current(); kind != TrayHost::Kind::None) {
        CreateIcon(kind);
        if (withoutTray_)
            UseTray(true);
    }
}

// Without a tray the window is the program's only presence: its menu bar offers "Exit".
void TrayPresence::UseTray(bool tray)
{
    withoutTray_ = !tray;
    if (!menuBar_) {
        menuBar_ = new QMenuBar(&window_);
        menuBar_->addMenu(menus_.mnuFile);
    }
    menuBar_->setHidden(!withoutTray_);
    emit MenuBarChanged();
}
