#include "GuardedVfs.h"

#include <sqlcipher/sqlite3.h>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

// Older engines name the super-journal as they once did.
#ifndef SQLITE_OPEN_SUPER_JOURNAL
#define SQLITE_OPEN_SUPER_JOURNAL SQLITE_OPEN_MASTER_JOURNAL
#endif

namespace {

constexpr std::string_view JournalSuffix = "-journal";
constexpr std::string_view WalSuffix = "-wal";
// The files the engine makes for itself without a name, deleted as they are opened.
constexpr int NamelessFiles =
    SQLITE_OPEN_TEMP_DB | SQLITE_OPEN_TEMP_JOURNAL | SQLITE_OPEN_TRANSIENT_DB | SQLITE_OPEN_SUBJOURNAL;

thread_local std::optional<RefusedFile> lastRefusal;

void Refuse(FileRefusal reason, const char *path)
{
    lastRefusal = RefusedFile{reason, path ? path : ""};
}

// The databases opened so far, by the full names the engine gives them.
class OpenedDatabases
{
public:
    void Remember(const char *name)
    {
        const std::lock_guard lock(mutex_);
        names_.insert(name);
    }
    // Whether the path is one of them, or the journal of one.
    bool Owns(std::string_view path) const
    {
        if (path.ends_with(JournalSuffix))
            path.remove_suffix(JournalSuffix.size());
        const std::lock_guard lock(mutex_);
        return names_.contains(std::string(path));
    }

private:
    mutable std::mutex mutex_;
    std::set<std::string, std::less<>> names_;
};

OpenedDatabases openedDatabases;

sqlite3_vfs *Underlying(sqlite3_vfs *vfs)
{
    return static_cast<sqlite3_vfs *>(vfs->pAppData);
}

// Every open of the engine's own file layer. A FIFO opened without waiting cannot hold the engine up; a link at the
// path is not followed; what was opened is checked, so nothing put there after a check is used.
int OpenSafely(const char *path, int flags, int mode)
{
    // The engine fills a closed standard descriptor with it, which leaves its files clear of them.
    if (std::string_view(path) == "/dev/null")
        return ::open(path, flags | O_CLOEXEC, mode);
    const int fd = ::open(path, flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, static_cast<mode_t>(mode));
    if (fd < 0) {
        if (errno == ELOOP || errno == ENXIO)
            Refuse(FileRefusal::NotRegularFile, path);
        return fd;
    }
    struct stat status = {};
    const bool known = ::fstat(fd, &status) == 0;
    const bool folderToRead = known && S_ISDIR(status.st_mode) && (flags & O_ACCMODE) == O_RDONLY;
    const bool ownFile = known && S_ISREG(status.st_mode) && status.st_nlink == 1;
    if (!folderToRead && !ownFile) {
        Refuse(known && S_ISREG(status.st_mode) ? FileRefusal::MoreThanOneLink : FileRefusal::NotRegularFile, path);
        ::close(fd);
        errno = EPERM;
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int Open(sqlite3_vfs *vfs, const char *name, sqlite3_file *file, int flags, int *outFlags)
{
    const bool nameless = name == nullptr && (flags & NamelessFiles) != 0;
    if (!nameless && (flags & (SQLITE_OPEN_MAIN_DB | SQLITE_OPEN_MAIN_JOURNAL)) == 0) {
        file->pMethods = nullptr;
        Refuse(FileRefusal::NotOwnFile, name);
        return SQLITE_CANTOPEN;
    }
    if (flags & SQLITE_OPEN_MAIN_DB)
        openedDatabases.Remember(name);
    return Underlying(vfs)->xOpen(Underlying(vfs), name, file, flags, outFlags);
}

// Anything but a database's own files is absent, as far as the engine can tell.
int Access(sqlite3_vfs *vfs, const char *name, int flags, int *result)
{
    if (!openedDatabases.Owns(name)) {
        *result = 0;
        return SQLITE_OK;
    }
    return Underlying(vfs)->xAccess(Underlying(vfs), name, flags, result);
}

// A write-ahead log is never the program's: older engines clear one away as they open an empty database, and
// are told there was none.
bool IsWalOfOpened(std::string_view path)
{
    if (!path.ends_with(WalSuffix))
        return false;
    path.remove_suffix(WalSuffix.size());
    return openedDatabases.Owns(path) && !path.ends_with(JournalSuffix);
}

int Delete(sqlite3_vfs *vfs, const char *name, int syncFolder)
{
    if (IsWalOfOpened(name))
        return SQLITE_IOERR_DELETE_NOENT;
    if (!openedDatabases.Owns(name)) {
        Refuse(FileRefusal::NotOwnFile, name);
        return SQLITE_IOERR_DELETE;
    }
    return Underlying(vfs)->xDelete(Underlying(vfs), name, syncFolder);
}

sqlite3_vfs *MakeGuardedVfs()
{
    sqlite3_initialize();
    sqlite3_vfs *unix = sqlite3_vfs_find("unix");
    unix->xSetSystemCall(unix, "open", reinterpret_cast<sqlite3_syscall_ptr>(&OpenSafely));
    // The engine's own layer does everything else, and is told the files it works on are its own.
    static sqlite3_vfs guarded = *unix;
    guarded.pNext = nullptr;
    guarded.zName = "tarnwick";
    guarded.pAppData = unix;
    guarded.xOpen = Open;
    guarded.xAccess = Access;
    guarded.xDelete = Delete;
    sqlite3_vfs_register(&guarded, 0);
    return &guarded;
}

} // namespace

const char *GuardedVfsName()
{
    static const sqlite3_vfs *const guarded = MakeGuardedVfs();
    return guarded->zName;
}

void ForgetFileRefusal()
{
    lastRefusal.reset();
}

std::optional<RefusedFile> TakeFileRefusal()
{
    return std::exchange(lastRefusal, std::nullopt);
}
