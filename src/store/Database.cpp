#include "Database.h"

#include "CipherSettings.h"
#include "DatabaseKey.h"
#include "Engine.h"
#include "GuardedVfs.h"
#include "StoreError.h"
#include "Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// How long a statement waits for another process's lock before it fails.
constexpr int BusyTimeoutMilliseconds = 5000;

std::u16string ConnectPassword(std::u16string_view connect)
{
    std::size_t start = 0;
    while (start <= connect.size()) {
        std::size_t end = connect.find(u';', start);
        if (end == std::u16string_view::npos)
            end = connect.size();
        const std::u16string_view part = connect.substr(start, end - start);
        if (part.size() >= 4 && EqualsIgnoringAsciiCase(part.substr(0, 4), u"pwd="))
            return std::u16string(part.substr(4));
        start = end + 1;
    }
    return {};
}

// The file at a path, opened without following a link there and without waiting on a FIFO, and known to be a
// regular file before any byte of it is read: a folder others may write to can hold anything at the path.
class RegularFile
{
public:
    explicit RegularFile(const std::filesystem::path &name)
        : fd_(::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC))
    {
        if (fd_ < 0 && errno == ENOENT)
            throw StoreError(StoreErrorKind::FileNotFound, u"Could not find file '" + name.u16string() + u"'.");
        if (fd_ < 0)
            throw StoreError(StoreErrorKind::EngineFailed,
                             u"Cannot open '" + name.u16string() + u"': " + FromUtf8(std::strerror(errno)) + u".");
        if (::fstat(fd_, &status_) != 0 || !S_ISREG(status_.st_mode)) {
            ::close(fd_);
            throw StoreError(StoreErrorKind::EngineFailed, u"'" + name.u16string() + u"' is not a regular file.");
        }
    }
    ~RegularFile() { ::close(fd_); }
    RegularFile(const RegularFile &) = delete;
    RegularFile &operator=(const RegularFile &) = delete;

    // Nothing for a file too short to have a salt.
    std::optional<FileSalt> Salt() const
    {
        FileSalt salt;
        if (::pread(fd_, salt.data(), salt.size(), 0) != static_cast<ssize_t>(salt.size()))
            return std::nullopt;
        return salt;
    }

    // Whether the path still names this file, so that the engine, which opens it by its path, opened this one.
    void RequireStillAt(const std::filesystem::path &name) const
    {
        struct stat now = {};
        if (::lstat(name.c_str(), &now) != 0 || now.st_dev != status_.st_dev || now.st_ino != status_.st_ino)
            throw StoreError(StoreErrorKind::EngineFailed,
                             u"'" + name.u16string() + u"' was replaced while it opened.");
    }

private:
    int fd_;
    struct stat status_ = {};
};

std::shared_ptr<Connection> OpenConnection(const std::filesystem::path &name, bool readOnly)
{
    sqlite3 *handle = nullptr;
    ForgetFileRefusal();
    const int code = sqlite3_open_v2(name.c_str(), &handle, readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE,
                                     GuardedVfsName());
    auto connection = std::make_shared<Connection>(handle);
    if (code != SQLITE_OK)
        connection->Raise(code);
    return connection;
}

// An empty key leaves the file unencrypted; any other is followed at once by the file's cipher settings.
void ApplyKey(const std::shared_ptr<Connection> &connection, std::string_view key)
{
    if (key.empty())
        return;
    if (const int code = sqlite3_key(connection->handle(), key.data(), static_cast<int>(key.size())); code != SQLITE_OK)
        connection->Raise(code);
    if (const int code = ApplyCipherSettings(connection->handle()); code != SQLITE_OK)
        connection->Raise(code);
}

