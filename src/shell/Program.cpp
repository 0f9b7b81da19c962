#include "Program.h"

#include "AccountDatabase.h"
#include "AccountEditor.h"
#include "Display.h"
#include "LogonFlow.h"
#include "Modal.h"
#include "MsgBox.h"
#include "Parameters.h"
#include "QtText.h"
#include "StoreError.h"
#include "TrayPresence.h"
#include "UnsavedEditFile.h"
#include "UserName.h"
#include "WindowSettings.h"
#include "frmAccount.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFile>
#include <QScopedValueRollback>
#include <QThread>

#include <cstdio>

namespace {

constexpr int FailedToOpenDatabase = 1;
// Each try waits for another process's lock a few seconds itself.
constexpr int UnattendedSaveMs = 10000;
constexpr int UnattendedRetryPauseMs = 100;

} // namespace

Program::Program()
    : session_(std::make_unique<AccountSession>()),
      logon_(std::make_unique<LogonFlow>(*session_, [this] { ShowAccounts(); })),
      window_(std::make_unique<frmAccount>(*session_))
{
    tray_ = new TrayPresence(*window_, *session_);
    connect(tray_, &TrayPresence::DoubleClicked, this, &Program::TrayDoubleClicked);
    connect(tray_, &TrayPresence::ContextMenuRequested, this, &Program::TrayContextMenu);
    connect(tray_, &TrayPresence::OpenChosen, this, &Program::ExternalActivate);
    connect(tray_, &TrayPresence::LogOnChosen, this, &Program::mnuLogOn_Click);
    connect(tray_, &TrayPresence::UnloadChosen, this, qOverload<>(&Program::Unload));
    connect(tray_, &TrayPresence::Missing, this, &Program::ComeForwardWithoutTray);
    connect(tray_, &TrayPresence::IconShown, window_.get(), [this] { window_->SetWithoutTray(false); });
    connect(window_.get(), &frmAccount::ExitChosen, this, qOverload<>(&Program::Unload));
}

Program::~Program() = default;

bool Program::Load(const QString &databasePath)
{
    const std::string path = QFile::encodeName(databasePath).toStdString();
    return Load([path] { return ::OpenAccountDatabase(path); });
}

bool Program::Load(const DatabaseOpener &openDatabase, const std::function<QString()> &advice)
{
    window_->Settings().Restore();
    if (const std::optional<QString> failure = OpenAccountDatabase(openDatabase)) {
        const QString why = !failure->isEmpty() ? *failure : advice ? advice() : QString();
        ReportFailure(QStringLiteral("Cannot open database.") + why);
        exitStatus_ = FailedToOpenDatabase;
        Unload();
        return false;
    }
    Params = std::make_unique<clsParameters>();
    Params->Database(session_->database());
    Params->TableName(u"Parameters");
    session_->CurrentUserName(ToU16(GetWindowsUserName().value_or(QString())));
    tray_->Show();
    return true;
}

// Nothing when the file opened; else a second line for the message, when the file itself tells why.
std::optional<QString> Program::OpenAccountDatabase(const DatabaseOpener &openDatabase)
{
    try {
        session_->Open(openDatabase());
    } catch (const StoreError &error) {
        const bool fileTellsWhy =
            error.Kind() == StoreErrorKind::ForeignObjects || error.Kind() == StoreErrorKind::FileRefused;
        return fileTellsWhy ? u'\n' + ToQString(error.Description()) : QString();
    } catch (const std::exception &) {
        return QString();
    }
    return std::nullopt;
}

void Program::Unload()
{
    Unload(Reporting::Asking);
}

void Program::UnloadUnattended()
{
    Unload(Reporting::Unattended);
}

void Program::Unload(Reporting mode)
{
    // An unload waiting for an answer is not started again; one that cannot ask takes over from it.
    if (unloaded_ || (asking_ && mode == Reporting::Asking))
        return;
    if (!SaveBeforeUnload(mode)) {
        window_->ShowWindow();
        return;
    }
    window_->Settings().Store(mode);
    tray_->Remove();
    Params.reset();
    session_->Close();
    unloaded_ = true;
    if (window_->HasEditor())
        window_->Editor().ForgetCopiedPassword();
    window_->hide();
    QCoreApplication::exit(exitStatus_);
}

// False when the person called the unload off.
bool Program::SaveBeforeUnload(Reporting mode)
{
    if (mode == Reporting::Unattended) {
        const QDeadlineTimer deadline(UnattendedSaveMs);
        // Each try waits for another's lock only as long as is left.
        while (AcctWasChanged() && !deadline.hasExpired()) {
            session_->database()->WaitForLocks(static_cast<int>(deadline.remainingTime()));
            if (!window_->Editor().SaveAccount(SaveMode::Unattended))
                QThread::msleep(UnattendedRetryPauseMs);
        }
        if (AcctWasChanged())
            KeepUnsavedEdit();
        return true;
    }
    const QScopedValueRollback asking(asking_, true);
    while (AcctWasChanged() && !window_->Editor().SaveAccount()) {
        ReportFailure(QStringLiteral("Cannot save account changes."));
        if (MsgBox(QStringLiteral("Try saving again? Cancel keeps Tarnwick running with the changes."),
                   MsgBoxIcon::Question, MsgBoxButtons::RetryCancel) != MsgBoxAnswer::Retry)
            return false;
    }
    return true;
}

