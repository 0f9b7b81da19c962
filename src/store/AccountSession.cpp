#include "AccountSession.h"

#include "Cipher.h"
#include "StoreError.h"
#include "Text.h"
#include "Users.h"

namespace {

constexpr auto PasswordField = static_cast<std::size_t>(AccountField::Password);

// A logon or a save that goes on after the unload closed the database.
[[noreturn]] void RaiseClosed()
{
    throw StoreError(StoreErrorKind::SessionClosed, u"Object invalid or no longer set.");
}

} // namespace

void AccountSession::Close()
{
    accounts_.reset();
    database_.reset();
}

bool AccountSession::FindUser()
{
    const std::optional<std::int32_t> id = FindUserID(Opened(), currentUserName_);
    if (id)
        currentUserID_ = *id;
    return id.has_value();
}

void AccountSession::RegisterUser(std::u16string_view password)
{
    std::u16string stored = HashPassword(password);
    AddUser(Opened(), currentUserName_, stored);
    unlocked_ = true;
}

std::vector<std::u16string> AccountSession::UserNames() const
{
    return ::UserNames(Opened());
}

std::optional<std::u16string> AccountSession::StoredPassword(std::u16string_view userName) const
{
    return ::StoredPassword(Opened(), userName);
}

bool AccountSession::PasswordMatches(std::u16string_view stored, std::u16string_view typed)
{
    return HashPassword(typed) == stored;
}

void AccountSession::CompleteLogon()
{
    loggedOn_ = true;
    unlocked_ = true;
}

std::vector<AccountListing> AccountSession::ListAccounts()
{
    return Accounts().List();
}

std::optional<AccountFields> AccountSession::ShowAccount(std::int32_t id)
{
    std::optional<AccountFields> fields = Accounts().Read(id);
    if (fields)
        (*fields)[PasswordField] = CryptString(AccountKey(), (*fields)[PasswordField]);
    return fields;
}

bool AccountSession::SaveAccount(std::int32_t id, const AccountFields &fields)
{
    return Accounts().Write(id, Enciphered(fields));
}

std::int32_t AccountSession::AddAccount(std::u16string_view name)
{
    return Accounts().Add(name);
}

std::int32_t AccountSession::AddAccount(const AccountFields &fields)
{
    return Accounts().Add(Enciphered(fields));
}

AccountFields AccountSession::Enciphered(const AccountFields &fields) const
{
    AccountFields stored = fields;
    stored[PasswordField] = CryptString(AccountKey(), fields[PasswordField]);
    return stored;
}

bool AccountSession::DeleteAccount(std::int32_t id)
{
    return Accounts().Delete(id);
}

UnsavedEdit AccountSession::Unsaved(std::int32_t id, const AccountFields &fields) const
{
    return {Opened().FilePath().u16string(), currentUserName_, currentUserID_, id, Enciphered(fields)};
}

std::optional<AccountFields> AccountSession::Recovered(const UnsavedEdit &edit) const
{
    if (!loggedOn_ || edit.database != Opened().FilePath().u16string() || edit.userName != currentUserName_ ||
        edit.userID != currentUserID_)
        return std::nullopt;
    AccountFields fields = edit.stored;
    fields[PasswordField] = CryptString(AccountKey(), fields[PasswordField]);
    return fields;
}

Database &AccountSession::Opened() const
{
    if (!database_)
        RaiseClosed();
    return *database_;
}

// Closing drops the accounts with the database.
AccountSet &AccountSession::Accounts()
{
    if (!accounts_) {
        if (!database_)
            RaiseClosed();
        accounts_.emplace(database_, currentUserID_);
    }
    return *accounts_;
}

std::u16string AccountSession::AccountKey() const
{
    return currentUserName_ + ToDecimal(currentUserID_);
}
