// The notification-area icon of the main window, its two menus, coming forward for a second start, and
// staying reachable on a desktop without a notification area.

#include "frmAccount.h"

#include "Display.h"
#include "Modal.h"
#include "MsgBox.h"
#include "TrayEvents.h"

#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QScopedValueRollback>
#include <QSystemTrayIcon>
#include <QTimer>

#include <exception>
#include <utility>

namespace {

// A tray host starting with the session may come up a moment after the program.
constexpr int TrayHostWaitMs = 1000;

} // namespace

// Made only once a host is there: the kind of icon Qt makes is the kind of host there at its first question.
void frmAccount::AddTrayIcon()
{
    trayHost_ = new TrayHost(this);
    if (const TrayHost::Kind kind = trayHost_->Current(); kind != TrayHost::Kind::None)
        CreateTrayIcon(kind);
}

void frmAccount::CreateTrayIcon(TrayHost::Kind kind)
{
    hostShowsMenus_ = kind == TrayHost::Kind::StatusNotifier;
    trayIcon = new QSystemTrayIcon(windowIcon(), this);
    trayIcon->setToolTip(QStringLiteral("Tarnwick"));
    if (hostShowsMenus_) {
        trayIcon->setContextMenu(ExportedTrayMenu());
        ExportTrayMenu();
    }
    // Handled once the event's sender has its answer: a D-Bus host waits for it, and a logon takes minutes.
    connect(
        trayIcon, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            if (const std::optional<TrayEvent> event = TrayEventOf(reason, hostShowsMenus_))
                Form_MouseMove(*event);
        },
        Qt::QueuedConnection);
    trayIcon->show();
}

// The one menu a host that shows menus is given: the items of both tray menus, those of the menu that fits the logon
// state visible. A host may keep an item's ID from an earlier reading, which then still does what it says.
QMenu *frmAccount::ExportedTrayMenu()
{
    exportedMenu_ = new QMenu(this);
    exportedMenu_->addActions({mnuLogOn, mnuOpen});
    exportedMenu_->addSeparator();
    exportedMenu_->addActions({mnuBLUnload, mnuUnLoad});
    exportedSeparator_ = exportedMenu_->addSeparator();
    exportedMenu_->addActions({mnuLeave1, mnuLeave2});
    return exportedMenu_;
}

