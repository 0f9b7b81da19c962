#include "frmAccount.h"

#include "AccountDatabase.h"
#include "AccountEditor.h"
#include "Display.h"
#include "LogonFlow.h"
#include "Modal.h"
#include "MsgBox.h"
#include "Parameters.h"
#include "QtText.h"
#include "StoreError.h"
#include "UnsavedEditFile.h"
#include "UserName.h"
#include "WindowSettings.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDeadlineTimer>
#include <QDialog>
#include <QFile>
#include <QHideEvent>
#include <QIcon>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QThread>
#include <QTimer>

#include <cstdio>

namespace {

constexpr int FailedToOpenDatabase = 1;
// Each try waits for another process's lock a few seconds itself.
constexpr int UnattendedSaveMs = 10000;
constexpr int UnattendedRetryPauseMs = 100;

#if QT_VERSION >= QT_VERSION_CHECK(6, 7, 0)
constexpr auto CheckStateChanged = &QCheckBox::checkStateChanged;
#else
constexpr auto CheckStateChanged = &QCheckBox::stateChanged;
#endif

} // namespace

frmAccount::frmAccount()
    : session_(std::make_unique<AccountSession>()), settings_(std::make_unique<WindowSettings>(*this))
{
    CreateMenus(this);
    ConnectMenus();
    SizeForFont(*this);
    logon_ = std::make_unique<LogonFlow>(*session_, [this] {
        Editor().LoadAccountList();
        Editor().ShowAccount();
        OfferUnsavedEdit();
    });
    tray_ =
        new TrayPresence(*this, {mnuLogOn, mnuBLUnload, mnuLeave1, mnuOpen, mnuUnLoad, mnuLeave2, mnuFile}, *session_);
    connect(tray_, &TrayPresence::Activated, this, [this](TrayEvent event) { Form_MouseMove(event); });
    connect(tray_, &TrayPresence::Missing, this, [this] { ComeForwardWithoutTray(); });
    connect(tray_, &TrayPresence::MenuBarChanged, this, [this] {
        if (arranged_)
            ArrangeControls();
    });
    setWindowIcon(QIcon(QStringLiteral(":/tarnwick.png")));
}

frmAccount::~frmAccount() = default;

void frmAccount::ConnectMenus()
{
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });
    connect(mnuAddNew, &QAction::triggered, this, [this] { mnuAddNew_Click(); });
    connect(mnuDelete, &QAction::triggered, this, [this] { mnuDelete_Click(); });
    // The tray menus' commands run once the menu is answered: a host showing an exported menu waits for that.
    connect(
        mnuOpen, &QAction::triggered, this, [this] { mnuOpen_Click(); }, Qt::QueuedConnection);
    connect(
        mnuUnLoad, &QAction::triggered, this, [this] { Unload(); }, Qt::QueuedConnection);
    connect(
        mnuLogOn, &QAction::triggered, this, [this] { mnuLogOn_Click(); }, Qt::QueuedConnection);
    connect(
        mnuBLUnload, &QAction::triggered, this, [this] { Unload(); }, Qt::QueuedConnection);
}

// A start that ends in the tray never needs the window's controls: they are made at their first need, with the
// editor that works on them, and take the state that start-up gave the settings.
AccountEditor &frmAccount::Editor()
{
    if (!editor_) {
        CreateControls(this);
        editor_ = std::make_unique<AccountEditor>(
            *session_, AccountEditorControls{txt, lAccounts, mnuAcctPopUpMenu, mnuPassPopUp, mnuPassCut, mnuPassCopy,
                                             mnuPassPaste, mnuPassDelete});
        connect(cmdAddAccount, &QPushButton::clicked, this, [this] { cmdAddAccount_Click(); });
        chkLaunch->setCheckState(settings_->Launch());
        chkFloat->setCheckState(settings_->Floating());
        connect(chkLaunch, CheckStateChanged, this, [this] { settings_->Launch(chkLaunch->checkState()); });
        connect(chkFloat, CheckStateChanged, this, [this] { chkFloat_Click(); });
        editor_->EnableFields(false);
    }
    return *editor_;
}

bool frmAccount::Form_Load(const QString &databasePath)
{
    const std::string path = QFile::encodeName(databasePath).toStdString();
    return Form_Load([path] { return ::OpenAccountDatabase(path); });
}

