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

// A set of rows with a current row. A snapshot is a read-only copy taken when it is opened. A
// dynaset over one table follows the table: rows are read when they become current, and rows are
// added, changed and deleted through it; rows it adds join its end.
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
    // The column's value in the current row (or in the row being edited or added); the name may be
    // given with or without brackets, letters in any case.
    virtual Variant Fields(std::u16string_view name) const = 0;
    // Sets a column of the row being edited or added.
    virtual void Fields(std::u16string_view name, const Variant &value) = 0;
    // Makes the first row meeting the criteria current; NoMatch tells whether there was none, and
    // then the current row stays. "[ID] = n" on the table's key finds its row directly.
    virtual void FindFirst(std::u16string_view criteria) = 0;
    virtual bool NoMatch() const = 0;
    // Begins a new row; its key can be read at once and is never given to another row.
    virtual void AddNew() = 0;
    virtual void Edit() = 0;
    // Writes the row begun by AddNew or Edit.
    virtual void Update() = 0;
    virtual void Delete() = 0;
    // The current row's 0-based position; negative when there is no current row.
    virtual std::int32_t AbsolutePosition() const = 0;
    virtual void Close() = 0;
};

class Database
{
public:
    explicit Database(std::shared_ptr<Connection> connection);
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    std::unique_ptr<Recordset> OpenRecordset(std::u16string_view sql, std::int32_t type = dbOpenDynaset,
                                             std::int32_t options = 0);
    // Runs a statement that returns no rows; a failure always raises.
    void Execute(std::u16string_view sql);
    bool HasTable(std::u16string_view name) const;

private:
    friend class Transaction;
    std::shared_ptr<Connection> connection_;
};

// Opens an existing database file; never creates one. The connect string's "pwd=" part is the
// file's password, applied with the file's cipher settings before anything else is read. Raises
// for a missing file, a file that is not a database, a wrong password, and a file storing text
// other than as UTF-16le, which it leaves untouched. While another process writes to the file, a
// statement waits a few seconds for it before it fails.
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
