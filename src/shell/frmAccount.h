#pragma once

#include "AccountSession.h"
#include "TrayPresence.h"
#include "frmAccountControls.h"

#include <QWidget>

#include <functional>
#include <memory>

class AccountEditor;
class Database;
class LogonFlow;
class WindowSettings;
class clsParameters;

// The main window: the program's start-up and shut-down, and the entry points through which its events reach the
// logon, the account editor, the tray presence and the window settings. It owns the session (the open database,
// the logon state, the accounts) and the parameter table for the whole run. It is created hidden; closing or
// minimising it only hides it, and unloading it ends the program.
class frmAccount final : public QWidget, public frmAccountControls
{
    Q_OBJECT

public:
    frmAccount();
    ~frmAccount() override;

    // Opens the account database, or raises StoreError.
    using DatabaseOpener = std::function<std::shared_ptr<Database>()>;

    // The start-up sequence, with the database at the path given or from the opener. False when
    // the program must end at once; the exit status is then ExitStatus(). When the database cannot be opened,
    // "Cannot open database." is followed by why, when the file holds what the program does not make or the
    // program refused one of its files (a link, a FIFO, ...), or else by the advice, asked for only then.
    bool Form_Load(const QString &databasePath);
    bool Form_Load(const DatabaseOpener &openDatabase, const std::function<QString()> &advice = {});
    int ExitStatus() const { return exitStatus_; }
    // Unloading the window: runs the shut-down sequence once and ends the program. When the shown account's edits
    // cannot be saved, the person is told and chooses between trying again and calling the unload off, which
    // leaves the program running with the window showing the edits.
    void Unload();
    // The unload when nobody can be asked (the session ends, a signal came): a failing save is tried again,
    // without questions, until 10 s have passed; then the program ends all the same. Called while an unload waits
    // in its question, it does that unload's work: the caller must then end the process, not return into it.
    void UnloadUnattended();

    // Brings the program forward, logging on first when nobody is logged on; a second start's request comes here.
    // While a logon is under way, it and every other way of coming forward only bring that logon's open dialog
    // forward, and return at once.
    void ExternalActivate();
    // Watches for a tray host from now on: when none has come after a moment, the program logs on and shows its
    // window by itself, and keeps it in the task bar until a host comes, which then gets the icon.
    void WatchTrayHost();
    bool AcctWasChanged() const;
    void AcctWasChanged(bool value);
    LogonResult CheckPassword(const QString &UserName);

    // The session, for the tray and for tests; it exists from a successful Form_Load on.
    const AccountSession &Session() const { return *session_; }

    void Form_MouseMove(TrayEvent event);
    LogonResult LogOn();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void ConnectMenus();
    void ArrangeControls();
    // Arranges the controls for the desktop's font before the window is first shown.
    void ArrangeOnce();

    // Start-up and shut-down
    void Form_QueryUnload(bool &Cancel);
    void Form_Resize();
    void Form_Activate();
    enum class UnloadMode
    {
        Asking,
        Unattended
    };
    void Unload(UnloadMode mode);
    void Form_Unload(UnloadMode mode, bool &Cancel);
    bool SaveBeforeUnload(UnloadMode mode);
    void KeepUnsavedEdit();
    void OfferUnsavedEdit();
    void mnuExit_Click();
    std::optional<QString> OpenAccountDatabase(const DatabaseOpener &openDatabase);
    void chkFloat_Click();

    // Coming forward
    void ComeForwardWithoutTray();
    void ShowWindow();
    void FinalWindowRequest();
    void HandleHiddenTrayEvent(TrayEvent event);
    bool LogOnUntilDone();
    bool RaiseOpenLogon();
    void mnuOpen_Click();
    void mnuLogOn_Click();

    // Accounts, carried out by the editor
    AccountEditor &Editor();
    void EnableFields(bool enabled);
    void mnuAddNew_Click();
    void cmdAddAccount_Click();
    void mnuDelete_Click();

    std::unique_ptr<clsParameters> Params;
    std::unique_ptr<AccountSession> session_;
    std::unique_ptr<LogonFlow> logon_;
    std::unique_ptr<AccountEditor> editor_;
    std::unique_ptr<WindowSettings> settings_;
    TrayPresence *tray_ = nullptr;
    bool TrayBusy = false;
    // From the start of a logon until its last question or message is answered.
    bool loggingOn_ = false;
    // Set when the program minimised the window; see ShowWindow.
    bool iconicHintLeft_ = false;
    // Whether the window has been on the screen since the program last showed it.
    bool paintedSinceShown_ = false;
    bool unloaded_ = false;
    // While an unload waits for the person's answer.
    bool asking_ = false;
    bool arranged_ = false;
    int exitStatus_ = 0;
};
