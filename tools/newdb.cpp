// tarnwick-newdb [--group GROUP] PATH: creates an empty account database at PATH, never over anything there.
//
// With --group, for the shared folder of an installed program (the package runs it as root): the database belongs
// to the group with mode 0660, and so does the engine's journal beside it, which is made once and kept. What stands
// at either path other than a regular file with one link (a folder, a FIFO, a symbolic or a hard link) is left alone
// and reported; a database already there is not touched. Owner and mode are only ever set through descriptors of
// files made here or opened without following a link and known to have one link, never by a path that a member
// could swap.

#include "AccountDatabase.h"
#include "StoreError.h"
#include "Text.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr mode_t SharedMode = 0660;
// A member's journal larger than this is no journal of the program's.
constexpr off_t LargestJournal = 256 << 20;

bool Report(const std::string &what)
{
    std::fprintf(stderr, "tarnwick-newdb: %s\n", what.c_str());
    return false;
}

bool Share(int fd, gid_t group)
{
    return ::fchown(fd, static_cast<uid_t>(-1), group) == 0 && ::fchmod(fd, SharedMode) == 0;
}

bool CreateDatabase(const std::string &path, std::optional<gid_t> group)
{
    try {
        CreateAccountDatabase(path, [group](int fd) {
            if (group && !Share(fd, *group))
                throw StoreError(StoreErrorKind::EngineFailed,
                                 u"cannot give it the group: " + FromUtf8(std::strerror(errno)));
        });
    } catch (const StoreError &error) {
        return Report(ToUtf8(error.Description()));
    }
    return true;
}

// What stands at a path in the shared folder that the program will not use: left alone, with what to do about it.
bool ReportPlanted(const std::string &path, const struct stat &status)
{
    const char *what = S_ISDIR(status.st_mode)    ? "a folder"
                       : S_ISLNK(status.st_mode)  ? "a symbolic link"
                       : !S_ISREG(status.st_mode) ? "not a regular file"
                                                  : "a file with another name too (a hard link)";
    return Report(path + " is " + what + "; left alone. Remove it and reconfigure the package (dpkg-reconfigure " +
                  "tarnwick) to get the program's own file there.");
}

bool IsOwnKind(const struct stat &status)
{
    return S_ISREG(status.st_mode) && status.st_nlink == 1;
}

// The database at the path, made when nothing is there; a shared folder's existing one is left as it is.
bool EnsureDatabase(const std::string &path, std::optional<gid_t> group)
{
    struct stat status = {};
    if (::lstat(path.c_str(), &status) != 0)
        return errno == ENOENT ? CreateDatabase(path, group) : Report(path + ": " + std::strerror(errno));
    if (!IsOwnKind(status))
        return ReportPlanted(path, status);
    return group.has_value() || Report("cannot create '" + path + "': something is there already.");
}

// The bytes of an open journal of a member's; nothing for one too large to be the program's.
std::optional<std::vector<char>> JournalBytes(int fd, const struct stat &status)
{
    if (status.st_size > LargestJournal)
        return std::nullopt;
    std::vector<char> bytes(static_cast<std::size_t>(status.st_size));
    if (::pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        return std::nullopt;
    return bytes;
}

// A journal of root's own in the sticky folder, which no member can replace: made beside and renamed into place,
// which replaces a link or a member's file there and never follows it. A member's journal may hold the pages a save
// cut short must roll back: its bytes are kept.
bool ReplaceJournal(const std::string &journal, gid_t group, const std::vector<char> &bytes)
{
    std::string temporary = journal + ".new-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return Report(journal + ": " + std::strerror(errno));
    const bool made = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()) &&
                      Share(fd, group) && ::fsync(fd) == 0 && ::rename(temporary.c_str(), journal.c_str()) == 0;
    const int error = errno;
    ::close(fd);
    if (!made) {
        ::unlink(temporary.c_str());
        return Report(journal + ": " + std::strerror(error));
    }
    return true;
}

// The journal is root's own, a regular file with one link, or is made so: one of a member's (made when the journal
// was missing) is replaced by root's with its bytes. Owner and mode are set only through a descriptor of such a
// file, so that no link can lend them to another file; anything else there is left alone.
bool EnsureJournal(const std::string &journal, gid_t group)
{
    const int fd = ::open(journal.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat status = {};
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        const int error = errno;
        if (fd >= 0)
            ::close(fd);
        if (::lstat(journal.c_str(), &status) == 0)
            return ReportPlanted(journal, status);
        return error == ENOENT ? ReplaceJournal(journal, group, {}) : Report(journal + ": " + std::strerror(error));
    }
    bool done = false;
    if (!IsOwnKind(status))
        done = ReportPlanted(journal, status);
    else if (status.st_uid == ::geteuid())
        done = Share(fd, group) || Report(journal + ": " + std::strerror(errno));
    else if (const std::optional<std::vector<char>> bytes = JournalBytes(fd, status))
        done = ReplaceJournal(journal, group, *bytes);
    else
        done = Report(journal + " is a member's file, too large for a journal; left alone.");
    ::close(fd);
    return done;
}

int Usage()
{
    std::fprintf(stderr, "usage: tarnwick-newdb [--group GROUP] PATH\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() != 1 && !(arguments.size() == 3 && arguments[0] == "--group"))
        return Usage();
    const std::string &path = arguments.back();
    std::optional<gid_t> group;
    if (arguments.size() == 3) {
        const struct group *entry = ::getgrnam(arguments[1].c_str());
        if (!entry) {
            Report("no group " + arguments[1]);
            return 1;
        }
        group = entry->gr_gid;
    }
    bool done = EnsureDatabase(path, group);
    if (group)
        done = EnsureJournal(path + "-journal", *group) && done;
    return done ? 0 : 1;
}