bool frmAccount::Form_Load(const DatabaseOpener &openDatabase, const std::function<QString()> &advice)
{
    setWindowTitle(QStringLiteral("Tarnwick"));
    settings_->Restore();
    EnableFields(false);
    if (const std::optional<QString> failure = OpenAccountDatabase(openDatabase)) {
        const QString why = !failure->isEmpty() ? *failure : advice ? advice() : QString();
        MsgBox(QStringLiteral("Cannot open database.") + why, MsgBoxIcon::Critical);
        exitStatus_ = FailedToOpenDatabase;
        Unload();
        return false;
    }
    Params = std::make_unique<clsParameters>();
    Params->Database(session_->database());
    Params->TableName(u"Parameters");
    session_->CurrentUserName(ToU16(GetWindowsUserName()));
    tray_->Show();
    return true;
}

// Nothing when the file opened; else a second line for the message, when the file itself tells why.
std::optional<QString> frmAccount::OpenAccountDatabase(const DatabaseOpener &openDatabase)
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

void frmAccount::Unload()
{
    Unload(UnloadMode::Asking);
}

void frmAccount::UnloadUnattended()
{
    Unload(UnloadMode::Unattended);
}

void frmAccount::Unload(UnloadMode mode)
{
    // An unload waiting for an answer is not started again; one that cannot ask takes over from it.
    if (unloaded_ || (asking_ && mode == UnloadMode::Asking))
        return;
    bool cancel = false;
    Form_Unload(mode, cancel);
    if (cancel) {
        ShowWindow();
        return;
    }
    unloaded_ = true;
    if (editor_)
        editor_->ForgetCopiedPassword();
    hide();
    QCoreApplication::exit(exitStatus_);
}

void frmAccount::Form_Unload(UnloadMode mode, bool &Cancel)
{
    Cancel = !SaveBeforeUnload(mode);
    if (Cancel)
        return;
    settings_->Store(mode == UnloadMode::Unattended);
    tray_->Remove();
    Params.reset();
    session_->Close();
}

// False when the person called the unload off.
bool frmAccount::SaveBeforeUnload(UnloadMode mode)
{
    if (mode == UnloadMode::Unattended) {
        const QDeadlineTimer deadline(UnattendedSaveMs);
        // Each try waits for another's lock only as long as is left.
        while (AcctWasChanged() && !deadline.hasExpired()) {
            session_->database()->WaitForLocks(static_cast<int>(deadline.remainingTime()));
            if (!Editor().SaveAccount(SaveMode::Unattended))
                QThread::msleep(UnattendedRetryPauseMs);
        }
        if (AcctWasChanged())
            KeepUnsavedEdit();
        return true;
    }
    const QScopedValueRollback asking(asking_, true);
    while (AcctWasChanged() && !Editor().SaveAccount()) {
        MsgBox(QStringLiteral("Cannot save account changes."), MsgBoxIcon::Critical);
        if (MsgBox(QStringLiteral("Try saving again? Cancel keeps Tarnwick running with the changes."),
                   MsgBoxIcon::Question, MsgBoxButtons::RetryCancel) != MsgBoxAnswer::Retry)
            return false;
    }
    return true;
}

// Unattended, an edit that could not be saved is kept in a file of the user's, to be offered at the next logon.
void frmAccount::KeepUnsavedEdit()
{
    const UnsavedEdit edit = session_->Unsaved(Editor().ShownAccountID(), Editor().ShownFields());
    const QString database = ToQString(edit.database);
    const QString name = ToQString(edit.stored[static_cast<std::size_t>(AccountField::Account)]);
    if (const std::optional<QString> failure =
            UnsavedEditFile::Write(database, QByteArray::fromStdString(Serialize(edit))))
        std::fprintf(stderr, "tarnwick: the changes to the account \"%s\" could not be saved, nor kept: %s\n",
                     qPrintable(name), qPrintable(*failure));
    else
        std::fprintf(stderr,
                     "tarnwick: the changes to the account \"%s\" could not be saved; %s keeps them for the next "
                     "logon\n",
                     qPrintable(name), qPrintable(UnsavedEditFile::PathFor(database)));
}

// An edit kept when the program last ended without asking is offered back to its user at the logon: kept, it is the
// typed edit it was, saved as any is.
void frmAccount::OfferUnsavedEdit()
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
        Editor().TakeUnsavedEdit(edit->accountID, *fields);
    if (answer != MsgBoxAnswer::Cancel)
        UnsavedEditFile::Remove(database);
}

