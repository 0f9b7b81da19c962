#include "frmAccount.h"

#include "AccountDatabase.h"
#include "AccountEditor.h"
#include "LogonFlow.h"
#include "MsgBox.h"
#include "Parameters.h"
#include "QtText.h"
#include "StoreError.h"
#include "UserName.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QIcon>
#include <QMenu>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QSignalBlocker>
#include <QThread>
#include <QTimer>

namespace {

constexpr int FailedToOpenDatabase = 1;
// Each try waits for another process's lock a few seconds itself.
constexpr int UnattendedSaveMs = 10000;
constexpr int UnattendedRetryPauseMs = 100;

} // namespace

frmAccount::frmAccount() : session_(std::make_unique<AccountSession>())
{
    CreateMenus();
    ArrangeForFont();
    // A second start clicks it from the first moment on.
    cmdRMessage = std::make_unique<QPushButton>(QStringLiteral("TarnwickHiddenButton"));
    connect(cmdRMessage.get(), &QPushButton::clicked, this, [this] { cmdRMessage_Click(); });
    logon_ = std::make_unique<LogonFlow>(*session_, [this] {
        LoadAccountList();
        ShowAccount();
    });
    connect(mnuAddNew, &QAction::triggered, this, [this] { mnuAddNew_Click(); });
    connect(mnuDelete, &QAction::triggered, this, [this] { mnuDelete_Click(); });
    setWindowIcon(QIcon(QStringLiteral(":/tarnwick.png")));
}

// A start that ends in the tray never needs the window's controls: they are made at their first need, with the
// editor that works on them, and take the state that start-up gave the settings.
AccountEditor &frmAccount::Editor()
{
    if (!editor_) {
        CreateControls();
        SetTabOrder();
        editor_ = std::make_unique<AccountEditor>(
            *session_, AccountEditorControls{txt, lAccounts, mnuAcctPopUpMenu, mnuPassPopUp, mnuPassCut, mnuPassCopy,
                                             mnuPassPaste, mnuPassDelete});
        connect(cmdAddAccount, &QPushButton::clicked, this, [this] { cmdAddAccount_Click(); });
        chkLaunch->setCheckState(launchState_);
        const QSignalBlocker quiet(chkFloat);
        chkFloat->setCheckState(floatState_);
        editor_->EnableFields(false);
    }
    return *editor_;
}

frmAccount::~frmAccount() = default;

void frmAccount::CreateMenus()
{
    mnuFile = new QMenu(QStringLiteral("File"), this);
    mnuHide = mnuFile->addAction(QStringLiteral("&Hide"));
    mnuExit = mnuFile->addAction(QStringLiteral("&Exit"));
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });

    mnuAcctPopUpMenu = new QMenu(QStringLiteral("AcctPopUpMenu"), this);
    mnuAddNew = mnuAcctPopUpMenu->addAction(QStringLiteral("&Add new account"));
    mnuDelete = mnuAcctPopUpMenu->addAction(QStringLiteral("&Delete account"));

    mnuPopUp = new QMenu(QStringLiteral("Pop-up menu"), this);
    mnuOpen = mnuPopUp->addAction(QStringLiteral("&Open"));
    mnuPopUp->addSeparator();
    mnuUnLoad = mnuPopUp->addAction(QStringLiteral("&Unload"));
    mnuPopUp->addSeparator();
    mnuLeave2 = mnuPopUp->addAction(QStringLiteral("&Leave menu"));
    // The tray menus' commands run once the menu is answered: a host showing an exported menu waits for that.
    connect(
        mnuOpen, &QAction::triggered, this, [this] { mnuOpen_Click(); }, Qt::QueuedConnection);
    connect(
        mnuUnLoad, &QAction::triggered, this, [this] { Unload(); }, Qt::QueuedConnection);

    mnuLogOnPopUpMenu = new QMenu(QStringLiteral("BeforeLogon"), this);
    mnuLogOn = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Log in"));
    mnuLogOnPopUpMenu->addSeparator();
    mnuBLUnload = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Unload"));
    mnuLogOnPopUpMenu->addSeparator();
    mnuLeave1 = mnuLogOnPopUpMenu->addAction(QStringLiteral("&Leave menu"));
    connect(
        mnuLogOn, &QAction::triggered, this, [this] { mnuLogOn_Click(); }, Qt::QueuedConnection);
    connect(
        mnuBLUnload, &QAction::triggered, this, [this] { Unload(); }, Qt::QueuedConnection);

    mnuPassPopUp = new QMenu(QStringLiteral("PassPopUpMenu"), this);
    mnuPassCut = mnuPassPopUp->addAction(QStringLiteral("&Cut"));
    mnuPassCopy = mnuPassPopUp->addAction(QStringLiteral("C&opy"));
    mnuPassPaste = mnuPassPopUp->addAction(QStringLiteral("&Paste"));
    mnuPassDelete = mnuPassPopUp->addAction(QStringLiteral("&Delete"));
}

