#pragma once

// The two kinds of record set behind Database::OpenRecordset. Private to the store.

#include "Database.h"

#include <memory>
#include <string_view>

// The statement is in the engine's dialect already.
std::unique_ptr<Recordset> OpenSnapshot(std::shared_ptr<Connection> connection, std::u16string_view sql);
// Raises when the statement is not a SELECT from a single table.
std::unique_ptr<Recordset> OpenDynaset(std::shared_ptr<Connection> connection, std::u16string_view sql);
