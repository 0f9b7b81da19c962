#pragma once

// The engine beneath the database layer: one connection and its prepared statements. Private to
// the store; the rest of the program sees only Database and Recordset.

#include "SqlDialect.h"
#include "Variant.h"

#include <sqlcipher/sqlite3.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Error numbers the database layer raises.
namespace ErrorNumber {
constexpr std::int32_t EngineError = 3000;
constexpr std::int32_t UpdateWithoutEdit = 3020;
constexpr std::int32_t NoCurrentRecord = 3021;
constexpr std::int32_t FileNotFound = 3024;
constexpr std::int32_t ReadOnly = 3027;
constexpr std::int32_t TableNotFound = 3078;
constexpr std::int32_t InvalidName = 3125;
constexpr std::int32_t FieldNotUpdatable = 3164;
constexpr std::int32_t RecordDeleted = 3167;
constexpr std::int32_t NotSupported = 3251;
constexpr std::int32_t Locked = 3260;
constexpr std::int32_t ItemNotFound = 3265;
constexpr std::int32_t UnrecognizedFormat = 3343;
constexpr std::int32_t ObjectClosed = 3420;
} // namespace ErrorNumber

// An open connection; closed when the last database object or record set holding it is gone.
class Connection
{
public:
    explicit Connection(sqlite3 *handle) : handle_(handle) {}
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    sqlite3 *handle() const { return handle_; }
    [[noreturn]] void Raise(int code) const;

private:
    sqlite3 *handle_;
};

// The value written into a statement: NULL, the decimal number, or the text as an EngineTextLiteral.
std::u16string SqlValue(const Variant &value);

// One prepared statement of a connection, reset after every use so it holds no lock in between.
class Statement
{
public:
    Statement(std::shared_ptr<Connection> connection, std::u16string_view sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // A text that may begin with U+FEFF or U+FFFE must go into the statement as a SqlValue instead.
    void Bind(int index, const Variant &value);
    // Binds a value by its parameter's name (":name").
    void Bind(const char *name, const Variant &value);
    // Advances to the next row; false when there is none (the statement is then reset).
    bool Step();
    // Runs the statement to its end and resets it.
    void Run();
    // Ends the current run, keeping the bound values.
    void Reset();

    int ColumnCount() const;
    std::u16string ColumnName(int column) const;
    Variant Column(int column) const;
    std::vector<Variant> Row() const;

private:
    std::shared_ptr<Connection> connection_;
    sqlite3_stmt *statement_ = nullptr;
};
