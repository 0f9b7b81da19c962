#include "AccountDatabase.h"

#include "CipherSettings.h"
#include "Engine.h"
#include "GuardedVfs.h"
#include "StoreError.h"
#include "Text.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::array<std::u16string_view, 3> RequiredTables = {u"User", u"Accounts", u"Parameters"};
// The engine's own table of AUTOINCREMENT counters.
constexpr std::u16string_view SequenceTable = u"sqlite_sequence";

constexpr const char *Tables = R"sql(
PRAGMA encoding = 'UTF-16le';
BEGIN;
CREATE TABLE "User" ("ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserName" TEXT, "Password" TEXT);
CREATE TABLE "Accounts" ("ID" INTEGER PRIMARY KEY AUTOINCREMENT, "UserID" INTEGER, "Account" TEXT,
    "UserName" TEXT, "Password" TEXT, "URL" TEXT, "Phone" TEXT, "Comment" TEXT);
CREATE TABLE "Parameters" ("Name" TEXT, "Value" TEXT);
)sql";

// The indexes of the program's files, as the file keeps their statements. The accounts' index also holds the names,
// so listing a user's accounts reads the index alone; files of the first versions have it on the owner alone. Any
// other index would be built and kept up by every member's program on every save: someone who may write the file
// could make each save as slow and large as they like.
struct OwnIndex
{
    std::u16string_view sql;
    bool madeNow;
};
constexpr std::array<OwnIndex, 4> OwnIndexes = {{
    {u"CREATE INDEX \"UserUserName\" ON \"User\" (\"UserName\")", true},
    {u"CREATE INDEX \"AccountsUserID\" ON \"Accounts\" (\"UserID\", \"Account\")", true},
    {u"CREATE INDEX \"ParametersName\" ON \"Parameters\" (\"Name\")", true},
    {u"CREATE INDEX \"AccountsUserID\" ON \"Accounts\" (\"UserID\")", false},
}};

std::string Schema()
{
    std::string schema = Tables;
    for (const OwnIndex &index : OwnIndexes) {
        if (index.madeNow)
            schema += ToUtf8(index.sql) + ";\n";
    }
    return schema + "COMMIT;\n";
}

[[noreturn]] void RaiseCannotCreate(const std::filesystem::path &path, int error)
{
    const std::u16string reason = error == EEXIST ? u"something is there already" : FromUtf8(std::strerror(error));
    throw StoreError(StoreErrorKind::EngineFailed, u"Cannot create '" + path.u16string() + u"': " + reason + u".");
}

// A new file of our own beside the path, made exclusively, so that nothing planted there is followed.
class NewFileBeside
{
public:
    explicit NewFileBeside(const std::filesystem::path &path) : name_(path.string() + ".new-XXXXXX")
    {
        fd_ = ::mkostemp(name_.data(), O_CLOEXEC);
        if (fd_ < 0)
            RaiseCannotCreate(path, errno);
    }
    ~NewFileBeside()
    {
        ::close(fd_);
        if (!placed_)
            ::unlink(name_.c_str());
    }
    NewFileBeside(const NewFileBeside &) = delete;
    NewFileBeside &operator=(const NewFileBeside &) = delete;

    int fd() const { return fd_; }
    std::filesystem::path path() const { return name_; }

    // A link never replaces anything at the path.
    void PlaceAt(const std::filesystem::path &path)
    {
        if (::link(name_.c_str(), path.c_str()) != 0)
            RaiseCannotCreate(path, errno);
        placed_ = true;
        ::unlink(name_.c_str());
    }

private:
    std::string name_;
    int fd_;
    bool placed_ = false;
};

void WriteSchema(const std::filesystem::path &path)
{
    sqlite3 *handle = nullptr;
    const int opened = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, GuardedVfsName());
    Connection connection(handle);
    if (opened != SQLITE_OK)
        connection.Raise(opened);
    const std::string key = ToUtf8(AccountDatabaseConnect.substr(AccountDatabaseConnect.find(u'=') + 1));
    if (const int keyed = sqlite3_key(handle, key.data(), static_cast<int>(key.size())); keyed != SQLITE_OK)
        connection.Raise(keyed);
    if (const int set = ApplyCipherSettings(handle); set != SQLITE_OK)
        connection.Raise(set);
    if (const int written = sqlite3_exec(handle, Schema().c_str(), nullptr, nullptr, nullptr); written != SQLITE_OK)
        connection.Raise(written);
}

bool IsRequiredTable(std::u16string_view name)
{
    return std::any_of(RequiredTables.begin(), RequiredTables.end(),
                       [name](std::u16string_view table) { return EqualsIgnoringAsciiCase(name, table); });
}

// What CreateAccountDatabase makes, or made: the tables, the engine's counters and the indexes above. The engine
// writes the text of every table it stores as "CREATE TABLE " and the rest as given; anything else of type "table" is
// a virtual table, however its text is written, whose module the engine would run.
bool IsOwnObject(std::u16string_view type, std::u16string_view name, std::u16string_view sql)
{
    if (type == u"index")
        return std::any_of(OwnIndexes.begin(), OwnIndexes.end(), [sql](const OwnIndex &own) { return own.sql == sql; });
    const bool storedTable = sql.starts_with(u"CREATE TABLE ");
    return type == u"table" && storedTable && (IsRequiredTable(name) || EqualsIgnoringAsciiCase(name, SequenceTable));
}

bool HasTable(Database &database, std::u16string_view name)
{
    Statement tables(database.connection(), u"SELECT name FROM sqlite_master WHERE type = 'table';");
    while (tables.Step()) {
        if (EqualsIgnoringAsciiCase(tables.Column(0).ToText(), name)) {
            tables.Reset();
            return true;
        }
    }
    return false;
}

// Any member may write the file: one who adds a trigger, a view, a virtual table, a table or an index of their own
// would have the next member's program run it, parse it or keep it up. Such a file is refused before anything is
// written to it.
void RefuseForeignObjects(Database &database)
{
    Statement objects(database.connection(), u"SELECT type, name, coalesce(sql, '') FROM sqlite_master;");
    while (objects.Step()) {
        const std::u16string type = objects.Column(0).ToText(), name = objects.Column(1).ToText();
        if (!IsOwnObject(type, name, objects.Column(2).ToText())) {
            objects.Reset();
            throw StoreError(StoreErrorKind::ForeignObjects, u"The file holds objects the program does not make.");
        }
    }
}

} // namespace

std::shared_ptr<Database> OpenAccountDatabase(const std::filesystem::path &path)
{
    auto database = OpenDatabase(path, false, false, AccountDatabaseConnect);
    for (const std::u16string_view table : RequiredTables) {
        if (!HasTable(*database, table))
            throw StoreError(StoreErrorKind::TableNotFound, u"Cannot find table '" + std::u16string(table) + u"'.");
    }
    RefuseForeignObjects(*database);
    return database;
}

void CreateAccountDatabase(const std::filesystem::path &path, const std::function<void(int fd)> &made)
{
    NewFileBeside file(path);
    WriteSchema(file.path());
    if (made)
        made(file.fd());
    file.PlaceAt(path);
}
