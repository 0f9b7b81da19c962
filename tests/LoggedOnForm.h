#pragma once

// A main window over a fresh database in a temporary folder, with its settings in a temporary
// configuration folder, for the tests of the window's logic.

#include "Cipher.h"
#include "Database.h"
#include "Program.h"
#include "TestDatabase.h"
#include "TestSupport.h"
#include "UserName.h"
#include "Users.h"
#include "frmAccount.h"

#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

class FormFixture
{
public:
    FormFixture()
    {
        qputenv("XDG_CONFIG_HOME", config_.path().toLocal8Bit());
        database_ = file_.Open();
    }

    Database &database() { return *database_; }

    // Adds a user with this password and returns its ID.
    std::int32_t AddUser(const QString &name, const QString &password)
    {
        ::AddUser(*database_, ToU16(name), HashPassword(ToU16(password)));
        return *FindUserID(*database_, ToU16(name));
    }

    // A started program; its user is the login user.
    std::unique_ptr<Program> LoadForm()
    {
        auto program = std::make_unique<Program>();
        return program->Load(QString::fromStdString(file_.path().string())) ? std::move(program) : nullptr;
    }

    static QString LoginName() { return GetWindowsUserName().value(); }

private:
    QTemporaryDir config_;
    TemporaryAccountDatabase file_;
    std::shared_ptr<Database> database_;
};