// Shows the items of the menu that fits the logon state. A host that keeps the menu (GNOME's extension) reads it
// again only when its layout changes, which taking a separator out and putting it back tells it.
void frmAccount::ExportTrayMenu()
{
    const bool unlocked = session_->Unlocked();
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

void frmAccount::RemoveTrayIcon()
{
    // Unloading may be chosen from the icon's own menu, inside the icon's mouse handler: delete it after that.
    if (trayIcon)
        trayIcon->deleteLater();
    trayIcon = nullptr;
}

void frmAccount::Form_MouseMove(TrayEvent event)
{
    if (RaiseOpenLogon())
        return;
    if (isVisible()) {
        if (event == TrayEvent::DoubleClick)
            FinalWindowRequest();
        return;
    }
    if (TrayBusy)
        return;
    TrayBusy = true;
    try {
        HandleHiddenTrayEvent(event);
    } catch (const std::exception &) {
        // A failure while handling the event ends it silently.
    }
    TrayBusy = false;
}

void frmAccount::HandleHiddenTrayEvent(TrayEvent event)
{
    if (event == TrayEvent::ContextMenu) {
        if (ProgramPlacesWindows())
            (session_->Unlocked() ? mnuPopUp : mnuLogOnPopUpMenu)->exec(QCursor::pos());
        return;
    }
    if (event == TrayEvent::DoubleClick && LogOnUntilDone())
        ShowWindow();
}

// Logs on when nobody is, asking again after a failed logon; false when the person gave up. Each round waits
// for the person, so the loop ends with them.
bool frmAccount::LogOnUntilDone()
{
    const QScopedValueRollback underWay(loggingOn_, true);
    for (;;) {
        const LogonResult result = LogOn();
        ExportTrayMenu();
        if (result == LogonResult::Done)
            return session_->LoggedOn() && session_->Unlocked();
        if (result != LogonResult::Failed)
            return false;
        MsgBox(QStringLiteral("Logon failed."), vbOKOnly | vbCritical);
    }
}

// While a logon is under way its open step (a question, a dialog, a message) is the only thing to come forward:
// a logon started inside it would work on the same user and flags.
bool frmAccount::RaiseOpenLogon()
{
    if (!loggingOn_)
        return false;
    if (QDialog *step = OpenModal()) {
        step->raise();
        step->activateWindow();
    }
    return true;
}

void frmAccount::ShowWindow()
{
    // When the window manager restored a window the program had minimised, Qt keeps the window's "start iconic"
    // hint, and showing it again would start it minimised. A new native window starts without it.
    if (std::exchange(iconicHintLeft_, false) && !isVisible())
        destroy();
    showNormal();
    FinalWindowRequest();
}

// Brings the window to the person's attention.
void frmAccount::FinalWindowRequest()
{
    raise();
    activateWindow();
}

// Before a logon it can be chosen only from a host's menu read earlier: the logon comes first, as for a double click.
void frmAccount::mnuOpen_Click()
{
    ExternalActivate();
}

// Chosen after a logon only from a host's menu read before it: the window is what the person wants then.
void frmAccount::mnuLogOn_Click()
{
    if (RaiseOpenLogon())
        return;
    if (session_->LoggedOn() && session_->Unlocked()) {
        ShowWindow();
        return;
    }
    const QScopedValueRollback underWay(loggingOn_, true);
    try {
        LogOn();
    } catch (const std::exception &) {
        // The logon simply did not happen; the menu offers it again.
    }
    ExportTrayMenu();
}

void frmAccount::cmdRMessage_Click()
{
    ExternalActivate();
}

void frmAccount::ExternalActivate()
{
    if (RaiseOpenLogon())
        return;
    if (isVisible()) {
        FinalWindowRequest();
        return;
    }
    try {
        if (LogOnUntilDone())
            ShowWindow();
    } catch (const std::exception &) {
        // The logon could not be completed; the window stays hidden.
    }
}

void frmAccount::WatchTrayHost()
{
    trayHost_->Watch();
    connect(trayHost_, &TrayHost::Changed, this, [this] { TrayHostChanged(); });
    if (!trayIcon)
        QTimer::singleShot(TrayHostWaitMs, this, [this] {
            if (!trayIcon) {
                UseTray(false);
                ComeForwardWithoutTray();
            }
        });
}

// A host that comes gets the icon, and the window without a tray goes back to hiding in it.
void frmAccount::TrayHostChanged()
{
    if (trayIcon)
        return;
    if (const TrayHost::Kind kind = trayHost_->Current(); kind != TrayHost::Kind::None) {
        CreateTrayIcon(kind);
        if (withoutTray_)
            UseTray(true);
    }
}

bool frmAccount::WithoutTray() const
{
    return withoutTray_;
}

// Without a tray the window is the program's only presence: the close box and minimising leave it in the task
// bar, and its menu bar offers "Exit".
void frmAccount::UseTray(bool tray)
{
    withoutTray_ = !tray;
    if (!menuBar_) {
        menuBar_ = new QMenuBar(this);
        menuBar_->addMenu(mnuFile);
    }
    menuBar_->setVisible(withoutTray_);
    if (arranged_)
        Arrange(scale_);
}

// Logs on as a double click would and shows the window; a person who gives up the logon ends the program, which
// would otherwise run on with nothing to show. A logon already under way (a second start's) is left to end alone.
void frmAccount::ComeForwardWithoutTray()
{
    if (RaiseOpenLogon())
        return;
    ExternalActivate();
    if (!isVisible() && withoutTray_)
        Unload();
}
