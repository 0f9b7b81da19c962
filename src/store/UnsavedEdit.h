#pragma once

// An account's edits that could not be saved when the program had to end without asking (the session ended, a
// signal came), kept in a private file of the user's and offered back at the user's next logon. Its fields are as
// the database would hold them: the password enciphered.

#include "AccountSet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct UnsavedEdit
{
    std::u16string database; // the database file's path
    std::u16string userName;
    std::int32_t userID = 0;
    std::int32_t accountID = 0;
    AccountFields stored;
};

// As the file holds it: every text unit for unit.
std::string Serialize(const UnsavedEdit &edit);
// Nothing for bytes that are no such file.
std::optional<UnsavedEdit> ParseUnsavedEdit(std::string_view bytes);
