#pragma once

// The database layer: an open database, its record sets and transactions, over an encrypted
// engine. Statements are written in the program's own dialect (bracketed names, SELECT *,
// DELETE * FROM, & joining texts, ChrW(n) for one character with n from -32768 to 65535).
// Every failure raises StoreError; a Null column value is Variant::Null(), never the empty text.
// Text comparisons with = are exact, unit by unit, letter case counting.

#include "Variant.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

class Connection;

enum RecordsetTypeEnum : std::int32_t
{
    dbOpenDynaset = 2,
    dbOpenSnapshot = 4
};
enum RecordsetOptionEnum : std::int32_t
{
    dbReadOnly = 4
};

// A read-only copy of the rows of a lookup, taken when it is opened, with a current row.
class Recordset
{
public:
    virtual ~Recordset() = default;

    // Above 0 exactly when the set has a row.
    virtual std::int32_t RecordCount() const = 0;
    virtual void MoveFirst() = 0;
    virtual void MoveNext() = 0;
    // True after the last row ("EOF" itself is a C library macro).
    virtual bool Eof() const = 0;
    // The column's value in the current row; the name may be given with or without brackets, letters in any case.
    virtual Variant Fields(std::u16string_view name) const = 0;
    virtual void Close() = 0;
};

class Database
{
public:
    explicit Database(std::shared_ptr<Connection> connection);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    // A snapshot of the rows of a SELECT, in the table's order unless the statement orders them. Raises
    // StoreError 3251 for any other kind of record set: the program changes rows through named operations.
    std::unique_ptr<Recordset> OpenRecordset(std::u16string_view sql, std::int32_t type = dbOpenSnapshot,
                                             std::int32_t options = dbReadOnly);
    // Runs a statement that returns no rows; a failure always raises.
    void Execute(std::u16string_view sql);
    bool HasTable(std::u16string_view name) const;
    // For the store's own statements.
    const std::shared_ptr<Connection> &connection() const { return connection_; }

private:
    friend class Transaction;
    std::shared_ptr<Connection> connection_;
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
