#pragma once

#include "TextBox.h"

#include <QElapsedTimer>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class Database;
class Recordset;
class clsParameters;
class QAction;
class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenu;
class QMenuBar;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

// The main window and the program's state for the whole run: the open account database, the
// parameter table, the logged-on user's account set and the logon state. It is created hidden;
// closing or minimising it only hides it, and unloading it ends the program.
class frmAccount final : public QWidget, private TextBoxEvents
{
    Q_OBJECT

public:
    frmAccount();
    ~frmAccount() override;

    // Opens the account database, or raises StoreError.
    using DatabaseOpener = std::function<std::shared_ptr<Database>()>;

    // The start-up sequence, with the database at the path given or from the opener. False when
    // the program must end at once; the exit status is then ExitStatus().
    bool Form_Load(const QString &databasePath);
    bool Form_Load(const DatabaseOpener &openDatabase);
    int ExitStatus() const { return exitStatus_; }
    // Unloading the window: runs the shut-down sequence once and ends the program.
    void Unload();

    // Arranges the controls for the desktop's font before the window is first shown.
    void setVisible(bool visible) override;

    // Brings the program forward, logging on first when nobody is logged on.
    void ExternalActivate();
    // Watches for a tray host from now on: when none has come after a moment, the program logs on and shows its
    // window by itself, and keeps it in the task bar until a host comes.
    void WatchTrayHost();
    bool AcctWasChanged() const { return acctWasChanged_; }
    void AcctWasChanged(bool value);
    std::int32_t CheckPassword(const QString &UserName);

    // Controls, in the order of the window's layout table.
    std::array<QLabel *, 7> lbl{};
    std::array<TextBox *, 6> txt{};
    QPushButton *cmdAddAccount = nullptr;
    QListWidget *lAccounts = nullptr;
    QCheckBox *chkLaunch = nullptr;
    QCheckBox *chkFloat = nullptr;
    std::unique_ptr<QPushButton> cmdRMessage;

    // Menus that are only ever shown as pop-ups.
    QMenu *mnuFile = nullptr;
    QAction *mnuHide = nullptr;
    QAction *mnuExit = nullptr;
    QMenu *mnuAcctPopUpMenu = nullptr;
    QAction *mnuAddNew = nullptr;
    QAction *mnuDelete = nullptr;
    QMenu *mnuPopUp = nullptr;
    QAction *mnuOpen = nullptr;
    QAction *mnuUnLoad = nullptr;
    QAction *mnuLeave2 = nullptr;
    QMenu *mnuLogOnPopUpMenu = nullptr;
    QAction *mnuLogOn = nullptr;
    QAction *mnuBLUnload = nullptr;
    QAction *mnuLeave1 = nullptr;
    QMenu *mnuPassPopUp = nullptr;
    QAction *mnuPassCut = nullptr;
    QAction *mnuPassCopy = nullptr;
    QAction *mnuPassPaste = nullptr;
    QAction *mnuPassDelete = nullptr;

    // The logon state, read by the tray and by tests.
    const QString &CurrentUserName() const { return CurrentUserName_; }
    std::int32_t CurrentUserID() const { return CurrentUserID_; }
    bool LoggedOn() const { return LoggedOn_; }
    bool Unlocked() const { return Unlocked_; }

    // Tray events: code 515 a double click, 517 a request for the menu.
    void Form_MouseMove(int code);
    std::int32_t LogOn();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    // Layout
    void CreateControls();
    void CreateMenus();
    double FontScale() const;
    double LayoutScale() const;
    void Arrange(double scale);
    void SetTabOrder();

    // Start-up and shut-down
    void Form_QueryUnload(bool &Cancel, int UnloadMode);
    void Form_Resize();
    void Form_Activate();
    void Form_Unload();
    void mnuExit_Click();
    bool OpenAccountDatabase(const DatabaseOpener &openDatabase);

    // Window settings
    void RestoreSettings();
    void StoreSettings();
    void RestorePosition();
    QPoint CentredPosition() const;
    bool MakeSureProgramKeyExists();
    void chkFloat_Click();
    void RecordPosition();

    // Tray
    void AddTrayIcon();
    void ExportTrayMenu();
    void RemoveTrayIcon();
    void trayWatch_Timer();
    bool WithoutTray();
    void UseTray(bool tray);
    void ComeForwardWithoutTray();
    void ShowWindow();
    void FinalWindowRequest();
    void HandleHiddenTrayEvent(int code);
    bool LogOnUntilDone();
    void mnuLogOn_Click();
    void cmdRMessage_Click();

    // Logon
    std::int32_t LogOnUser();
    std::int32_t RegisterUser();
    std::int32_t PickUser();

    // Accounts
    void ConnectAccountEvents();
    void OpenAccountSet();
    void LoadAccountList();
    void ShowAccount();
    bool SaveAccount();
    void EnableFields(bool enabled);
    void ClearFields();
    QString AccountKey() const;
    QListWidgetItem *SelectedItem() const;
    QListWidgetItem *FindAccountItem(std::int32_t id) const;
    void SelectWithoutClick(QListWidgetItem *item);
    void lAccounts_ItemClick();
    void lAccounts_MouseUp(Qt::MouseButton Button, const QPoint &position);
    void lAccounts_KeyboardMenu();
    void mnuAddNew_Click();
    void cmdAddAccount_Click();
    void mnuDelete_Click();
    QString NewAccountName() const;
    bool AddAccountRecord(const QString &name, std::int32_t &id);
    void CopyPasswordToClipboard();
    void mnuPassCut_Click();
    void mnuPassCopy_Click();
    void mnuPassPaste_Click();
    void mnuPassDelete_Click();
    bool eventFilter(QObject *watched, QEvent *event) override;

    // Editor events
    void txt_Change(int Index) override;
    void txt_GotFocus(int Index) override;
    void txt_KeyDown(int Index, int &KeyCode, int Shift) override;
    void txt_KeyPress(int Index, int &KeyAscii) override;
    void txt_DblClick(int Index) override;

    // Form state, in declaration order.
    std::unique_ptr<clsParameters> Params;
    std::shared_ptr<Database> AccountDB;
    QString CurrentUserName_;
    std::int32_t CurrentUserID_ = 0;
    bool Unlocked_ = false;
    bool SwallowKeyPress = false;
    std::int32_t SavedLeft = 0;
    std::int32_t SavedTop = 0;
    std::unique_ptr<Recordset> rstAccounts;
    std::int32_t CurrentAccountID = 0;
    bool acctWasChanged_ = false;
    bool LoadingAccount = false;
    bool LoggedOn_ = false;

    QSystemTrayIcon *trayIcon = nullptr;
    bool hostShowsMenus_ = false;
    QTimer *trayWatch_ = nullptr;
    QElapsedTimer trayWaitStarted_;
    bool withoutTray_ = false;
    QMenuBar *menuBar_ = nullptr;
    double scale_ = 1.0;
    bool TrayBusy = false;
    bool AddBusy = false;
    bool DeleteBusy = false;
    bool closedWithCloseBox_ = false;
    bool unloaded_ = false;
    bool arranged_ = false;
    int exitStatus_ = 0;
};
