#pragma once

// The statements on the table of the program's users, each a named function. Texts are bound unit by unit; every
// failure raises StoreError.

#include "Database.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The ID of the first row with this user name, exactly as given (letter case counting); nothing when none has it.
std::optional<std::int32_t> FindUserID(Database &database, std::u16string_view userName);

// Adds a user with the stored form of its password.
void AddUser(Database &database, std::u16string_view userName, std::u16string_view storedPassword);

// The user names in table order, a Null name as the empty text.
std::vector<std::u16string> UserNames(Database &database);

// The stored password of the first row with this user name, a Null as the empty text; nothing when none has it.
std::optional<std::u16string> StoredPassword(Database &database, std::u16string_view userName);
