#pragma once

#include "AccountDatabase.h"
#include "AccountSession.h"

#include <QString>
#include <QTemporaryDir>

#include <filesystem>
#include <memory>

// A fresh account database in a temporary folder, removed with the object.
class TemporaryAccountDatabase
{
public:
    TemporaryAccountDatabase() : path_(std::filesystem::path(dir_.path().toStdString()) / "AccountInfo.mdb")
    {
        CreateAccountDatabase(path_);
    }

    const std::filesystem::path &path() const { return path_; }
    QString folder() const { return dir_.path(); }
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
