#include "Engine.h"

#include "GuardedVfs.h"
#include "StoreError.h"
#include "Text.h"

namespace {

bool IsFileError(int code)
{
    const int primary = code & 0xFF;
    return primary == SQLITE_CANTOPEN || primary == SQLITE_IOERR;
}

// What the person is told of a file the program's rules refused to the engine.
std::u16string Describe(const RefusedFile &refused)
{
    const std::u16string path = u"'" + FromUtf8(refused.path) + u"'";
    switch (refused.reason) {
    case FileRefusal::NotRegularFile:
        return path + u" is not a regular file; remove it, or have an administrator remove it.";
    case FileRefusal::MoreThanOneLink:
        return path + u" has another name too (a hard link); that other name must be removed.";
    case FileRefusal::NotOwnFile:
        break;
    }
    return u"The database's journal names " + path + u", which is none of its files: it was left alone.";
}

} // namespace

Connection::~Connection()
{
    sqlite3_close_v2(handle_);
}

void Connection::Raise(int code) const
{
    if (const std::optional<RefusedFile> refused = TakeFileRefusal(); refused && IsFileError(code))
        throw StoreError(StoreErrorKind::FileRefused, Describe(*refused));
    const auto *message = static_cast<const char16_t *>(sqlite3_errmsg16(handle_));
    const std::u16string engineMessage = message ? std::u16string(message) : std::u16string();
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw StoreError(StoreErrorKind::Locked, u"The database is locked by another process.");
    case SQLITE_READONLY:
        throw StoreError(StoreErrorKind::ReadOnly, u"Cannot update. Database or object is read-only.");
    case SQLITE_NOTADB:
        throw StoreError(StoreErrorKind::UnrecognizedFormat, u"Not a database file, or a wrong password.");
    case SQLITE_CORRUPT:
        throw StoreError(StoreErrorKind::UnrecognizedFormat, u"The database file is damaged.");
    default:
        throw StoreError(StoreErrorKind::EngineFailed, engineMessage);
    }
}

std::u16string Connection::StoredText(const char *table, const char *column, std::int64_t rowid) const
{
    sqlite3_blob *blob = nullptr;
    if (const int code = sqlite3_blob_open(handle_, "main", table, column, rowid, 0, &blob); code != SQLITE_OK) {
        sqlite3_blob_close(blob);
        Raise(code);
    }
    std::u16string text(static_cast<std::size_t>(sqlite3_blob_bytes(blob)) / 2, u'\0');
    const int code = sqlite3_blob_read(blob, text.data(), static_cast<int>(text.size() * 2), 0);
    sqlite3_blob_close(blob);
    if (code != SQLITE_OK)
        Raise(code);
    return text;
}

Statement::Statement(std::shared_ptr<Connection> connection, std::u16string_view sql)
    : connection_(std::move(connection))
{
    const void *tail = nullptr;
    ForgetFileRefusal();
    const int code =
        sqlite3_prepare16_v2(connection_->handle(), sql.data(), static_cast<int>(sql.size() * 2), &statement_, &tail);
    if (code != SQLITE_OK)
        connection_->Raise(code);
    const auto *rest = static_cast<const char16_t *>(tail);
    const auto *end = sql.data() + sql.size();
    for (; rest && rest < end; ++rest) {
        if (*rest != u' ' && *rest != u'\t' && *rest != u'\r' && *rest != u'\n') {
            sqlite3_finalize(statement_);
            throw StoreError(StoreErrorKind::EngineFailed, u"Characters found after end of SQL statement.");
        }
    }
    if (!statement_)
        throw StoreError(StoreErrorKind::EngineFailed, u"The statement is empty.");
}

Statement::~Statement()
{
    sqlite3_finalize(statement_);
}

void Statement::Bind(int index, std::int64_t number)
{
    if (const int code = sqlite3_bind_int64(statement_, index, number); code != SQLITE_OK)
        connection_->Raise(code);
}

void Statement::BindText(int index, std::u16string_view text)
{
    const int code =
        sqlite3_bind_blob64(statement_, index, text.empty() ? u"" : text.data(), text.size() * 2, SQLITE_TRANSIENT);
    if (code != SQLITE_OK)
        connection_->Raise(code);
}

bool Statement::Step()
{
    ForgetFileRefusal();
    const int code = sqlite3_step(statement_);
    if (code == SQLITE_ROW)
        return true;
    sqlite3_reset(statement_);
    if (code != SQLITE_DONE)
        connection_->Raise(code);
    return false;
}

void Statement::Run()
{
    while (Step()) {
    }
}

void Statement::Reset()
{
    sqlite3_reset(statement_);
}

Variant Statement::Column(int column) const
{
    switch (sqlite3_column_type(statement_, column)) {
    case SQLITE_NULL:
        return Variant::Null();
    case SQLITE_INTEGER:
        return Variant(static_cast<std::int64_t>(sqlite3_column_int64(statement_, column)));
    default: {
        const auto *text = static_cast<const char16_t *>(sqlite3_column_text16(statement_, column));
        const int bytes = sqlite3_column_bytes16(statement_, column);
        return Variant(std::u16string(text ? text : u"", static_cast<std::size_t>(bytes / 2)));
    }
    }
}
