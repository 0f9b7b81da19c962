#include "AccountDatabase.h"

#include "CipherSettings.h"
#include "Engine.h"
#include "StoreError.h"
#include "Text.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<std::u16string_view, 3> RequiredTables = {u"User", u"Accounts", u"Parameters"};

// The accounts' index also holds the names, so listing a user's accounts reads the index alone.
constexpr const char *Schema = R"sql(
PRAGMA encoding = 'UTF-16le';
BEGIN;
CREATE TABLE "User" ("ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserName" TEXT, "Password" TEXT);
CREATE INDEX "UserUserName" ON "User" ("UserName");
CREATE TABLE "Accounts" ("ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserID" INTEGER, "Account" TEXT,
    "UserName" TEXT, "Password" TEXT, "URL" TEXT, "Phone" TEXT, "Comment" TEXT);
CREATE INDEX "AccountsUserID" ON "Accounts" ("UserID", "Account");
CREATE TABLE "Parameters" ("Name" TEXT, "Value" TEXT);
CREATE INDEX "ParametersName" ON "Parameters" ("Name");
COMMIT;
)sql";

// Creating the file ourselves, exclusively, is what keeps an existing file untouched.
void CreateEmptyFile(const std::filesystem::path &path)
{
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        const std::u16string reason = errno == EEXIST ? u"the file already exists" : FromUtf8(std::strerror(errno));
        throw StoreError(ErrorNumber::EngineError, u"Cannot create '" + path.u16string() + u"': " + reason + u".");
    }
    ::close(descriptor);
}

void WriteSchema(const std::filesystem::path &path)
{
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    Connection connection(handle);
    if (opened != SQLITE_OK)
        connection.Raise(opened);
    const std::string key = ToUtf8(AccountDatabaseConnect.substr(AccountDatabaseConnect.find(u'=') + 1));
    if (const int keyed = sqlite3_key(handle, key.data(), static_cast<int>(key.size())); keyed != SQLITE_OK)
        connection.Raise(keyed);
    if (const int set = ApplyCipherSettings(handle); set != SQLITE_OK)
        connection.Raise(set);
    if (const int written = sqlite3_exec(handle, Schema, nullptr, nullptr, nullptr); written != SQLITE_OK)
        connection.Raise(written);
}

} // namespace

std::shared_ptr<Database> OpenAccountDatabase(const std::filesystem::path &path)
{
    auto database = OpenDatabase(path, false, false, AccountDatabaseConnect);
    for (const std::u16string_view table : RequiredTables) {
        if (!database->HasTable(table))
            throw StoreError(ErrorNumber::TableNotFound, u"Cannot find table '" + std::u16string(table) + u"'.");
    }
    return database;
}

void CreateAccountDatabase(const std::filesystem::path &path)
{
    CreateEmptyFile(path);
    try {
        WriteSchema(path);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(path, ignored);
        throw;
    }
}
