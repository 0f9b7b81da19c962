// The account list and editor of the main window: showing, editing, saving, adding and deleting
// the logged-on user's accounts, and the password field's clipboard commands.

#include "frmAccount.h"

#include "Cipher.h"
#include "Database.h"
#include "MsgBox.h"
#include "Prompts.h"
#include "QtText.h"
#include "ShellOpen.h"
#include "StoreError.h"
#include "Text.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QSignalBlocker>

namespace {

constexpr int PasswordField = 2;
constexpr int NameField = 0;
constexpr int IdRole = Qt::UserRole;
constexpr int MaxNewAccountNumber = 1000;
constexpr int vbKeyC = 67;
constexpr int vbKeyInsert = 45;
constexpr int CtrlOnly = 2;

std::u16string IdCriteria(std::int32_t id)
{
    return u"[ID] = " + ToDecimal(id);
}

std::u16string Column(const TextBox &field)
{
    return u"[" + ToU16(field.Tag()) + u"]";
}

bool IsPasswordField(const TextBox &field)
{
    return field.Tag().toUpper() == QStringLiteral("PASSWORD");
}

// The Menu key (which Qt turns into a context menu event) or Shift+F10 (which it leaves a key press).
bool IsMenuRequest(const QEvent &event)
{
    if (event.type() == QEvent::ContextMenu)
        return static_cast<const QContextMenuEvent &>(event).reason() == QContextMenuEvent::Keyboard;
    if (event.type() != QEvent::KeyPress)
        return false;
    const auto &key = static_cast<const QKeyEvent &>(event);
    return key.key() == Qt::Key_F10 && key.modifiers() == Qt::ShiftModifier;
}

void PutOnClipboard(const QString &text)
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

} // namespace

void frmAccount::ConnectAccountEvents()
{
    lAccounts->setSelectionMode(QAbstractItemView::SingleSelection);
    lAccounts->setUniformItemSizes(true);
    lAccounts->viewport()->installEventFilter(this);
    lAccounts->installEventFilter(this);
    connect(lAccounts, &QListWidget::currentItemChanged, this, [this] { lAccounts_ItemClick(); });
    connect(mnuAddNew, &QAction::triggered, this, [this] { mnuAddNew_Click(); });
    connect(cmdAddAccount, &QPushButton::clicked, this, [this] { cmdAddAccount_Click(); });
    connect(mnuDelete, &QAction::triggered, this, [this] { mnuDelete_Click(); });

    QWidget *password = txt[PasswordField]->Widget();
    password->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(password, &QWidget::customContextMenuRequested, this,
            [this, password](const QPoint &at) { mnuPassPopUp->popup(password->mapToGlobal(at)); });
    connect(mnuPassCut, &QAction::triggered, this, [this] { mnuPassCut_Click(); });
    connect(mnuPassCopy, &QAction::triggered, this, [this] { mnuPassCopy_Click(); });
    connect(mnuPassPaste, &QAction::triggered, this, [this] { mnuPassPaste_Click(); });
    connect(mnuPassDelete, &QAction::triggered, this, [this] { mnuPassDelete_Click(); });
}

void frmAccount::OpenAccountSet()
{
    if (!rstAccounts)
        rstAccounts =
            AccountDB->OpenRecordset(u"SELECT * FROM Accounts WHERE [UserID] = " + ToDecimal(CurrentUserID_) + u";");
}

void frmAccount::LoadAccountList()
{
    const QSignalBlocker quiet(lAccounts);
    lAccounts->clear();
    OpenAccountSet();
    if (rstAccounts->RecordCount() > 0) {
        rstAccounts->MoveFirst();
        while (!rstAccounts->Eof()) {
            auto *item = new QListWidgetItem(ToQString(NullToEmpty(rstAccounts->Fields(u"Account")).ToText()));
            item->setData(IdRole, ToQString(rstAccounts->Fields(u"ID").ToText()));
            lAccounts->addItem(item);
            rstAccounts->MoveNext();
        }
    }
    // The first item added is the selected one, so that the account shown next is the first.
    if (lAccounts->count() > 0)
        lAccounts->setCurrentRow(0);
}

QString frmAccount::AccountKey() const
{
    return CurrentUserName_ + QString::number(CurrentUserID_);
}

QListWidgetItem *frmAccount::SelectedItem() const
{
    return lAccounts->currentItem();
}

QListWidgetItem *frmAccount::FindAccountItem(std::int32_t id) const
{
    const QString tag = QString::number(id);
    for (int row = 0; row < lAccounts->count(); ++row) {
        if (lAccounts->item(row)->data(IdRole).toString() == tag)
            return lAccounts->item(row);
    }
    return nullptr;
}

