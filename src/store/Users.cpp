#include "Users.h"

#include "Engine.h"

namespace {

// The first row's first column, a Null as the empty value; nothing when there is no row.
std::optional<Variant> FirstValue(Database &database, std::u16string_view sql, std::u16string_view userName)
{
    Statement lookup(database.connection(), sql);
    lookup.BindText(1, userName);
    if (!lookup.Step())
        return std::nullopt;
    Variant value = NullToEmpty(lookup.Column(0));
    lookup.Reset();
    return value;
}

} // namespace

std::optional<std::int32_t> FindUserID(Database &database, std::u16string_view userName)
{
    const std::optional<Variant> id = FirstValue(
        database, u"SELECT \"ID\" FROM \"User\" WHERE \"UserName\" = (?1 || '') ORDER BY rowid LIMIT 1;", userName);
    return id ? std::optional(id->ToLong()) : std::nullopt;
}

void AddUser(Database &database, std::u16string_view userName, std::u16string_view storedPassword)
{
    Statement insert(database.connection(),
                     u"INSERT INTO \"User\" (\"UserName\", \"Password\") VALUES ((?1 || ''), (?2 || ''));");
    insert.BindText(1, userName);
    insert.BindText(2, storedPassword);
    insert.Run();
}

std::vector<std::u16string> UserNames(Database &database)
{
    Statement names(database.connection(), u"SELECT \"UserName\" FROM \"User\" ORDER BY rowid;");
    std::vector<std::u16string> result;
    while (names.Step())
        result.push_back(NullToEmpty(names.Column(0)).ToText());
    return result;
}

std::optional<std::u16string> StoredPassword(Database &database, std::u16string_view userName)
{
    const std::optional<Variant> password = FirstValue(
        database, u"SELECT \"Password\" FROM \"User\" WHERE \"UserName\" = (?1 || '') ORDER BY rowid LIMIT 1;",
        userName);
    return password ? std::optional(password->ToText()) : std::nullopt;
}
