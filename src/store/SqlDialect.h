#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The statements the program sends are written in the account database's own dialect: bracketed
// names, "DELETE * FROM", "&" joining texts and ChrW(n) for single characters. These functions
// turn them into the engine's dialect; ChrW itself is a function registered on the connection.

// A statement in the engine's dialect and the texts that its parameters ?1, ?2, ... stand for.
struct EngineStatement
{
    std::u16string sql;
    std::vector<std::u16string> texts;
};

// The statement in the engine's dialect: [name] becomes "name", & outside quoted literals becomes
// ||, and the * of DELETE * FROM is dropped. A text built only of quoted literals and ChrW(n) calls
// joined by & becomes one parameter holding its value: the engine then neither nests one
// expression per character nor sees a NUL or a lone surrogate in the statement's own text.
// Raises StoreError for an unterminated literal or bracket and for a ChrW code out of range.
EngineStatement TranslateStatement(std::u16string_view statement);

// The pieces of a single-table "SELECT <columns> FROM <table> <rest>;": the columns and the rest
// (without the closing ";") translated as above, sharing one numbering of parameters, and the
// table's bare name; nothing when the statement has another form.
struct SelectParts
{
    std::u16string columns;
    std::u16string table;
    std::u16string rest;
    std::vector<std::u16string> texts;
    bool ordered = false; // the rest sorts or groups the rows itself
};
std::optional<SelectParts> SplitSelect(std::u16string_view statement);

// "SELECT <selection> FROM <table> <rest>" with the rows in the table's own order unless the
// statement orders them: a lookup through an index must not change the order of the rows.
EngineStatement SelectInTableOrder(const SelectParts &parts, std::u16string_view selection);

// The name in double quotes, as the engine's dialect writes identifiers.
std::u16string QuoteIdentifier(std::u16string_view name);

// The column name of "[Column]" or "Column".
std::u16string_view StripBrackets(std::u16string_view name);