// Selecting by code is not a pick by the person: it saves and shows nothing.
void frmAccount::SelectWithoutClick(QListWidgetItem *item)
{
    const QSignalBlocker quiet(lAccounts);
    lAccounts->setCurrentItem(item);
    if (item)
        lAccounts->scrollToItem(item);
}

void frmAccount::ShowAccount()
{
    const bool wasLoading = LoadingAccount;
    LoadingAccount = true;
    try {
        OpenAccountSet();
        QListWidgetItem *item = SelectedItem();
        if (item)
            rstAccounts->FindFirst(u"[ID] = " + ToU16(item->data(IdRole).toString()));
        if (!item || rstAccounts->NoMatch()) {
            ClearFields();
            EnableFields(false);
        } else {
            const std::u16string key = ToU16(AccountKey());
            for (TextBox *field : txt) {
                std::u16string value = NullToEmpty(rstAccounts->Fields(Column(*field))).ToText();
                if (IsPasswordField(*field))
                    value = CryptString(key, value);
                field->Text(ToQString(value));
            }
            CurrentAccountID = NullToEmpty(rstAccounts->Fields(u"ID")).ToLong();
            EnableFields(true);
        }
    } catch (const StoreError &) {
        // Nothing to report: the fields keep what they were given so far.
    }
    LoadingAccount = wasLoading;
}

bool frmAccount::SaveAccount()
{
    try {
        OpenAccountSet();
        const bool onRecord = rstAccounts->AbsolutePosition() >= 0 &&
                              NullToEmpty(rstAccounts->Fields(u"ID")).ToLong() == CurrentAccountID;
        if (!onRecord) {
            rstAccounts->FindFirst(IdCriteria(CurrentAccountID));
            if (rstAccounts->NoMatch())
                return false;
        }
        rstAccounts->Edit();
        const std::u16string key = ToU16(AccountKey());
        for (TextBox *field : txt) {
            const std::u16string text = ToU16(field->Text());
            rstAccounts->Fields(Column(*field), Variant(IsPasswordField(*field) ? CryptString(key, text) : text));
        }
        rstAccounts->Fields(u"UserID", Variant(CurrentUserID_));
        rstAccounts->Update();
    } catch (const StoreError &) {
        return false;
    }
    AcctWasChanged(false);
    return true;
}

void frmAccount::EnableFields(bool enabled)
{
    for (TextBox *field : txt)
        field->Widget()->setEnabled(enabled);
}

void frmAccount::ClearFields()
{
    for (TextBox *field : txt)
        field->Text(QString());
}

void frmAccount::AcctWasChanged(bool value)
{
    if (!LoadingAccount)
        acctWasChanged_ = value;
}

void frmAccount::lAccounts_ItemClick()
{
    if (AcctWasChanged() && !SaveAccount()) {
        MsgBox(QStringLiteral("Cannot save account changes."), vbOKOnly | vbCritical);
        // The typed edits stay in the editor, on the account they belong to.
        SelectWithoutClick(FindAccountItem(CurrentAccountID));
        return;
    }
    ShowAccount();
}

bool frmAccount::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == lAccounts->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        lAccounts_MouseUp(mouse->button(), mouse->globalPosition().toPoint());
    } else if (watched == lAccounts && IsMenuRequest(*event)) {
        lAccounts_KeyboardMenu();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

// The Menu key and Shift+F10 open the account menu at the current item, or at the list's corner.
void frmAccount::lAccounts_KeyboardMenu()
{
    const QListWidgetItem *item = SelectedItem();
    const QRect at = item ? lAccounts->visualItemRect(item) : QRect();
    mnuAcctPopUpMenu->popup(lAccounts->viewport()->mapToGlobal(item ? at.center() : QPoint(0, 0)));
}

void frmAccount::lAccounts_MouseUp(Qt::MouseButton Button, const QPoint &position)
{
    if (Button == Qt::RightButton)
        mnuAcctPopUpMenu->popup(position);
}

void frmAccount::txt_Change(int Index)
{
    if (Index == NameField && SelectedItem())
        SelectedItem()->setText(txt[NameField]->Text());
    AcctWasChanged(true);
}

void frmAccount::txt_GotFocus(int Index)
{
    txt[Index]->SelectAll();
}

void frmAccount::txt_KeyDown(int Index, int &KeyCode, int Shift)
{
    if (Shift != CtrlOnly || Index != PasswordField || (KeyCode != vbKeyC && KeyCode != vbKeyInsert))
        return;
    CopyPasswordToClipboard();
    // Only Ctrl+C produces a character (3) to drop; Ctrl+Insert produces none.
    if (KeyCode == vbKeyC)
        SwallowKeyPress = true;
}

void frmAccount::txt_KeyPress(int, int &KeyAscii)
{
    if (SwallowKeyPress) {
        SwallowKeyPress = false;
        KeyAscii = 0;
    }
}

void frmAccount::txt_DblClick(int Index)
{
    if (txt[Index]->Tag().toUpper() == QStringLiteral("URL") && !txt[Index]->Text().isEmpty())
        ShellOpen(txt[Index]->Text());
}

void frmAccount::CopyPasswordToClipboard()
{
    PutOnClipboard(txt[PasswordField]->Text());
}

void frmAccount::mnuPassCut_Click()
{
    CopyPasswordToClipboard();
    txt[PasswordField]->Text(QString());
}

void frmAccount::mnuPassCopy_Click()
{
    CopyPasswordToClipboard();
}

void frmAccount::mnuPassPaste_Click()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        txt[PasswordField]->Text(text);
}

