#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// What went wrong in the support and store code.
enum class StoreErrorKind
{
    InvalidArgument,
    Overflow,
    // Text read as a number holds something else.
    NotANumber,
    // A Null read as text or as a number.
    NullValue,
    // The parameters were given no database.
    Unbound,
    // The session's database was closed.
    SessionClosed,
    // Anything else the engine or the file system refused; the description says what.
    EngineFailed,
    FileNotFound,
    // The engine was kept from a file other than the database's own regular files.
    FileRefused,
    // By another process.
    Locked,
    ReadOnly,
    // Not a database, the wrong password, a damaged file, or text not stored as UTF-16le.
    UnrecognizedFormat,
    TableNotFound,
    // The file holds objects the program does not make.
    ForeignObjects,
    InvalidName
};

// The number the logon shows for the kind ("Password validation error: " + number + " - " + description).
std::int32_t ErrorCode(StoreErrorKind kind);

// The one error type raised by the support and store code: what went wrong and a description.
class StoreError : public std::runtime_error
{
public:
    StoreError(StoreErrorKind kind, std::u16string description);

    StoreErrorKind Kind() const { return kind_; }
    const std::u16string &Description() const { return description_; }

private:
    StoreErrorKind kind_;
    std::u16string description_;
};

// Raises InvalidArgument, "Invalid procedure call or argument".
[[noreturn]] void RaiseInvalidArgument();
