#include "Parameters.h"

#include "Engine.h"
#include "StoreError.h"

void clsParameters::TableName(std::u16string_view vNewValue)
{
    if (vNewValue.find_first_of(u"]\"") != std::u16string_view::npos)
        throw StoreError(StoreErrorKind::InvalidName, u"'" + std::u16string(vNewValue) + u"' isn't a valid name.");
    tableName_ = vNewValue;
}

std::u16string clsParameters::Parameter(std::u16string_view Name) const
{
    Statement value(Bound().connection(),
                    u"SELECT \"Value\" FROM \"" + tableName_ + u"\" WHERE \"Name\" = (?1 || '') LIMIT 1;");
    value.BindText(1, Name);
    if (!value.Step())
        return {};
    std::u16string text = NullToEmpty(value.Column(0)).ToText();
    value.Reset();
    return text;
}

void clsParameters::Parameter(std::u16string_view Name, const Variant &vNewValue)
{
    Transaction transaction(Bound());
    Delete(Name);
    Statement insert(Bound().connection(),
                     u"INSERT INTO \"" + tableName_ + u"\" (\"Name\", \"Value\") VALUES ((?1 || ''), (?2 || ''));");
    insert.BindText(1, Name);
    insert.BindText(2, vNewValue.ToText());
    insert.Run();
    transaction.Commit();
}

void clsParameters::Delete(std::u16string_view Name)
{
    Statement remove(Bound().connection(), u"DELETE FROM \"" + tableName_ + u"\" WHERE \"Name\" = (?1 || '');");
    remove.BindText(1, Name);
    remove.Run();
}

Database &clsParameters::Bound() const
{
    if (!database_)
        throw StoreError(StoreErrorKind::Unbound, u"Object variable not set.");
    return *database_;
}