void frmAccount::mnuPassDelete_Click()
{
    txt[PasswordField]->Text(QString());
}

void frmAccount::cmdAddAccount_Click()
{
    mnuAddNew_Click();
}

// The first of "New account", "New account 2", ... "New account 1000" that no item carries; empty
// when all are taken.
QString frmAccount::NewAccountName() const
{
    QString candidate = QStringLiteral("New account");
    for (int counter = 1; !lAccounts->findItems(candidate, Qt::MatchFixedString).isEmpty();) {
        if (++counter > MaxNewAccountNumber)
            return QString();
        candidate = QStringLiteral("New account ") + QString::number(counter);
    }
    return candidate;
}

bool frmAccount::AddAccountRecord(const QString &name, std::int32_t &id)
{
    try {
        OpenAccountSet();
        rstAccounts->AddNew();
        id = rstAccounts->Fields(u"ID").ToLong();
        rstAccounts->Fields(u"Account", Variant(ToU16(name)));
        rstAccounts->Fields(u"UserID", Variant(CurrentUserID_));
        rstAccounts->Update();
    } catch (const StoreError &) {
        return false;
    }
    return true;
}

void frmAccount::mnuAddNew_Click()
{
    if (AddBusy)
        return;
    AddBusy = true;
    if (AcctWasChanged() && !SaveAccount()) {
        // Adding now would throw the typed edits away.
        MsgBox(QStringLiteral("Cannot save account changes."), vbOKOnly | vbCritical);
        AddBusy = false;
        return;
    }
    const QString name = NewAccountName();
    std::int32_t id = 0;
    if (name.isEmpty()) {
        MsgBox(QStringLiteral("Too many new accounts..."), vbOKOnly | vbInformation);
    } else if (AddAccountRecord(name, id)) {
        auto *item = new QListWidgetItem(name);
        item->setData(IdRole, QString::number(id));
        lAccounts->addItem(item);
        SelectWithoutClick(item);
        EnableFields(true);
        ClearFields();
        txt[NameField]->Text(name);
        txt[NameField]->Widget()->setFocus();
        txt[NameField]->SelectAll();
        CurrentAccountID = id;
    }
    AddBusy = false;
}

void frmAccount::mnuDelete_Click()
{
    if (DeleteBusy)
        return;
    DeleteBusy = true;
    try {
        QListWidgetItem *item = SelectedItem();
        int style = vbQuestion;
        if (item && AskYesNo(QStringLiteral("Really delete ") + item->text() + QStringLiteral("?"),
                             QStringLiteral("Default"), style)) {
            OpenAccountSet();
            rstAccounts->FindFirst(u"[ID] = " + ToU16(item->data(IdRole).toString()));
            if (rstAccounts->NoMatch()) {
                MsgBox(QStringLiteral("Failure: cannot find account '") + item->text() +
                           QStringLiteral(" in database."),
                       vbOKOnly | vbCritical);
            } else {
                rstAccounts->Delete();
                AcctWasChanged(false);
                {
                    const QSignalBlocker quiet(lAccounts);
                    delete item;
                    if (SelectedItem())
                        SelectedItem()->setSelected(true);
                }
                ShowAccount();
            }
        }
    } catch (const StoreError &) {
        // The command ends quietly; what was done stays done.
    }
    DeleteBusy = false;
}
