#pragma once

#include "AccountSession.h"
#include "FailureReport.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class Database;
class LogonFlow;
class TrayPresence;
class clsParameters;
class frmAccount;

// The running program: its start-up and shut-down, the session (the open database, the logon state, the
// accounts) with the parameter table, the logon, and the ways of coming forward (the tray presence's signals, a
// second start's request, a desktop without a tray). The main window shows and edits; this decides when.
class Program final : public QObject
{
    Q_OBJECT

public:
    Program();
    ~Program() override;

    // Opens the account database, or raises StoreError.
    using DatabaseOpener = std::function<std::shared_ptr<Database>()>;

    // The start-up sequence, with the database at the path given or from the opener. False when the program must
    // end at once; the exit status is then ExitStatus(). When the database cannot be opened, "Cannot open
    // database." is followed by why, when the file holds what the program does not make or the program refused
    // one of its files (a link, a FIFO, ...), or else by the advice, asked for only then.
    bool Load(const QString &databasePath);
    bool Load(const DatabaseOpener &openDatabase, const std::function<QString()> &advice = {});
    int ExitStatus() const { return exitStatus_; }
    // Runs the shut-down sequence once and ends the program. When the shown account's edits cannot be saved, the
    // person is told and chooses between trying again and calling the unload off, which leaves the program
    // running with the window showing the edits.
    void Unload();
    // The unload when nobody can be asked (the session ends, a signal came): a failing save is tried again,
    // without questions, until 10 s have passed; then the program ends all the same, keeping the edit for the
    // next logon. Called while an unload waits in its question, it does that unload's work: the caller must then
    // end the process, not return into it.
    void UnloadUnattended();

    // Brings the program forward, logging on first when nobody is logged on; a second start's request comes here.
    // While a logon is under way, it and every other way of coming forward only bring that logon's open dialog
    // forward, and return at once.
    void ExternalActivate();
    // The tray icon's double click (a click on a host that shows menus) and its request for a menu.
    void TrayDoubleClicked();
    void TrayContextMenu();
    // "Log in" in a tray menu.
    void mnuLogOn_Click();
    // Watches for a tray host from now on: when none has come after a moment, the program logs on and shows its
    // window by itself, and keeps it in the task bar until a host comes, which then gets the icon.
    void WatchTrayHost();

    LogonResult LogOn();
    bool AcctWasChanged() const;

    // For tests: the session exists from a successful Load on.
    const AccountSession &Session() const { return *session_; }
    frmAccount &Window() { return *window_; }

private:
    std::optional<QString> OpenAccountDatabase(const DatabaseOpener &openDatabase);
    void Unload(Reporting mode);
    bool SaveBeforeUnload(Reporting mode);
    void KeepUnsavedEdit();
    void OfferUnsavedEdit();
    void ShowAccounts();
    bool LogOnUntilDone();
    bool RaiseOpenLogon();
    void ComeForwardWithoutTray();

    std::unique_ptr<AccountSession> session_;
    std::unique_ptr<clsParameters> Params;
    std::unique_ptr<LogonFlow> logon_;
    std::unique_ptr<frmAccount> window_;
    TrayPresence *tray_ = nullptr;
    bool TrayBusy = false;
    // From the start of a logon until its last question or message is answered.
    bool loggingOn_ = false;
    bool unloaded_ = false;
    // While an unload waits for the person's answer.
    bool asking_ = false;
    int exitStatus_ = 0;
};
