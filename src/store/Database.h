#pragma once

// The database layer: an open database and its transactions, over an encrypted engine whose
// statements the store's named operations run (Users.h, AccountSet.h, Parameters.h). Every failure
// raises StoreError; a Null column value is Variant::Null(), never the empty text. Text
// comparisons with = are exact, unit by unit, letter case counting.

#include "Variant.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class Connection;

// An open database: the connection the store's statements run on, each bound, never built from text.
class Database
{
public:
    Database(std::shared_ptr<Connection> connection, bool openedWithPageKey);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    const std::shared_ptr<Connection> &connection() const { return connection_; }
    // The file's path, as it was opened.
    std::filesystem::path FilePath() const;
    // How long a statement waits for another process's lock before it fails, from now on.
    void WaitForLocks(int milliseconds);
    // Whether the file opened with the page key derived here, as every file of the program's does, rather than
    // through the engine's own, slower derivation from the password.
    bool OpenedWithPageKey() const { return openedWithPageKey_; }

private:
    friend class Transaction;
    std::shared_ptr<Connection> connection_;
    bool openedWithPageKey_;
};

// Opens an existing database file; never creates one. The connect string's "pwd=" part is the
// file's password, applied with the file's cipher settings before anything else is read. Raises
// for a missing file, a symbolic link or anything but a regular file at the path (at once, never
// waiting on a FIFO), a file that is not a database, a wrong password, and a file storing text
// other than as UTF-16le, which it leaves untouched. The connection runs none of the triggers or
// views a file may carry and lets no statement change the schema's text. While another process
// writes to the file, a statement waits a few seconds for it before it fails.
std::shared_ptr<Database> OpenDatabase(const std::filesystem::path &name, bool exclusive, bool readOnly,
                                       std::u16string_view connect);

// Changes made between its creation and Commit land together or not at all; rolled back unless
// committed.
class Transaction
{
public:
    explicit Transaction(Database &database);
    ~Transaction();
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    void Commit();

private:
    std::shared_ptr<Connection> connection_;
    bool open_ = true;
};
