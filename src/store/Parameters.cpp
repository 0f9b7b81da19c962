#include "Parameters.h"

#include "SqlLiteral.h"
#include "StoreError.h"

void clsParameters::TableName(std::u16string_view vNewValue)
{
    if (vNewValue.find(u']') != std::u16string_view::npos)
        throw StoreError(ErrorNumber::InvalidName, u"'" + std::u16string(vNewValue) + u"' isn't a valid name.");
    tableName_ = vNewValue;
}

std::u16string clsParameters::Parameter(std::u16string_view Name) const
{
    const auto values =
        Bound().OpenRecordset(u"SELECT [Value] FROM [" + tableName_ + u"] WHERE [Name] = " + SqlLiteral(Name) + u";",
                              dbOpenSnapshot, dbReadOnly);
    if (values->RecordCount() < 1)
        return {};
    return NullToEmpty(values->Fields(u"Value")).ToText();
}

void clsParameters::Parameter(std::u16string_view Name, const Variant &vNewValue)
{
    Transaction transaction(Bound());
    Bound().Execute(DeleteStatement(Name));
    Bound().Execute(u"INSERT INTO [" + tableName_ + u"] ([Name], [Value]) VALUES (" + SqlLiteral(Name) + u"," +
                    SqlLiteral(vNewValue.ToText()) + u");");
    transaction.Commit();
}

void clsParameters::Delete(std::u16string_view Name)
{
    Bound().Execute(DeleteStatement(Name));
}

Database &clsParameters::Bound() const
{
    if (!database_)
        throw StoreError(ErrorNumber::ObjectNotSet, u"Object variable not set.");
    return *database_;
}

std::u16string clsParameters::DeleteStatement(std::u16string_view name) const
{
    return u"DELETE * FROM [" + tableName_ + u"] WHERE [Name] = " + SqlLiteral(name) + u";";
}