void frmAccount::mnuExit_Click()
{
    Unload();
}

// The close box and the window menu's Close; the program ends only by Unload.
void frmAccount::closeEvent(QCloseEvent *event)
{
    bool cancel = false;
    Form_QueryUnload(cancel);
    event->setAccepted(!cancel);
}

void frmAccount::Form_QueryUnload(bool &Cancel)
{
    settings_->RecordClosingPlace();
    Cancel = true;
    if (tray_->WithoutTray()) {
        showMinimized();
        iconicHintLeft_ = true;
    } else {
        hide();
    }
}

void frmAccount::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    // Once the minimising is complete, or it would show the window again.
    if (event->type() == QEvent::WindowStateChange)
        QTimer::singleShot(0, this, [this] { Form_Resize(); });
    else if (event->type() == QEvent::FontChange && arranged_)
        ArrangeControls();
    else if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

// A window not yet painted since it was shown may be reported minimised while the window manager frames it (GNOME 44
// and on): only the minimising of a window on the screen hides it.
void frmAccount::Form_Resize()
{
    if (paintedSinceShown_ && isVisible() && isMinimized() && !tray_->WithoutTray()) {
        settings_->RecordPlace();
        setVisible(false);
    }
}

void frmAccount::paintEvent(QPaintEvent *event)
{
    paintedSinceShown_ = true;
    QWidget::paintEvent(event);
}

// The window manager's minimising hides the window too, spontaneously: only the program's own hiding starts anew.
void frmAccount::hideEvent(QHideEvent *event)
{
    if (!event->spontaneous())
        paintedSinceShown_ = false;
    QWidget::hideEvent(event);
}

void frmAccount::Form_Activate()
{
    if (editor_)
        editor_->WindowActivated();
}

// Coming forward: the tray icon's events, its menus' commands, a second start and a desktop without a tray.

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
        tray_->LogonStateChanged();
        if (result == LogonResult::Done)
            return session_->LoggedOn() && session_->Unlocked();
        if (result != LogonResult::Failed)
            return false;
        MsgBox(QStringLiteral("Logon failed."), MsgBoxIcon::Critical);
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
    ArrangeOnce();
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
    tray_->LogonStateChanged();
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
    tray_->Watch();
}

// Logs on as a double click would and shows the window; a person who gives up the logon ends the program, which
// would otherwise run on with nothing to show. A logon already under way (a second start's) is left to end alone.
void frmAccount::ComeForwardWithoutTray()
{
    if (RaiseOpenLogon())
        return;
    ExternalActivate();
    if (!isVisible() && tray_->WithoutTray())
        Unload();
}

// The entry points through which the window's events reach the logon, the account editor and the settings.

LogonResult frmAccount::LogOn()
{
    return logon_->LogOn();
}

LogonResult frmAccount::CheckPassword(const QString &UserName)
{
    return logon_->CheckPassword(UserName);
}

bool frmAccount::AcctWasChanged() const
{
    return editor_ && editor_->AcctWasChanged();
}

void frmAccount::AcctWasChanged(bool value)
{
    Editor().AcctWasChanged(value);
}

// Fields that do not exist yet are made disabled.
void frmAccount::EnableFields(bool enabled)
{
    if (editor_ || enabled)
        Editor().EnableFields(enabled);
}

void frmAccount::mnuAddNew_Click()
{
    Editor().mnuAddNew_Click();
}

void frmAccount::cmdAddAccount_Click()
{
    mnuAddNew_Click();
}

void frmAccount::mnuDelete_Click()
{
    Editor().mnuDelete_Click();
}

void frmAccount::chkFloat_Click()
{
    settings_->Floating(chkFloat->checkState());
}

// Measuring the captions loads the fonts, which a start that ends in the tray never needs: the controls are
// measured before the window is first shown. A window that stood centred is centred again at its final size.
void frmAccount::ArrangeOnce()
{
    if (arranged_)
        return;
    arranged_ = true;
    Editor();
    const bool wasCentred = pos() == settings_->CentredPosition();
    ArrangeControls();
    if (wasCentred)
        move(settings_->CentredPosition());
}

void frmAccount::ArrangeControls()
{
    Arrange(*this, tray_->MenuBar(), LayoutScale(*this));
}
