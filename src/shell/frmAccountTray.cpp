// The notification-area icon of the main window, its two menus, coming forward for a second start, and
// staying reachable on a desktop without a notification area.

#include "frmAccount.h"

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
constexpr int TrayHostPollMs = 100;
// Without a host, how often to look whether one has come.
constexpr int TrayHostWatchMs = 1000;

// Wayland lets no program place a menu by itself: there only the host shows the tray menu.
bool CanPlaceMenus()
{
    return !QGuiApplication::platformName().startsWith(QStringLiteral("wayland"));
}

} // namespace

void frmAccount::AddTrayIcon()
{
    hostShowsMenus_ = TrayHostShowsMenus();
    trayIcon = new QSystemTrayIcon(windowIcon(), this);
    trayIcon->setToolTip(QStringLiteral("Tarnwick"));
    ExportTrayMenu();
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

// A host that shows menus gets the one that fits the logon state; an XEmbed tray asks for it at each right click.
void frmAccount::ExportTrayMenu()
{
    if (trayIcon && hostShowsMenus_)
        trayIcon->setContextMenu(session_->Unlocked() ? mnuPopUp : mnuLogOnPopUpMenu);
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
        if (CanPlaceMenus())
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

void frmAccount::mnuOpen_Click()
{
    if (!RaiseOpenLogon())
        ShowWindow();
}

void frmAccount::mnuLogOn_Click()
{
    if (RaiseOpenLogon())
        return;
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
    trayWatch_ = new QTimer(this);
    connect(trayWatch_, &QTimer::timeout, this, [this] { trayWatch_Timer(); });
    trayWatch_->start(TrayHostPollMs);
    trayWaitStarted_.start();
}

void frmAccount::trayWatch_Timer()
{
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        trayWatch_->stop();
        if (withoutTray_)
            UseTray(true);
    } else if (!withoutTray_ && trayWaitStarted_.hasExpired(TrayHostWaitMs)) {
        trayWatch_->setInterval(TrayHostWatchMs);
        UseTray(false);
        ComeForwardWithoutTray();
    }
}

// True while the program runs without a tray; a host that has come since the last look ends that at once.
bool frmAccount::WithoutTray()
{
    if (withoutTray_ && QSystemTrayIcon::isSystemTrayAvailable()) {
        trayWatch_->stop();
        UseTray(true);
    }
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
