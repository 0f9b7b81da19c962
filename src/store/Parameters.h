#pragma once

#include "Database.h"
#include "Variant.h"

#include <memory>
#include <string>
#include <string_view>

// Named text values kept in a two-column table (Name, Value) of an open database, one row per
// name. Holds no cache: every read and write goes to the table. Errors of the engine reach the
// caller as StoreError.
class clsParameters
{
public:
    const std::shared_ptr<::Database> &Database() const { return database_; }
    void Database(std::shared_ptr<::Database> vNewValue) { database_ = std::move(vNewValue); }
    const std::u16string &TableName() const { return tableName_; }
    // Raises StoreError 3125 for a name containing "]" or a double quote, which could not stand quoted.
    void TableName(std::u16string_view vNewValue);

    // The stored value as text; "" when the name has no row or its value is Null.
    std::u16string Parameter(std::u16string_view Name) const;
    // Replaces the value atomically: when the new value cannot be stored, the old one stays.
    void Parameter(std::u16string_view Name, const Variant &vNewValue);
    void Delete(std::u16string_view Name);

private:
    ::Database &Bound() const;

    std::shared_ptr<::Database> database_;
    std::u16string tableName_;
};
