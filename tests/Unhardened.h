#pragma once

// The account file as another program could open it: keyed as the store keys it, but without the store's safeguards
// (triggers run, the schema may be written). For tests that craft files or need a trigger to act.

#include "AccountDatabase.h"
#include "CipherSettings.h"
#include "Engine.h"
#include "Text.h"

#include <filesystem>
#include <memory>
#include <string>

inline std::shared_ptr<Connection> OpenUnhardened(const std::filesystem::path &path, int flags = SQLITE_OPEN_READWRITE)
{
    sqlite3 *handle = nullptr;
    sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
    auto connection = std::make_shared<Connection>(handle);
    const std::string key = ToUtf8(AccountDatabaseConnect.substr(AccountDatabaseConnect.find(u'=') + 1));
    sqlite3_key(handle, key.data(), static_cast<int>(key.size()));
    ApplyCipherSettings(handle);
    return connection;
}

inline int RunUnhardened(const std::shared_ptr<Connection> &connection, const std::string &sql)
{
    return sqlite3_exec(connection->handle(), sql.c_str(), nullptr, nullptr, nullptr);
}
