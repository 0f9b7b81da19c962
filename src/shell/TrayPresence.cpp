#include "TrayPresence.h"

#include "AccountSession.h"

#include <QCursor>
#include <QMenu>
#include <QTimer>
#include <QWidget>

namespace {

// A tray host starting with the session may come up a moment after the program.
constexpr int TrayHostWaitMs = 1000;

QAction *AddItem(QMenu &menu, const QString &text, const char *name)
{
    QAction *item = menu.addAction(text);
    item->setObjectName(QLatin1String(name));
    return item;
}

} // namespace

TrayPresence::TrayPresence(QWidget &window, const AccountSession &session) : QObject(&window), session_(session)
{
    CreateMenus(window);
}

// The commands run once the menu is answered: a host showing an exported menu waits for that.
void TrayPresence::CreateMenus(QWidget &window)
{
    mnuPopUp = new QMenu(QStringLiteral("Pop-up menu"), &window);
    mnuOpen = AddItem(*mnuPopUp, QStringLiteral("&Open"), "mnuOpen");
    mnuPopUp->addSeparator();
    mnuUnLoad = AddItem(*mnuPopUp, QStringLiteral("&Unload"), "mnuUnLoad");
    mnuPopUp->addSeparator();
    mnuLeave2 = AddItem(*mnuPopUp, QStringLiteral("&Leave menu"), "mnuLeave2");

    mnuLogOnPopUpMenu = new QMenu(QStringLiteral("BeforeLogon"), &window);
    mnuLogOn = AddItem(*mnuLogOnPopUpMenu, QStringLiteral("&Log in"), "mnuLogOn");
    mnuLogOnPopUpMenu->addSeparator();
    mnuBLUnload = AddItem(*mnuLogOnPopUpMenu, QStringLiteral("&Unload"), "mnuBLUnload");
    mnuLogOnPopUpMenu->addSeparator();
    mnuLeave1 = AddItem(*mnuLogOnPopUpMenu, QStringLiteral("&Leave menu"), "mnuLeave1");

    connect(mnuOpen, &QAction::triggered, this, &TrayPresence::OpenChosen, Qt::QueuedConnection);
    connect(mnuLogOn, &QAction::triggered, this, &TrayPresence::LogOnChosen, Qt::QueuedConnection);
    for (QAction *unload : {mnuUnLoad, mnuBLUnload})
        connect(unload, &QAction::triggered, this, &TrayPresence::UnloadChosen, Qt::QueuedConnection);
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
    auto *window = static_cast<QWidget *>(parent());
    icon_ = new QSystemTrayIcon(window->windowIcon(), this);
    icon_->setToolTip(QStringLiteral("Tarnwick"));
    if (hostShowsMenus_) {
        icon_->setContextMenu(ExportedMenu());
        LogonStateChanged();
    }
    // Handled once the event's sender has its answer: a D-Bus host waits for it, and a logon takes minutes.
    connect(icon_, &QSystemTrayIcon::activated, this, &TrayPresence::Activated, Qt::QueuedConnection);
    icon_->show();
}

// On a host that shows menus a click counts as a double click, so the window can be reached on every desktop.
void TrayPresence::Activated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick || (reason == QSystemTrayIcon::Trigger && hostShowsMenus_))
        emit DoubleClicked();
    else if (reason == QSystemTrayIcon::Context)
        emit ContextMenuRequested();
}

// The one menu a host that shows menus is given: the items of both tray menus, those of the menu that fits the logon
// state visible. A host may keep an item's ID from an earlier reading, which then still does what it says.
QMenu *TrayPresence::ExportedMenu()
{
    exportedMenu_ = new QMenu(mnuPopUp->parentWidget());
    exportedMenu_->addActions({mnuLogOn, mnuOpen});
    exportedMenu_->addSeparator();
    exportedMenu_->addActions({mnuBLUnload, mnuUnLoad});
    exportedSeparator_ = exportedMenu_->addSeparator();
    exportedMenu_->addActions({mnuLeave1, mnuLeave2});
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
    for (QAction *before : {mnuLogOn, mnuBLUnload, mnuLeave1})
        before->setVisible(!unlocked);
    for (QAction *after : {mnuOpen, mnuUnLoad, mnuLeave2})
        after->setVisible(unlocked);
    exportedMenu_->removeAction(exportedSeparator_);
    exportedMenu_->insertAction(mnuLeave1, exportedSeparator_);
}

void TrayPresence::PopUpMenu()
{
    (session_.Unlocked() ? mnuPopUp : mnuLogOnPopUpMenu)->exec(QCursor::pos());
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
            if (!icon_)
                emit Missing();
        });
}

// A host that comes gets the icon.
void TrayPresence::HostChanged()
{
    if (icon_)
        return;
    if (const TrayHost::Kind kind = host_->Current(); kind != TrayHost::Kind::None) {
        CreateIcon(kind);
        emit IconShown();
    }
}
