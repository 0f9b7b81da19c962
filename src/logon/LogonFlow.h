#pragma once

// Deciding who the user is and whether they may see their accounts, with the questions and dialogs that takes:
// the logon of the main window. It works on the session's logon state and asks through modal dialogs.

#include "AccountSession.h"

#include <QString>

#include <functional>

class LogonFlow
{
public:
    // Called once a user has logged on, before the logon returns: the accounts are shown then.
    LogonFlow(AccountSession &session, std::function<void()> loggedOn);

    // Logs on when nobody is logged on yet; Done at once when someone is. Errors of the database other than the
    // insert of a new user reach the caller as StoreError.
    LogonResult LogOn();
    // Asks the named user's password and checks it: Done, Failed for a wrong one, Abandoned when cancelled, when
    // there is no such user or after an error of the database, which it shows.
    LogonResult CheckPassword(const QString &UserName);

private:
    LogonResult LogOnUser();
    LogonResult RegisterUser();
    LogonResult PickUser();
    LogonResult AskUntilAccepted();

    AccountSession &session_;
    std::function<void()> loggedOn_;
};
