#pragma once

// The engine's files, opened by the program's own rules: the database and its journal may stand in a folder others
// can write to, where anything may be planted at any moment, and a check before the engine opens a file could be
// raced. So the engine opens every file itself without following a link and without waiting, and uses it only when
// it is a regular file with exactly one link (a folder only to read, which makes a change in it durable). Of what a
// database's files may name, only the database and its journal are ever looked for, opened or deleted: a
// super-journal, which the program never writes, is taken to be gone, so a journal that names one is rolled back
// without it, and a write-ahead log planted beside the database is not seen.

#include <optional>
#include <string>

// The name of the engine's file layer that keeps these rules, for sqlite3_open_v2. Set up on the first call, it
// also makes the engine's own layer open files so, for every connection of the process.
const char *GuardedVfsName();

// Why a file was refused to the engine.
enum class FileRefusal
{
    NotRegularFile,  // a link, a folder, a FIFO, a device, ...
    MoreThanOneLink, // a hard link: the file has another name too, maybe in another folder
    NotOwnFile,      // neither the database nor its journal
};

struct RefusedFile
{
    FileRefusal reason;
    std::string path;
};

// Forgets the refusals on this thread; called before each call into the engine.
void ForgetFileRefusal();
// The last refusal on this thread since the last call, if any.
std::optional<RefusedFile> TakeFileRefusal();
