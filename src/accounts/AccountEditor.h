#pragma once

// The account list and editor of the main window: listing the logged-on user's accounts, showing, editing and
// saving one, adding and deleting them, and the password field's clipboard commands. It works on the session and
// on the window's controls, which it is given, and its text boxes report their events to it.
//
// A password copied from the password field goes on the clipboard marked as a secret, which clipboard managers
// that honour the mark keep out of their history, and never into the primary selection. It is cleared 20 seconds
// later, or at ForgetCopiedPassword, if the clipboard still holds that copy; what was copied since is left alone.

#include "AccountSession.h"
#include "TextBox.h"

#include <QMimeData>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <array>

class QAction;
class QKeyEvent;
class QListWidget;
class QListWidgetItem;
class QMenu;

// The window's fields, in index order, and its account list.
struct AccountEditorControls
{
    std::array<TextBox *, AccountFieldCount> txt;
    QListWidget *lAccounts;
};

// Whether a save may ask the person.
enum class SaveMode
{
    Asking,
    Unattended
};

class AccountEditor final : public QObject
{
    Q_OBJECT

public:
    AccountEditor(AccountSession &session, const AccountEditorControls &controls);

    void LoadAccountList();
    void ShowAccount();
    // False, with the edits kept, when the account could not be written. When another program has deleted it, the
    // person is asked whether to keep the edits as a new account (unattended they are kept) or to drop them; false
    // only when the question goes unanswered.
    bool SaveAccount(SaveMode mode = SaveMode::Asking);
    void EnableFields(bool enabled);
    void ClearFields();
    bool AcctWasChanged() const { return acctWasChanged_; }
    // Ignored while an account is being shown.
    void AcctWasChanged(bool value);

    void lAccounts_ItemClick();
    void mnuAddNew_Click();
    void mnuDelete_Click();

    void txt_Change(int Index);
    void txt_GotFocus(int Index);
    void txt_KeyDown(int Index, const QKeyEvent &event);
    // True when the character typed is to be dropped.
    bool txt_KeyPress(int Index);
    void txt_DblClick(int Index);
    // The window became the active one: no character is dropped any more.
    void WindowActivated() { SwallowKeyPress = false; }
    // Clears the clipboard now if it still holds the password copied last.
    void ForgetCopiedPassword();

    // The shown account and what its fields hold now, typed edits included.
    std::int32_t ShownAccountID() const { return CurrentAccountID; }
    AccountFields ShownFields() const;
    // Shows an account's edits kept from an earlier run as typed edits of it, saved as any are; an account deleted
    // meanwhile gets them as a new account at once.
    void TakeUnsavedEdit(std::int32_t id, const AccountFields &fields);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QListWidgetItem *SelectedItem() const;
    QListWidgetItem *FindAccountItem(std::int32_t id) const;
    void SelectWithoutClick(QListWidgetItem *item);
    void lAccounts_MouseUp(Qt::MouseButton Button, const QPoint &position);
    void lAccounts_KeyboardMenu();
    bool KeepDeletedAccount(const AccountFields &fields, SaveMode mode);
    QString NewAccountName() const;
    void AddAccount(const QString &name);
    void DeleteSelected(QListWidgetItem *item);
    void CopyPasswordToClipboard();
    TextBox &Field(AccountField field) const;
    void CreateAccountMenu();
    void CreatePasswordMenu();

    AccountSession &session_;
    AccountEditorControls controls_;
    QMenu *mnuAcctPopUpMenu = nullptr;
    QMenu *mnuPassPopUp = nullptr;
    std::int32_t CurrentAccountID = 0;
    bool acctWasChanged_ = false;
    bool LoadingAccount = false;
    bool SwallowKeyPress = false;
    bool AddBusy = false;
    bool DeleteBusy = false;
    // The clipboard deletes it once anything else is copied.
    QPointer<QMimeData> copiedPassword_;
    QTimer forgetPassword_;
};
