#pragma once

// The engine beneath the database layer: one connection and its prepared statements. Private to
// the store; the rest of the program sees only Database and the store's named operations.

#include "Variant.h"

#include <sqlcipher/sqlite3.h>

#ifdef TARNWICK_BUILTIN_SQLCIPHER
// The engine compiled in: keeps the main database's journal between transactions before anything is read.
extern "C" int TarnwickKeepJournal(sqlite3 *db);
#endif

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

// A text longer than this, in bytes, is read through a cache that takes a leading U+FEFF or U+FFFE for a byte-order
// mark, dropping the one and byte-swapping the rest for the other (SQLite 3.43 and on). The engine compiled in is
// mended, a system's may not be: the store reads the texts people write through Statement::StoredText.
inline constexpr std::size_t LongTextBytes = 4000;

// An open connection; closed when the last database object or statement holding it is gone.
class Connection
{
public:
    explicit Connection(sqlite3 *handle) : handle_(handle) {}
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return handle_; }
    [[noreturn]] void Raise(int code) const;
    // A text column of a table's row as the file holds it, with the engine's cache of long values passed by (see
    // LongTextBytes): its bytes, as a text. Read while a statement stands on the row, it is of the same moment.
    std::u16string StoredText(const char *table, const char *column, std::int64_t rowid) const;

private:
    sqlite3 *handle_;
};

// One prepared statement of a connection, reset after every use so it holds no lock in between.
class Statement
{
public:
    Statement(std::shared_ptr<Connection> connection, std::u16string_view sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    void Bind(int index, std::int64_t number);
    // Binds the text's 16-bit units as they are, as a blob that the statement reads as (?n || ''): the engine would
    // take a leading U+FEFF or U+FFFE of a bound text for a byte-order mark. A blob joined to a text is text in the
    // file's encoding, byte for byte, on every engine; CAST(?n AS TEXT) reads a bound blob as UTF-8 on some (SQLite
    // 3.46, in SQLCipher 4.6).
    void BindText(int index, std::u16string_view text);
    // Advances to the next row; false when there is none (the statement is then reset).
    bool Step();
    // Runs the statement to its end and resets it.
    void Run();
    // Ends the current run, keeping the bound values.
    void Reset();

    Variant Column(int column) const;

private:
    std::shared_ptr<Connection> connection_;
    sqlite3_stmt *statement_ = nullptr;
};
