#pragma once

#include "AccountDatabase.h"
#include "AccountSession.h"
#include "Engine.h"

#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <vector>

// Runs one statement in the engine's own SQL, the texts bound to ?1, ?2, ... as the store binds them (to be read as
// (?n || '')); gives the first column of every row. For tests that set up a file or read it back.
inline std::vector<Variant> Sql(Database &database, std::u16string_view sql,
                                std::initializer_list<std::u16string_view> texts = {})
{
    Statement statement(database.connection(), sql);
    int index = 0;
    for (const std::u16string_view text : texts)
        statement.BindText(++index, text);
    std::vector<Variant> column;
    while (statement.Step())
        column.push_back(statement.Column(0));
    return column;
}

// A fresh account database in a temporary folder, removed with the object.
class TemporaryAccountDatabase
{
public:
    TemporaryAccountDatabase() : path_(std::filesystem::path(dir_.path().toStdString()) / "AccountInfo.mdb")
    {
        CreateAccountDatabase(path_);
    }

    const std::filesystem::path &path() const { return path_; }
    std::shared_ptr<Database> Open() const { return OpenAccountDatabase(path_); }

private:
    QTemporaryDir dir_;
    std::filesystem::path path_;
};

// A session on a fresh account database, opened as the window opens it.
struct FreshSession
{
    FreshSession() { session.Open(database); }

    TemporaryAccountDatabase file;
    std::shared_ptr<Database> database = file.Open();
    AccountSession session;
};