// Unattended, an edit that could not be saved is kept in a file of the user's, to be offered at the next logon.
void Program::KeepUnsavedEdit()
{
    AccountEditor &editor = window_->Editor();
    const UnsavedEdit edit = session_->Unsaved(editor.ShownAccountID(), editor.ShownFields());
    const QString database = ToQString(edit.database);
    const QString name = ToQString(edit.stored[static_cast<std::size_t>(AccountField::Account)]);
    const QString unsaved =
        QStringLiteral("the changes to the account \"") + name + QStringLiteral("\" could not be saved");
    if (const std::optional<QString> failure =
            UnsavedEditFile::Write(database, QByteArray::fromStdString(Serialize(edit))))
        ReportFailure(unsaved + QStringLiteral(", nor kept: ") + *failure, Reporting::Unattended);
    else
        ReportFailure(unsaved + QStringLiteral("; ") + UnsavedEditFile::PathFor(database) +
                          QStringLiteral(" keeps them for the next logon"),
                      Reporting::Unattended);
}

// Once a user has logged on: their accounts, and an edit kept when the program last ended without asking.
void Program::ShowAccounts()
{
    AccountEditor &editor = window_->Editor();
    editor.LoadAccountList();
    editor.ShowAccount();
    OfferUnsavedEdit();
}

// Kept, the edit is the typed edit it was, saved as any is.
void Program::OfferUnsavedEdit()
{
    const QString database = ToQString(session_->database()->FilePath().u16string());
    const std::optional<QByteArray> bytes = UnsavedEditFile::Read(database);
    const std::optional<UnsavedEdit> edit = bytes ? ParseUnsavedEdit(bytes->toStdString()) : std::nullopt;
    const std::optional<AccountFields> fields = edit ? session_->Recovered(*edit) : std::nullopt;
    if (!fields)
        return;
    const QString name = ToQString((*fields)[static_cast<std::size_t>(AccountField::Account)]);
    const MsgBoxAnswer answer =
        MsgBox(QStringLiteral("Tarnwick ended before it could save your changes to the account \"") + name +
                   QStringLiteral("\". Keep them?"),
               MsgBoxIcon::Question, QStringLiteral("&Keep"), QStringLiteral("&Discard"));
    if (answer == MsgBoxAnswer::Yes)
        window_->Editor().TakeUnsavedEdit(edit->accountID, *fields);
    if (answer != MsgBoxAnswer::Cancel)
        UnsavedEditFile::Remove(database);
}

// Coming forward: the tray icon's events, its menus' commands, a second start and a desktop without a tray.

void Program::TrayDoubleClicked()
{
    if (RaiseOpenLogon())
        return;
    if (window_->isVisible()) {
        window_->FinalWindowRequest();
        return;
    }
    if (TrayBusy)
        return;
    const QScopedValueRollback busy(TrayBusy, true);
    if (LogOnUntilDone())
        window_->ShowWindow();
}

// A host that shows menus itself never asks; one that leaves them to the program gets the menu that fits the
// logon state, where the program can place it.
void Program::TrayContextMenu()
{
    if (RaiseOpenLogon() || window_->isVisible() || TrayBusy || !ProgramPlacesWindows())
        return;
    const QScopedValueRollback busy(TrayBusy, true);
    tray_->PopUpMenu();
}

// Logs on when nobody is, asking again after a failed logon; false when the person gave up or the logon could not
// be completed. Each round waits for the person, so the loop ends with them.
bool Program::LogOnUntilDone()
{
    const QScopedValueRollback underWay(loggingOn_, true);
    for (;;) {
        LogonResult result = LogonResult::Abandoned;
        try {
            result = LogOn();
        } catch (const StoreError &error) {
            ReportFailure(QStringLiteral("Logon failed."), error);
        }
        tray_->LogonStateChanged();
        if (result == LogonResult::Done)
            return session_->LoggedOn() && session_->Unlocked();
        if (result != LogonResult::Failed)
            return false;
        ReportFailure(QStringLiteral("Logon failed."));
    }
}

// While a logon is under way its open step (a question, a dialog, a message) is the only thing to come forward:
// a logon started inside it would work on the same user and flags.
bool Program::RaiseOpenLogon()
{
    if (!loggingOn_)
        return false;
    if (QDialog *step = OpenModal()) {
        step->raise();
        step->activateWindow();
    }
    return true;
}

// Chosen after a logon only from a host's menu read before it: the window is what the person wants then. A logon
// that fails here is offered again by the menu.
void Program::mnuLogOn_Click()
{
    if (RaiseOpenLogon())
        return;
    if (session_->LoggedOn() && session_->Unlocked()) {
        window_->ShowWindow();
        return;
    }
    const QScopedValueRollback underWay(loggingOn_, true);
    try {
        LogOn();
    } catch (const StoreError &error) {
        ReportFailure(QStringLiteral("Logon failed."), error);
    }
    tray_->LogonStateChanged();
}

void Program::ExternalActivate()
{
    if (RaiseOpenLogon())
        return;
    if (window_->isVisible())
        window_->FinalWindowRequest();
    else if (LogOnUntilDone())
        window_->ShowWindow();
}

void Program::WatchTrayHost()
{
    tray_->Watch();
}

// The window becomes the program's presence, logs on as a double click would and shows itself; a person who gives
// up the logon ends the program, which would otherwise run on with nothing to show. A logon already under way (a
// second start's) is left to end alone.
void Program::ComeForwardWithoutTray()
{
    window_->SetWithoutTray(true);
    if (RaiseOpenLogon())
        return;
    ExternalActivate();
    if (!window_->isVisible() && window_->WithoutTray())
        Unload();
}

LogonResult Program::LogOn()
{
    return logon_->LogOn();
}

bool Program::AcctWasChanged() const
{
    return window_->HasEditor() && window_->Editor().AcctWasChanged();
}
