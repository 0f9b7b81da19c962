#pragma once

// The record set behind Database::OpenRecordset. Private to the store.

#include "Database.h"

#include <memory>
#include <string_view>

// The statement is in the engine's dialect already.
std::unique_ptr<Recordset> OpenSnapshot(std::shared_ptr<Connection> connection, std::u16string_view sql);
