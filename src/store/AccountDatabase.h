#pragma once

// The account database file: its name beside the program, its password, and its three tables.

#include "Database.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string_view>

inline constexpr std::u16string_view AccountDatabaseFileName = u"AccountInfo.mdb";
inline constexpr std::u16string_view AccountDatabaseConnect = u";pwd=wendrapolix";

// Opens the existing file read-write and shared, as OpenDatabase does. Raises StoreError when the file is
// missing or not a regular file, is not a database, has another password, stores text other than as
// UTF-16le, lacks one of the tables User, Accounts and Parameters, or holds anything else than those
// tables and the program's own indexes on them (error 3049, with a description to show); such a file is left unchanged.
// The engine's journal beside the file is kept between saves.
std::shared_ptr<Database> OpenAccountDatabase(const std::filesystem::path &path);

// Makes a new, empty account database with the password above, the cipher settings that opening states too, text
// stored as UTF-16le, and the three tables with their indexes. It is written under a new name beside the path, given
// to `made` (when there is one) as an open descriptor before it is complete, and only then put in place; never over
// anything already at the path, which raises. On failure nothing is left behind.
void CreateAccountDatabase(const std::filesystem::path &path, const std::function<void(int fd)> &made = {});
