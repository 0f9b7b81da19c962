#include "AccountEditor.h"

#include "FailureReport.h"
#include "MsgBox.h"
#include "Prompts.h"
#include "QtText.h"
#include "ShellOpen.h"
#include "StoreError.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>

#include <chrono>

namespace {

constexpr int IdRole = Qt::UserRole;
constexpr int MaxNewAccountNumber = 1000;
constexpr std::chrono::seconds CopiedPasswordLifetime{20};

constexpr int Index(AccountField field)
{
    return static_cast<int>(field);
}

std::int32_t ItemID(const QListWidgetItem &item)
{
    return item.data(IdRole).toInt();
}

QListWidgetItem *NewItem(const QString &name, std::int32_t id)
{
    auto *item = new QListWidgetItem(name);
    item->setData(IdRole, id);
    return item;
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

// Ctrl alone (not with Shift or Alt) and C or Insert: the password field's own copy.
bool IsPasswordCopy(const QKeyEvent &event)
{
    const Qt::KeyboardModifiers held = event.modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
    return held == Qt::ControlModifier && (event.key() == Qt::Key_C || event.key() == Qt::Key_Insert);
}

// A program named in the URL field starts only when the person says so: No is the default.
bool MayStartProgram(const QString &program)
{
    return AskYesNo(QStringLiteral("Start the program ") + program + QStringLiteral("?"), DefaultButton::Second);
}

} // namespace

AccountEditor::AccountEditor(AccountSession &session, const AccountEditorControls &controls)
    : session_(session), controls_(controls)
{
    const TextBoxEvents events{[this](int Index) { txt_Change(Index); }, [this](int Index) { txt_GotFocus(Index); },
                               [this](int Index, const QKeyEvent &event) { txt_KeyDown(Index, event); },
                               [this](int Index) { return txt_KeyPress(Index); },
                               [this](int Index) { txt_DblClick(Index); }};
    for (TextBox *field : controls_.txt)
        field->ReportTo(events);
    forgetPassword_.setSingleShot(true);
    forgetPassword_.setInterval(CopiedPasswordLifetime);
    connect(&forgetPassword_, &QTimer::timeout, this, [this] { ForgetCopiedPassword(); });

    QListWidget *list = controls_.lAccounts;
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setUniformItemSizes(true);
    list->viewport()->installEventFilter(this);
    list->installEventFilter(this);
    connect(list, &QListWidget::currentItemChanged, this, [this] { lAccounts_ItemClick(); });

    CreateAccountMenu();
    CreatePasswordMenu();
}

void AccountEditor::CreateAccountMenu()
{
    mnuAcctPopUpMenu = new QMenu(QStringLiteral("AcctPopUpMenu"), controls_.lAccounts);
    QAction *mnuAddNew = mnuAcctPopUpMenu->addAction(QStringLiteral("&Add new account"));
    mnuAddNew->setObjectName(QStringLiteral("mnuAddNew"));
    QAction *mnuDelete = mnuAcctPopUpMenu->addAction(QStringLiteral("&Delete account"));
    connect(mnuAddNew, &QAction::triggered, this, &AccountEditor::mnuAddNew_Click);
    connect(mnuDelete, &QAction::triggered, this, &AccountEditor::mnuDelete_Click);
}

// The password menu's commands act on the whole password, never on a selection.
void AccountEditor::CreatePasswordMenu()
{
    QWidget *password = Field(AccountField::Password).Widget();
    mnuPassPopUp = new QMenu(QStringLiteral("PassPopUpMenu"), password);
    password->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(password, &QWidget::customContextMenuRequested, this,
            [this, password](const QPoint &at) { mnuPassPopUp->popup(password->mapToGlobal(at)); });
    connect(mnuPassPopUp->addAction(QStringLiteral("&Cut")), &QAction::triggered, this, [this] {
        CopyPasswordToClipboard();
        Field(AccountField::Password).Text(QString());
    });
    connect(mnuPassPopUp->addAction(QStringLiteral("C&opy")), &QAction::triggered, this,
            [this] { CopyPasswordToClipboard(); });
    // A paste, so the typing limit holds.
    connect(mnuPassPopUp->addAction(QStringLiteral("&Paste")), &QAction::triggered, this, [password] {
        if (const QString text = QGuiApplication::clipboard()->text(); !text.isEmpty()) {
            auto *line = static_cast<QLineEdit *>(password);
            line->selectAll();
            line->insert(text);
        }
    });
    connect(mnuPassPopUp->addAction(QStringLiteral("&Delete")), &QAction::triggered, this,
            [this] { Field(AccountField::Password).Text(QString()); });
}

TextBox &AccountEditor::Field(AccountField field) const
{
    return *controls_.txt[static_cast<std::size_t>(field)];
}

void AccountEditor::LoadAccountList()
{
    QListWidget *list = controls_.lAccounts;
    const QSignalBlocker quiet(list);
    list->clear();
    for (AccountListing &account : session_.ListAccounts())
        list->addItem(NewItem(ToQString(account.name), account.id));
    // The first item added is the selected one, so that the account shown next is the first.
    if (list->count() > 0)
        list->setCurrentRow(0);
}

QListWidgetItem *AccountEditor::SelectedItem() const
{
    return controls_.lAccounts->currentItem();
}

QListWidgetItem *AccountEditor::FindAccountItem(std::int32_t id) const
{
    for (int row = 0; row < controls_.lAccounts->count(); ++row) {
        if (ItemID(*controls_.lAccounts->item(row)) == id)
            return controls_.lAccounts->item(row);
    }
    return nullptr;
}

// Selecting by code is not a pick by the person: it saves and shows nothing.
void AccountEditor::SelectWithoutClick(QListWidgetItem *item)
{
    const QSignalBlocker quiet(controls_.lAccounts);
    controls_.lAccounts->setCurrentItem(item);
    if (item)
        controls_.lAccounts->scrollToItem(item);
}

void AccountEditor::ShowAccount()
{
    const bool wasLoading = LoadingAccount;
    LoadingAccount = true;
    try {
        const QListWidgetItem *item = SelectedItem();
        const std::optional<AccountFields> fields = item ? session_.ShowAccount(ItemID(*item)) : std::nullopt;
        if (!fields) {
            ClearFields();
            EnableFields(false);
        } else {
            for (std::size_t i = 0; i < fields->size(); ++i)
                controls_.txt[i]->Text(ToQString((*fields)[i]));
            CurrentAccountID = ItemID(*item);
            EnableFields(true);
        }
    } catch (const StoreError &error) {
        // The fields keep what they were given so far.
        ReportFailure(QStringLiteral("Cannot show account."), error);
    }
    LoadingAccount = wasLoading;
}

AccountFields AccountEditor::ShownFields() const
{
    AccountFields fields;
    for (std::size_t i = 0; i < fields.size(); ++i)
        fields[i] = ToU16(controls_.txt[i]->Text());
    return fields;
}

void AccountEditor::TakeUnsavedEdit(std::int32_t id, const AccountFields &fields)
{
    QListWidgetItem *item = FindAccountItem(id);
    if (!item) {
        try {
            id = session_.AddAccount(fields);
        } catch (const StoreError &error) {
            ReportFailure(QStringLiteral("Cannot add account."), error);
            return;
        }
        controls_.lAccounts->addItem(item = NewItem(ToQString(fields[0]), id));
    }
    SelectWithoutClick(item);
    ShowAccount();
    for (std::size_t i = 0; i < fields.size(); ++i)
        controls_.txt[i]->Text(ToQString(fields[i]));
}

bool AccountEditor::SaveAccount(SaveMode mode)
{
    const AccountFields fields = ShownFields();
    try {
        if (!session_.SaveAccount(CurrentAccountID, fields) && !KeepDeletedAccount(fields, mode))
            return false;
    } catch (const StoreError &) {
        // Every caller tells the person that the changes could not be saved, and keeps them.
        return false;
    }
    AcctWasChanged(false);
    return true;
}

// Every try to write an account deleted elsewhere would fail: the edits go into a new account of the user, with
// the shown account's list item, or are dropped with it. An unanswered question keeps them in the editor.
bool AccountEditor::KeepDeletedAccount(const AccountFields &fields, SaveMode mode)
{
    const MsgBoxAnswer answer =
        mode == SaveMode::Unattended
            ? MsgBoxAnswer::Yes
            : MsgBox(QStringLiteral("This account was deleted by another program. Keep your changes "
                                    "as a new account?"),
                     MsgBoxIcon::Question, MsgBoxButtons::YesNo);
    if (answer == MsgBoxAnswer::Cancel)
        return false;
    QListWidgetItem *item = FindAccountItem(CurrentAccountID);
    if (answer == MsgBoxAnswer::No) {
        const QSignalBlocker quiet(controls_.lAccounts);
        delete item;
        return true;
    }
    CurrentAccountID = session_.AddAccount(fields);
    if (item)
        item->setData(IdRole, CurrentAccountID);
    return true;
}

void AccountEditor::EnableFields(bool enabled)
{
    for (TextBox *field : controls_.txt)
        field->Widget()->setEnabled(enabled);
}

void AccountEditor::ClearFields()
{
    for (TextBox *field : controls_.txt)
        field->Text(QString());
}

void AccountEditor::AcctWasChanged(bool value)
{
    if (!LoadingAccount)
        acctWasChanged_ = value;
}

void AccountEditor::lAccounts_ItemClick()
{
    if (AcctWasChanged() && !SaveAccount()) {
        ReportFailure(QStringLiteral("Cannot save account changes."));
        // The typed edits stay in the editor, on the account they belong to, which the list shows too once the click
        // or key that picked another has done with it: it would select that one again.
        QTimer::singleShot(0, this, [this] { SelectWithoutClick(FindAccountItem(CurrentAccountID)); });
        return;
    }
    ShowAccount();
}

bool AccountEditor::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == controls_.lAccounts->viewport() && event->type() == QEvent::MouseButtonRelease) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        lAccounts_MouseUp(mouse->button(), mouse->globalPosition().toPoint());
    } else if (watched == controls_.lAccounts && IsMenuRequest(*event)) {
        lAccounts_KeyboardMenu();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

void AccountEditor::lAccounts_MouseUp(Qt::MouseButton Button, const QPoint &position)
{
    if (Button == Qt::RightButton)
        mnuAcctPopUpMenu->popup(position);
}

// The Menu key and Shift+F10 open the account menu at the current item, or at the list's corner.
void AccountEditor::lAccounts_KeyboardMenu()
{
    const QListWidgetItem *item = SelectedItem();
    const QWidget *viewport = controls_.lAccounts->viewport();
    const QPoint at = item ? controls_.lAccounts->visualItemRect(item).center() : QPoint(0, 0);
    mnuAcctPopUpMenu->popup(viewport->mapToGlobal(at));
}

void AccountEditor::txt_Change(int Index)
{
    if (Index == ::Index(AccountField::Account) && SelectedItem())
        SelectedItem()->setText(Field(AccountField::Account).Text());
    AcctWasChanged(true);
}

void AccountEditor::txt_GotFocus(int Index)
{
    controls_.txt[static_cast<std::size_t>(Index)]->SelectAll();
}

void AccountEditor::txt_KeyDown(int Index, const QKeyEvent &event)
{
    if (Index != ::Index(AccountField::Password) || !IsPasswordCopy(event))
        return;
    CopyPasswordToClipboard();
    // Only Ctrl+C produces a character (3) to drop; Ctrl+Insert produces none.
    if (event.key() == Qt::Key_C)
        SwallowKeyPress = true;
}

bool AccountEditor::txt_KeyPress(int)
{
    return std::exchange(SwallowKeyPress, false);
}

void AccountEditor::txt_DblClick(int Index)
{
    const TextBox &url = Field(AccountField::URL);
    if (Index == ::Index(AccountField::URL) && !url.Text().isEmpty() && !ShellOpen(url.Text(), MayStartProgram))
        MsgBox(QStringLiteral("Cannot open URL."), MsgBoxIcon::Warning);
}

void AccountEditor::CopyPasswordToClipboard()
{
    auto *data = new QMimeData;
    data->setText(Field(AccountField::Password).Text());
    data->setData(QStringLiteral("x-kde-passwordManagerHint"), QByteArrayLiteral("secret"));
    QGuiApplication::clipboard()->setMimeData(data);
    copiedPassword_ = data;
    forgetPassword_.start();
}

void AccountEditor::ForgetCopiedPassword()
{
    forgetPassword_.stop();
    // What the clipboard offers now is this copy only while the program still owns it with this very data.
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (copiedPassword_ && clipboard->mimeData() == copiedPassword_.data())
        clipboard->clear();
    copiedPassword_.clear();
}

// The first of "New account", "New account 2", ... "New account 1000" that no item carries; empty when all are
// taken.
QString AccountEditor::NewAccountName() const
{
    QString candidate = QStringLiteral("New account");
    for (int counter = 1; !controls_.lAccounts->findItems(candidate, Qt::MatchFixedString).isEmpty();) {
        if (++counter > MaxNewAccountNumber)
            return QString();
        candidate = QStringLiteral("New account ") + QString::number(counter);
    }
    return candidate;
}

void AccountEditor::mnuAddNew_Click()
{
    if (AddBusy)
        return;
    AddBusy = true;
    if (AcctWasChanged() && !SaveAccount()) {
        // Adding now would throw the typed edits away.
        ReportFailure(QStringLiteral("Cannot save account changes."));
    } else if (const QString name = NewAccountName(); name.isEmpty()) {
        MsgBox(QStringLiteral("Too many new accounts..."), MsgBoxIcon::Information);
    } else {
        AddAccount(name);
    }
    AddBusy = false;
}

void AccountEditor::AddAccount(const QString &name)
{
    std::int32_t id = 0;
    try {
        id = session_.AddAccount(ToU16(name));
    } catch (const StoreError &error) {
        ReportFailure(QStringLiteral("Cannot add account."), error);
        return;
    }
    QListWidgetItem *item = NewItem(name, id);
    controls_.lAccounts->addItem(item);
    SelectWithoutClick(item);
    EnableFields(true);
    ClearFields();
    TextBox &nameField = Field(AccountField::Account);
    nameField.Text(name);
    nameField.Widget()->setFocus();
    nameField.SelectAll();
    CurrentAccountID = id;
}

void AccountEditor::mnuDelete_Click()
{
    if (DeleteBusy)
        return;
    DeleteBusy = true;
    QListWidgetItem *item = SelectedItem();
    if (item && AskYesNo(QStringLiteral("Really delete ") + item->text() + QStringLiteral("?")))
        DeleteSelected(item);
    DeleteBusy = false;
}

void AccountEditor::DeleteSelected(QListWidgetItem *item)
{
    try {
        if (!session_.DeleteAccount(ItemID(*item))) {
            ReportFailure(QStringLiteral("Failure: cannot find account '") + item->text() +
                          QStringLiteral(" in database."));
            return;
        }
    } catch (const StoreError &error) {
        // What was done stays done.
        ReportFailure(QStringLiteral("Cannot delete account."), error);
        return;
    }
    AcctWasChanged(false);
    {
        const QSignalBlocker quiet(controls_.lAccounts);
        delete item;
        if (SelectedItem())
            SelectedItem()->setSelected(true);
    }
    ShowAccount();
}
