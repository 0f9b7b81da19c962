#pragma once

// One user's accounts in the account database: the rows of Accounts with that UserID when the set was opened, and
// those added through it since, which belong to that user too. Each row is read afresh when it is asked for, since
// another process may have changed it; writes go to the file at once. Every failure raises StoreError.

#include "Database.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The six text columns of an account, in the editor's order.
enum class AccountField
{
    Account,
    UserName,
    Password,
    URL,
    Phone,
    Comment
};
inline constexpr std::size_t AccountFieldCount = 6;

// The text of each field, a Null as the empty text.
using AccountFields = std::array<std::u16string, AccountFieldCount>;

// An account as the list shows it.
struct AccountListing
{
    std::int32_t id;
    std::u16string name;
};

class AccountSet
{
public:
    AccountSet(std::shared_ptr<Database> database, std::int32_t userID);

    // The accounts of the set in table order, read in one pass.
    std::vector<AccountListing> List() const;
    // The row with this ID, when it is in the set and still in the file.
    std::optional<AccountFields> Read(std::int32_t id) const;
    // Writes the fields, and the set's user as the owner; false when the row is not in the set or not in the file
    // any more.
    bool Write(std::int32_t id, const AccountFields &fields);
    // Adds a row of the set's user with this name, its other columns Null, and returns its ID, which no other row is
    // ever given.
    std::int32_t Add(std::u16string_view name);
    // Adds a row of the set's user with these fields, as above.
    std::int32_t Add(const AccountFields &fields);
    // Deletes the row; false when it is not in the set.
    bool Delete(std::int32_t id);

private:
    std::shared_ptr<Database> database_;
    std::int32_t userID_;
    bool Contains(std::int32_t id) const;
    std::int32_t Added();

    // Sorted, for a compact set of 100,000 IDs.
    std::vector<std::int32_t> ids_;
};
