#pragma once

// The program's work on the account database for one run, apart from any window: who is logging on and whether
// they have, and the logged-on user's accounts. Every failure of the database raises StoreError, and so does any
// use of it once it is closed.

#include "AccountSet.h"
#include "Database.h"
#include "UnsavedEdit.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// How a logon ended.
enum class LogonResult : std::int32_t
{
    Done = 0,
    Failed = 1,    // a message has been shown
    Abandoned = 2, // the person gave up, or the user's row is missing
};

class AccountSession
{
public:
    // The session works on this open database from now on, for the rest of the run.
    void Open(std::shared_ptr<Database> database) { database_ = std::move(database); }
    // Gives the database up, the accounts first.
    void Close();

    // The user the logon works for, and after it the logged-on user.
    const std::u16string &CurrentUserName() const { return currentUserName_; }
    void CurrentUserName(std::u16string name) { currentUserName_ = std::move(name); }
    std::int32_t CurrentUserID() const { return currentUserID_; }
    // A user has logged on in this run; nobody logs off.
    bool LoggedOn() const { return loggedOn_; }
    // The user's password was accepted, or the user was just registered.
    bool Unlocked() const { return unlocked_; }

    // Nobody is unlocked: at the start of a logon, and when one ends without a password accepted.
    void Lock() { unlocked_ = false; }
    // Looks CurrentUserName up; when found, it becomes CurrentUserID.
    bool FindUser();
    // Adds CurrentUserName with this password, stored transformed, and unlocks it.
    void RegisterUser(std::u16string_view password);
    std::vector<std::u16string> UserNames() const;
    // Asks the stored password of the named user; nothing when there is no such user.
    std::optional<std::u16string> StoredPassword(std::u16string_view userName) const;
    // Whether the typed password is the one stored, unit by unit.
    static bool PasswordMatches(std::u16string_view stored, std::u16string_view typed);
    // Ends a logon successfully.
    void CompleteLogon();

    // The logged-on user's accounts, opened at first need. A shown account's password is deciphered, a saved one
    // enciphered, with the key CurrentUserName followed by CurrentUserID.
    std::vector<AccountListing> ListAccounts();
    std::optional<AccountFields> ShowAccount(std::int32_t id);
    // False when the account is no longer in the file.
    bool SaveAccount(std::int32_t id, const AccountFields &fields);
    std::int32_t AddAccount(std::u16string_view name);
    // Adds an account of the logged-on user holding these fields and returns its ID.
    std::int32_t AddAccount(const AccountFields &fields);
    bool DeleteAccount(std::int32_t id);

    // The edits of an account of the logged-on user as they are kept when they cannot be saved: with the database,
    // the user, and the password enciphered.
    UnsavedEdit Unsaved(std::int32_t id, const AccountFields &fields) const;
    // The fields of an edit kept for the logged-on user of this database, deciphered; nothing for another's.
    std::optional<AccountFields> Recovered(const UnsavedEdit &edit) const;

    const std::shared_ptr<Database> &database() const { return database_; }

private:
    Database &Opened() const;
    AccountSet &Accounts();
    AccountFields Enciphered(const AccountFields &fields) const;
    std::u16string AccountKey() const;

    std::shared_ptr<Database> database_;
    std::u16string currentUserName_;
    std::int32_t currentUserID_ = 0;
    bool loggedOn_ = false;
    bool unlocked_ = false;
    std::optional<AccountSet> accounts_;
};
