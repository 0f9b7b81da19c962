#include "AccountSet.h"

#include "Engine.h"
#include "StoreError.h"

#include <algorithm>

namespace {

// The columns in the order of AccountField.
constexpr std::u16string_view FieldColumns =
    u"\"Account\", \"UserName\", \"Password\", \"URL\", \"Phone\", \"Comment\"";
constexpr std::array<const char *, AccountFieldCount> FieldColumnNames = {"Account", "UserName", "Password",
                                                                          "URL",     "Phone",    "Comment"};

} // namespace

AccountSet::AccountSet(std::shared_ptr<Database> database, std::int32_t userID)
    : database_(std::move(database)), userID_(userID)
{
    // The index on UserID holds the row numbers: this reads the index alone.
    Statement ids(database_->connection(), u"SELECT rowid FROM \"Accounts\" WHERE \"UserID\" = ?1 ORDER BY rowid;");
    ids.Bind(1, userID_);
    while (ids.Step())
        ids_.push_back(static_cast<std::int32_t>(ids.Column(0).ToInteger()));
}

bool AccountSet::Contains(std::int32_t id) const
{
    return std::binary_search(ids_.begin(), ids_.end(), id);
}

std::vector<AccountListing> AccountSet::List() const
{
    Statement rows(database_->connection(),
                   u"SELECT rowid, \"Account\" FROM \"Accounts\" WHERE \"UserID\" = ?1 ORDER BY rowid;");
    rows.Bind(1, userID_);
    std::vector<AccountListing> listing;
    listing.reserve(ids_.size());
    while (rows.Step()) {
        const auto id = static_cast<std::int32_t>(rows.Column(0).ToInteger());
        if (Contains(id))
            listing.push_back({id, NullToEmpty(rows.Column(1)).ToText()});
    }
    return listing;
}

std::optional<AccountFields> AccountSet::Read(std::int32_t id) const
{
    if (!Contains(id))
        return std::nullopt;
    Statement row(database_->connection(),
                  u"SELECT " + std::u16string(FieldColumns) + u" FROM \"Accounts\" WHERE rowid = ?1;");
    row.Bind(1, id);
    if (!row.Step())
        return std::nullopt;
    AccountFields fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        fields[i] = NullToEmpty(row.Column(static_cast<int>(i))).ToText();
        // Read while the row's statement holds the file, so that every field is of the same moment.
        if (fields[i].size() * 2 >= LongTextBytes)
            fields[i] = database_->connection()->StoredText("Accounts", FieldColumnNames[i], id);
    }
    row.Reset();
    return fields;
}

bool AccountSet::Write(std::int32_t id, const AccountFields &fields)
{
    if (!Contains(id))
        return false;
    Statement update(database_->connection(),
                     u"UPDATE \"Accounts\" SET \"Account\" = (?1 || ''), \"UserName\" = (?2 || ''), "
                     u"\"Password\" = (?3 || ''), \"URL\" = (?4 || ''), \"Phone\" = (?5 || ''), "
                     u"\"Comment\" = (?6 || ''), \"UserID\" = ?7 WHERE rowid = ?8;");
    for (std::size_t i = 0; i < fields.size(); ++i)
        update.BindText(static_cast<int>(i) + 1, fields[i]);
    update.Bind(7, userID_);
    update.Bind(8, id);
    update.Run();
    return sqlite3_changes(database_->connection()->handle()) != 0;
}

std::int32_t AccountSet::Add(std::u16string_view name)
{
    Statement insert(database_->connection(),
                     u"INSERT INTO \"Accounts\" (\"Account\", \"UserID\") VALUES ((?1 || ''), ?2);");
    insert.BindText(1, name);
    insert.Bind(2, userID_);
    insert.Run();
    return Added();
}

std::int32_t AccountSet::Add(const AccountFields &fields)
{
    Statement insert(database_->connection(), u"INSERT INTO \"Accounts\" (" + std::u16string(FieldColumns) +
                                                  u", \"UserID\") VALUES ((?1 || ''), (?2 || ''), (?3 || ''), "
                                                  u"(?4 || ''), (?5 || ''), (?6 || ''), ?7);");
    for (std::size_t i = 0; i < fields.size(); ++i)
        insert.BindText(static_cast<int>(i) + 1, fields[i]);
    insert.Bind(7, userID_);
    insert.Run();
    return Added();
}

// The row the last insert made, now one of the set.
std::int32_t AccountSet::Added()
{
    const auto id = static_cast<std::int32_t>(sqlite3_last_insert_rowid(database_->connection()->handle()));
    ids_.insert(std::upper_bound(ids_.begin(), ids_.end(), id), id);
    return id;
}

bool AccountSet::Delete(std::int32_t id)
{
    if (!Contains(id))
        return false;
    Statement remove(database_->connection(), u"DELETE FROM \"Accounts\" WHERE rowid = ?1;");
    remove.Bind(1, id);
    remove.Run();
    ids_.erase(std::lower_bound(ids_.begin(), ids_.end(), id));
    return true;
}