bool frmAccount::Form_Load(const QString &databasePath)
{
    const std::string path = QFile::encodeName(databasePath).toStdString();
    return Form_Load([path] { return ::OpenAccountDatabase(path); });
}

bool frmAccount::Form_Load(const DatabaseOpener &openDatabase, const std::function<QString()> &advice)
{
    setWindowTitle(QStringLiteral("Tarnwick"));
    RestoreSettings();
    EnableFields(false);
    if (const std::optional<QString> failure = OpenAccountDatabase(openDatabase)) {
        const QString why = !failure->isEmpty() ? *failure : advice ? advice() : QString();
        MsgBox(QStringLiteral("Cannot open database.") + why, vbOKOnly | vbCritical);
        exitStatus_ = FailedToOpenDatabase;
        Unload();
        return false;
    }
    Params = std::make_unique<clsParameters>();
    Params->Database(session_->database());
    Params->TableName(u"Parameters");
    session_->CurrentUserName(ToU16(GetWindowsUserName()));
    AddTrayIcon();
    return true;
}

// Nothing when the file opened; else a second line for the message, when the file itself tells why.
std::optional<QString> frmAccount::OpenAccountDatabase(const DatabaseOpener &openDatabase)
{
    try {
        session_->Open(openDatabase());
    } catch (const StoreError &error) {
        return error.Number() == ErrorNumber::ForeignObjects ? u'\n' + ToQString(error.Description()) : QString();
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
    StoreSettings();
    RemoveTrayIcon();
    Params.reset();
    session_->Close();
}

// False when the person called the unload off.
bool frmAccount::SaveBeforeUnload(UnloadMode mode)
{
    if (mode == UnloadMode::Unattended) {
        const QDeadlineTimer deadline(UnattendedSaveMs);
        while (AcctWasChanged() && !Editor().SaveAccount(SaveMode::Unattended) && !deadline.hasExpired())
            QThread::msleep(UnattendedRetryPauseMs);
        if (AcctWasChanged())
            qWarning("tarnwick: the account changes could not be saved before the program ended");
        return true;
    }
    const QScopedValueRollback asking(asking_, true);
    while (AcctWasChanged() && !SaveAccount()) {
        MsgBox(QStringLiteral("Cannot save account changes."), vbOKOnly | vbCritical);
        if (MsgBox(QStringLiteral("Try saving again? Cancel keeps Tarnwick running with the changes."),
                   vbRetryCancel | vbQuestion) != vbRetry)
            return false;
    }
    return true;
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
    RecordPosition();
    closedWithCloseBox_ = true;
    Cancel = true;
    if (WithoutTray()) {
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
        Arrange(LayoutScale());
    else if (event->type() == QEvent::ActivationChange && isActiveWindow())
        Form_Activate();
}

void frmAccount::Form_Resize()
{
    if (isVisible() && isMinimized() && !WithoutTray()) {
        if (!closedWithCloseBox_)
            RecordPosition();
        setVisible(false);
    }
}

void frmAccount::Form_Activate()
{
    if (editor_)
        editor_->WindowActivated();
}

// The entry points through which the window's events reach the logon and the account editor.

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

void frmAccount::LoadAccountList()
{
    Editor().LoadAccountList();
}

void frmAccount::ShowAccount()
{
    Editor().ShowAccount();
}

bool frmAccount::SaveAccount()
{
    return Editor().SaveAccount();
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

void frmAccount::txt_Change(int Index)
{
    editor_->txt_Change(Index);
}

void frmAccount::txt_GotFocus(int Index)
{
    editor_->txt_GotFocus(Index);
}

void frmAccount::txt_KeyDown(int Index, const QKeyEvent &event)
{
    editor_->txt_KeyDown(Index, event);
}

bool frmAccount::txt_KeyPress(int Index)
{
    return editor_->txt_KeyPress(Index);
}

void frmAccount::txt_DblClick(int Index)
{
    editor_->txt_DblClick(Index);
}
