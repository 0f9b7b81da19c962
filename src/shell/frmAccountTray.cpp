// The notification-area icon of the main window, its two menus, and coming forward for a second start.

#include "frmAccount.h"

#include "MsgBox.h"
#include "TrayEvents.h"

#include <QCursor>
#include <QMenu>
#include <QSystemTrayIcon>

#include <exception>

namespace {

constexpr std::int32_t LogonDone = 0;
constexpr std::int32_t LogonFailed = 1;

} // namespace

void frmAccount::AddTrayIcon()
{
    trayIcon = new QSystemTrayIcon(windowIcon(), this);
    trayIcon->setToolTip(QStringLiteral("Tarnwick"));
    connect(trayIcon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (const int code = TrayEventCode(reason))
            Form_MouseMove(code);
    });
    trayIcon->show();
}

void frmAccount::RemoveTrayIcon()
{
    // Unloading may be chosen from the icon's own menu, inside the icon's mouse handler: delete it after that.
    if (trayIcon)
        trayIcon->deleteLater();
    trayIcon = nullptr;
}

void frmAccount::Form_MouseMove(int code)
{
    if (isVisible()) {
        if (code == TrayDoubleClick)
            FinalWindowRequest();
        return;
    }
    if (TrayBusy)
        return;
    TrayBusy = true;
    try {
        HandleHiddenTrayEvent(code);
    } catch (const std::exception &) {
        // A failure while handling the event ends it silently.
    }
    TrayBusy = false;
}

void frmAccount::HandleHiddenTrayEvent(int code)
{
    if (code == TrayContextMenu) {
        (Unlocked_ ? mnuPopUp : mnuLogOnPopUpMenu)->exec(QCursor::pos());
        return;
    }
    if (code == TrayDoubleClick && LogOnUntilDone())
        ShowWindow();
}

// Logs on when nobody is, asking again after a failed logon; false when the person gave up.
bool frmAccount::LogOnUntilDone()
{
    while (!(LoggedOn_ && Unlocked_)) {
        const std::int32_t result = LogOn();
        if (result == LogonFailed)
            MsgBox(QStringLiteral("Logon failed."), vbOKOnly | vbCritical);
        else if (result != LogonDone)
            return false;
    }
    return true;
}

void frmAccount::ShowWindow()
{
    showNormal();
    FinalWindowRequest();
}

// Brings the window to the person's attention.
void frmAccount::FinalWindowRequest()
{
    raise();
    activateWindow();
}

void frmAccount::mnuLogOn_Click()
{
    try {
        LogOn();
    } catch (const std::exception &) {
        // The logon simply did not happen; the menu offers it again.
    }
}

void frmAccount::cmdRMessage_Click()
{
    ExternalActivate();
}

void frmAccount::ExternalActivate()
{
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