// Whoever may write the file may have crafted it: the engine then runs none of the code a schema can carry
// (triggers, views, functions that are not innocuous), lets no statement write the schema, and checks every page's
// cells as it reads them. Engines older than an option go without it.
void Harden(const std::shared_ptr<Connection> &connection)
{
    sqlite3 *handle = connection->handle();
#ifdef SQLITE_DBCONFIG_DEFENSIVE
    sqlite3_db_config(handle, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
#endif
#ifdef SQLITE_DBCONFIG_TRUSTED_SCHEMA
    sqlite3_db_config(handle, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
#endif
#ifdef SQLITE_DBCONFIG_ENABLE_VIEW
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_VIEW, 0, nullptr);
#endif
    sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
    Statement(connection, u"PRAGMA cell_size_check = ON;").Run();
}

// The journal stays between saves: in a shared folder the one an administrator made is used, and no member can put a
// link where the next save would create it. The engine compiled in keeps it before anything is read, a hot journal's
// rollback included; another engine only from its pragma on, which reads the file first.
void KeepJournal(const std::shared_ptr<Connection> &connection)
{
#ifdef TARNWICK_BUILTIN_SQLCIPHER
    if (const int code = TarnwickKeepJournal(connection->handle()); code != SQLITE_OK)
        connection->Raise(code);
#else
    Statement(connection, u"PRAGMA journal_mode = PERSIST;").Run();
#endif
}

void Configure(const std::shared_ptr<Connection> &connection, bool exclusive)
{
    KeepJournal(connection);
    Harden(connection);
    sqlite3_busy_timeout(connection->handle(), BusyTimeoutMilliseconds);
    if (exclusive)
        Statement(connection, u"PRAGMA locking_mode = EXCLUSIVE;").Run();
}

// A wrong key shows only when the file is first read: read the schema now.
void ReadSchema(const std::shared_ptr<Connection> &connection)
{
    Statement(connection, u"SELECT count(*) FROM sqlite_master;").Run();
}

std::shared_ptr<Connection> OpenKeyed(const std::filesystem::path &name, bool exclusive, bool readOnly,
                                      std::string_view key)
{
    auto connection = OpenConnection(name, readOnly);
    ApplyKey(connection, key);
    Configure(connection, exclusive);
    ReadSchema(connection);
    return connection;
}

// Text goes into statements and out of them as 16-bit units stored as they are; in a file storing text another
// way the first save would garble it, so such a file is refused before anything is written.
void RequireUtf16Text(const std::shared_ptr<Connection> &connection)
{
    Statement encoding(connection, u"PRAGMA encoding;");
    const std::u16string name = encoding.Step() ? encoding.Column(0).ToText() : std::u16string();
    encoding.Reset();
    if (name != u"UTF-16le")
        throw StoreError(StoreErrorKind::UnrecognizedFormat,
                         u"The database stores its text as " + name + u", not as UTF-16le.");
}

} // namespace

Database::Database(std::shared_ptr<Connection> connection, bool openedWithPageKey)
    : connection_(std::move(connection)), openedWithPageKey_(openedWithPageKey)
{
}

Database::~Database() = default;

void Database::WaitForLocks(int milliseconds)
{
    sqlite3_busy_timeout(connection_->handle(), milliseconds);
}

std::filesystem::path Database::FilePath() const
{
    const char *name = sqlite3_db_filename(connection_->handle(), "main");
    return name ? name : "";
}

std::shared_ptr<Database> OpenDatabase(const std::filesystem::path &name, bool exclusive, bool readOnly,
                                       std::u16string_view connect)
{
    const RegularFile file(name);
    const std::string password = ToUtf8(ConnectPassword(connect));
    std::shared_ptr<Connection> connection;
    KeyedWith keyed = KeyedWith::Password;
    if (password.empty())
        connection = OpenKeyed(name, exclusive, readOnly, password);
    else
        keyed = KeyDatabase(file.Salt(), password,
                            [&](std::string_view key) { connection = OpenKeyed(name, exclusive, readOnly, key); });
    file.RequireStillAt(name);
    RequireUtf16Text(connection);
    return std::make_shared<Database>(std::move(connection), keyed == KeyedWith::PageKey);
}

Transaction::Transaction(Database &database) : connection_(database.connection_)
{
    Statement(connection_, u"BEGIN IMMEDIATE;").Run();
}

Transaction::~Transaction()
{
    if (open_)
        sqlite3_exec(connection_->handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
}

void Transaction::Commit()
{
    Statement(connection_, u"COMMIT;").Run();
    open_ = false;
}
