#include "LogonFlow.h"

#include "FailureReport.h"
#include "Modal.h"
#include "MsgBox.h"
#include "PasswordPrompts.h"
#include "ProcessPrivacy.h"
#include "Prompts.h"
#include "QtText.h"
#include "StoreError.h"
#include "WipePassword.h"
#include "frmUserList.h"

#include <QScopeGuard>

LogonFlow::LogonFlow(AccountSession &session, std::function<void()> loggedOn)
    : session_(session), loggedOn_(std::move(loggedOn))
{
}

LogonResult LogonFlow::LogOn()
{
    if (!session_.LoggedOn())
        return LogOnUser();
    return LogonResult::Done;
}

LogonResult LogonFlow::LogOnUser()
{
    // Nothing is typed into memory that the user's other processes may read.
    KeepMemoryPrivate();
    session_.Lock();
    // However it ends short (a dialog given up, a failure, an error raised), the logon leaves nobody unlocked.
    const auto unaccepted = qScopeGuard([this] {
        if (!session_.LoggedOn())
            session_.Lock();
    });
    while (!session_.FindUser()) {
        const std::optional<bool> registering = AskYesNoOrClose(
            QStringLiteral("User ") + ToQString(session_.CurrentUserName()) + QStringLiteral(" not found, register?"));
        if (!registering)
            return LogonResult::Abandoned;
        if (const LogonResult found = *registering ? RegisterUser() : PickUser(); found != LogonResult::Done)
            return found;
    }
    if (!session_.Unlocked()) {
        if (const LogonResult checked = AskUntilAccepted(); checked != LogonResult::Done)
            return checked;
    }
    session_.CompleteLogon();
    loggedOn_();
    return LogonResult::Done;
}

// Asks again after every wrong password, as long as the person keeps trying.
LogonResult LogonFlow::AskUntilAccepted()
{
    const QString name = ToQString(session_.CurrentUserName());
    for (;;) {
        const LogonResult result = CheckPassword(name);
        if (result == LogonResult::Done)
            return result;
        if (result != LogonResult::Failed)
            return LogonResult::Abandoned;
        MsgBox(QStringLiteral("Incorrect password."), MsgBoxIcon::Critical);
    }
}

// Adds CurrentUserName with a new password; the new user is then not asked for it again.
LogonResult LogonFlow::RegisterUser()
{
    MsgBox(QStringLiteral("Please enter password for new user."), MsgBoxIcon::Information);
    std::optional<QString> password = AskNewPassword(ToQString(session_.CurrentUserName()));
    if (!password)
        return LogonResult::Abandoned;
    std::optional<StoreError> failure;
    try {
        session_.RegisterUser(View(*password));
    } catch (const StoreError &error) {
        failure = error;
    }
    WipePassword(*password);
    if (failure) {
        ReportFailure(QStringLiteral("Cannot add new user to database."), *failure);
        return LogonResult::Failed;
    }
    return LogonResult::Done;
}

// Lets the person choose or type another name, which becomes CurrentUserName.
LogonResult LogonFlow::PickUser()
{
    const std::vector<std::u16string> names = session_.UserNames();
    if (names.empty()) {
        MsgBox(QStringLiteral("No users in database."), MsgBoxIcon::Information);
        return LogonResult::Failed;
    }
    frmUserList list;
    list.ImportUserList(names);
    RunModal(list);
    if (!list.AllOk())
        return LogonResult::Abandoned;
    session_.CurrentUserName(ToU16(list.UserName()));
    return LogonResult::Done;
}

LogonResult LogonFlow::CheckPassword(const QString &UserName)
{
    try {
        const std::optional<std::u16string> stored = session_.StoredPassword(ToU16(UserName));
        if (!stored) {
            MsgBox(QStringLiteral("Record for user ") + UserName + QStringLiteral(" not found, login failed..."),
                   MsgBoxIcon::Information);
            return LogonResult::Abandoned;
        }
        std::optional<QString> password = AskPassword(UserName);
        if (!password)
            return LogonResult::Abandoned;
        const bool matches = AccountSession::PasswordMatches(*stored, View(*password));
        WipePassword(*password);
        return matches ? LogonResult::Done : LogonResult::Failed;
    } catch (const StoreError &error) {
        // An error must never log anyone on: the attempt is abandoned.
        ReportFailure(QStringLiteral("Password validation error: ") + QString::number(ErrorCode(error.Kind())) +
                      QStringLiteral(" - ") + ToQString(error.Description()));
        return LogonResult::Abandoned;
    }
}
