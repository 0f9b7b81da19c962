#pragma once

// The account database file: its name beside the program, its password, and its three tables.

#include "Database.h"

#include <filesystem>
#include <memory>
#include <string_view>

inline constexpr std::u16string_view AccountDatabaseFileName = u"AccountInfo.mdb";
inline constexpr std::u16string_view AccountDatabaseConnect = u";pwd=wendrapolix";

// Opens the existing file read-write and shared. Raises StoreError when the file is missing, is not
// a database, has another password, stores text other than as UTF-16le, or lacks one of the tables
// User, Accounts and Parameters.
std::shared_ptr<Database> OpenAccountDatabase(const std::filesystem::path &path);

// Makes a new, empty account database with the password above, the cipher settings that opening states too, text
// stored as UTF-16le, and the three tables with their indexes. Refuses an existing file; on failure nothing is left
// behind.
void CreateAccountDatabase(const std::filesystem::path &path);
