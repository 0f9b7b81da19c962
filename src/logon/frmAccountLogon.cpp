// The logon of the main window: who the user is, creating a user on request, and the password check.

#include "frmAccount.h"

#include "Cipher.h"
#include "Database.h"
#include "Modal.h"
#include "MsgBox.h"
#include "PasswordPrompts.h"
#include "Prompts.h"
#include "QtText.h"
#include "SqlLiteral.h"
#include "StoreError.h"
#include "Text.h"
#include "WipePassword.h"
#include "frmUserList.h"

namespace {

constexpr std::int32_t LogonDone = 0;
constexpr std::int32_t LogonFailed = 1;
constexpr std::int32_t LogonAbandoned = 2;

const QString CancelMarker = QString(QChar(0));

std::u16string_view View(const QString &text)
{
    return {reinterpret_cast<const char16_t *>(text.utf16()), static_cast<std::size_t>(text.size())};
}

std::u16string Literal(const QString &text)
{
    return SqlLiteral(View(text));
}

std::unique_ptr<Recordset> Lookup(Database &database, const std::u16string &sql)
{
    return database.OpenRecordset(sql, dbOpenSnapshot, dbReadOnly);
}

std::unique_ptr<Recordset> LookupUser(Database &database, const QString &name)
{
    return Lookup(database, u"SELECT * FROM User WHERE [UserName] = " + Literal(name) + u";");
}

} // namespace

std::int32_t frmAccount::LogOn()
{
    if (!LoggedOn_)
        return LogOnUser();
    return LogonDone;
}

std::int32_t frmAccount::LogOnUser()
{
    Unlocked_ = false;
    for (;;) {
        auto user = LookupUser(*AccountDB, CurrentUserName_);
        if (user->RecordCount() > 0) {
            CurrentUserID_ = NullToEmpty(user->Fields(u"ID")).ToLong();
            break;
        }
        user.reset();
        int style = vbQuestion;
        const std::optional<bool> registering =
            AskYesNoOrClose(QStringLiteral("User ") + CurrentUserName_ + QStringLiteral(" not found, register?"),
                            QStringLiteral("Default"), style);
        if (!registering)
            return LogonAbandoned;
        const std::int32_t found = *registering ? RegisterUser() : PickUser();
        if (found != LogonDone)
            return found;
    }
    if (!Unlocked_) {
        for (std::int32_t result = CheckPassword(CurrentUserName_); result != LogonDone;
             result = CheckPassword(CurrentUserName_)) {
            if (result != LogonFailed) {
                Unlocked_ = false;
                return LogonAbandoned;
            }
            MsgBox(QStringLiteral("Incorrect password."), vbOKOnly | vbCritical);
        }
    }
    LoggedOn_ = true;
    Unlocked_ = true;
    LoadAccountList();
    ShowAccount();
    return LogonDone;
}

// Adds CurrentUserName with a new password; the new user is then not asked for it again.
std::int32_t frmAccount::RegisterUser()
{
    MsgBox(QStringLiteral("Please enter password for new user."), vbOKOnly | vbInformation);
    QString password = AskNewPassword(CurrentUserName_);
    if (password == CancelMarker)
        return LogonAbandoned;
    bool added = true;
    try {
        AccountDB->Execute(u"INSERT INTO User ([UserName],[Password]) VALUES (" + Literal(CurrentUserName_) + u"," +
                           SqlLiteral(HashPassword(View(password))) + u");");
    } catch (const StoreError &) {
        added = false;
    }
    WipePassword(password);
    if (!added) {
        MsgBox(QStringLiteral("Cannot add new user to database."), vbOKOnly | vbCritical);
        return LogonFailed;
    }
    Unlocked_ = true;
    return LogonDone;
}

// Lets the person choose or type another name, which becomes CurrentUserName.
std::int32_t frmAccount::PickUser()
{
    auto users = Lookup(*AccountDB, u"SELECT [ID], [UserName] FROM User;");
    if (users->RecordCount() < 1) {
        MsgBox(QStringLiteral("No users in database."), vbOKOnly | vbInformation);
        return LogonFailed;
    }
    frmUserList list;
    list.ImportUserList(users.get());
    users.reset();
    RunModal(list);
    if (!list.AllOk())
        return LogonAbandoned;
    CurrentUserName_ = list.UserName();
    return LogonDone;
}

std::int32_t frmAccount::CheckPassword(const QString &UserName)
{
    try {
        const auto stored =
            Lookup(*AccountDB, u"SELECT [Password] FROM User WHERE [UserName] = " + Literal(UserName) + u";");
        if (stored->RecordCount() < 1) {
            MsgBox(QStringLiteral("Record for user ") + UserName + QStringLiteral(" not found, login failed..."),
                   vbOKOnly | vbInformation);
            return LogonAbandoned;
        }
        QString password = AskPassword(UserName);
        if (password == CancelMarker)
            return LogonAbandoned;
        const bool matches = HashPassword(View(password)) == NullToEmpty(stored->Fields(u"Password")).ToText();
        WipePassword(password);
        return matches ? LogonDone : LogonFailed;
    } catch (const StoreError &error) {
        // An error must never log anyone on: the attempt is abandoned.
        MsgBox(QStringLiteral("Password validation error: ") + QString::number(error.Number()) + QStringLiteral(" - ") +
                   ToQString(error.Description()),
               vbOKOnly | vbCritical);
        return LogonAbandoned;
    }
}
