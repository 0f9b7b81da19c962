#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The statements the program sends are written in the account database's own dialect: bracketed
// names, "DELETE * FROM", "&" joining texts and ChrW(n) for single characters. These functions
// turn them into the engine's dialect.

// The statement in the engine's dialect: [name] becomes "name", & outside quoted literals becomes
// ||, and the * of DELETE * FROM is dropped. A text built only of quoted literals and ChrW(n) calls
// joined by & becomes one EngineTextLiteral of its value: the engine then neither nests one
// expression per character nor reads a NUL or a lone surrogate out of the statement's own text.
// ChrW takes a literal number from -32768 to 65535 (a negative n means n + 65536). Raises
// StoreError for an unterminated literal or bracket and for a ChrW code out of range.
std::u16string TranslateStatement(std::u16string_view statement);

// An expression whose value is exactly the text, unit by unit: its bytes as a blob read as text.
// The engine's own text interfaces would take a leading U+FEFF or U+FFFE for a byte-order mark and
// drop it or swap every byte after it; a blob written in the statement is taken as it stands.
std::u16string EngineTextLiteral(std::u16string_view text);

// The pieces of a single-table "SELECT <columns> FROM <table> <rest>;": the columns and the rest
// (without the closing ";") translated as above, and the table's bare name; nothing when the
// statement has another form.
struct SelectParts
{
    std::u16string columns;
    std::u16string table;
    std::u16string rest;
    bool ordered = false; // the rest sorts or groups the rows itself
};
std::optional<SelectParts> SplitSelect(std::u16string_view statement);

// "SELECT <selection> FROM <table> <rest>" with the rows in the table's own order unless the
// statement orders them: a lookup through an index must not change the order of the rows.
std::u16string SelectInTableOrder(const SelectParts &parts, std::u16string_view selection);

// The name in double quotes, as the engine's dialect writes identifiers.
std::u16string QuoteIdentifier(std::u16string_view name);

// The column name of "[Column]" or "Column".
std::u16string_view StripBrackets(std::u16string_view name);
