#include "SqlDialect.h"

#include "StoreError.h"
#include "Text.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

enum class TokenKind
{
    Word,
    Name,
    Literal,
    Symbol,
    Space
};

struct Token
{
    TokenKind kind;
    std::u16string text; // a Name's text is the bare name; every other kind keeps its source text
};

[[noreturn]] void RaiseSyntaxError(std::u16string_view statement)
{
    throw StoreError(ErrorNumber::SyntaxError, u"Syntax error in statement '" + std::u16string(statement) + u"'.");
}

bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool IsWordChar(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'.' ||
           c >= 0x80;
}

// A quoted literal runs to the next lone apostrophe; '' inside it is an apostrophe.
std::size_t LiteralEnd(std::u16string_view s, std::size_t start)
{
    for (std::size_t i = start + 1; i < s.size(); ++i) {
        if (s[i] != u'\'')
            continue;
        if (i + 1 < s.size() && s[i + 1] == u'\'') {
            ++i;
            continue;
        }
        return i + 1;
    }
    RaiseSyntaxError(s);
}

template <typename Predicate> std::size_t RunEnd(std::u16string_view s, std::size_t start, Predicate keep)
{
    std::size_t end = start;
    while (end < s.size() && keep(s[end]))
        ++end;
    return end;
}

std::vector<Token> Tokenize(std::u16string_view s)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < s.size()) {
        const char16_t c = s[i];
        if (c == u'\'') {
            const std::size_t end = LiteralEnd(s, i);
            tokens.push_back({TokenKind::Literal, std::u16string(s.substr(i, end - i))});
            i = end;
        } else if (c == u'[') {
            const std::size_t close = s.find(u']', i);
            if (close == std::u16string_view::npos)
                RaiseSyntaxError(s);
            tokens.push_back({TokenKind::Name, std::u16string(s.substr(i + 1, close - i - 1))});
            i = close + 1;
        } else if (IsSpace(c)) {
            const std::size_t end = RunEnd(s, i, IsSpace);
            tokens.push_back({TokenKind::Space, std::u16string(s.substr(i, end - i))});
            i = end;
        } else if (IsWordChar(c)) {
            const std::size_t end = RunEnd(s, i, IsWordChar);
            tokens.push_back({TokenKind::Word, std::u16string(s.substr(i, end - i))});
            i = end;
        } else {
            tokens.push_back({TokenKind::Symbol, std::u16string(1, c)});
            ++i;
        }
    }
    return tokens;
}

bool IsWord(const Token &token, std::u16string_view word)
{
    return token.kind == TokenKind::Word && EqualsIgnoringAsciiCase(token.text, word);
}

bool IsSymbol(const Token &token, std::u16string_view symbol)
{
    return token.kind == TokenKind::Symbol && token.text == symbol;
}

} // namespace

std::u16string QuoteIdentifier(std::u16string_view name)
{
    std::u16string quoted = u"\"";
    for (const char16_t c : name) {
        quoted += c;
        if (c == u'"')
            quoted += u'"';
    }
    return quoted + u"\"";
}

namespace {

std::u16string Emit(const Token &token)
{
    if (token.kind == TokenKind::Name)
        return QuoteIdentifier(token.text);
    if (IsSymbol(token, u"&"))
        return u"||";
    return token.text;
}

std::u16string LiteralValue(std::u16string_view literal)
{
    std::u16string value;
    for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
        value += literal[i];
        if (literal[i] == u'\'')
            ++i;
    }
    return value;
}

std::size_t SkipSpace(const std::vector<Token> &tokens, std::size_t index, std::size_t end)
{
    while (index < end && tokens[index].kind == TokenKind::Space)
        ++index;
    return index;
}

// ChrW(n) with a literal n: the one unit and the position after the call.
std::optional<std::pair<char16_t, std::size_t>> ChrWCall(const std::vector<Token> &tokens, std::size_t i,
                                                         std::size_t end)
{
    if (i >= end || !IsWord(tokens[i], u"ChrW"))
        return std::nullopt;
    i = SkipSpace(tokens, i + 1, end);
    if (i >= end || !IsSymbol(tokens[i], u"("))
        return std::nullopt;
    i = SkipSpace(tokens, i + 1, end);
    const bool negative = i < end && IsSymbol(tokens[i], u"-");
    i = SkipSpace(tokens, i + (negative ? 1 : 0), end);
    if (i >= end || tokens[i].kind != TokenKind::Word || tokens[i].text.size() > 6 ||
        tokens[i].text.find_first_not_of(u"0123456789") != std::u16string::npos)
        return std::nullopt;
    const long magnitude = std::stol(ToUtf8(tokens[i].text));
    const std::size_t close = SkipSpace(tokens, i + 1, end);
    if (close >= end || !IsSymbol(tokens[close], u")"))
        return std::nullopt;
    const long code = negative ? -magnitude : magnitude;
    if (code < -32768 || code > 65535)
        RaiseInvalidArgument();
    return std::pair{static_cast<char16_t>(code < 0 ? code + 65536 : code), close + 1};
}

// A quoted literal or a ChrW call: its text and the position after it.
std::optional<std::pair<std::u16string, std::size_t>> ConstantTerm(const std::vector<Token> &tokens, std::size_t i,
                                                                   std::size_t end)
{
    if (i < end && tokens[i].kind == TokenKind::Literal)
        return std::pair{LiteralValue(tokens[i].text), i + 1};
    if (const auto call = ChrWCall(tokens, i, end))
        return std::pair{std::u16string(1, call->first), call->second};
    return std::nullopt;
}

struct ConstantText
{
    std::u16string value;
    std::size_t end;
    bool folds; // joined with & or holding a ChrW call: worth a parameter
};

// The longest run of constant terms joined by & that starts at i.
std::optional<ConstantText> ConstantChain(const std::vector<Token> &tokens, std::size_t i, std::size_t end)
{
    auto term = ConstantTerm(tokens, i, end);
    if (!term)
        return std::nullopt;
    ConstantText chain{term->first, term->second, tokens[i].kind != TokenKind::Literal};
    for (;;) {
        const std::size_t ampersand = SkipSpace(tokens, chain.end, end);
        if (ampersand >= end || !IsSymbol(tokens[ampersand], u"&"))
            return chain;
        const std::size_t next = SkipSpace(tokens, ampersand + 1, end);
        term = ConstantTerm(tokens, next, end);
        if (!term)
            return chain;
        chain.value += term->first;
        chain.end = term->second;
        chain.folds = true;
    }
}

const Token *PreviousSignificant(const std::vector<Token> &tokens, std::size_t index)
{
    while (index > 0) {
        --index;
        if (tokens[index].kind != TokenKind::Space)
            return &tokens[index];
    }
    return nullptr;
}

bool IsDeleteStar(const std::vector<Token> &tokens, std::size_t index)
{
    if (!IsSymbol(tokens[index], u"*"))
        return false;
    const Token *previous = PreviousSignificant(tokens, index);
    return previous && IsWord(*previous, u"DELETE");
}

// The tokens from..to in the engine's dialect.
std::u16string Translate(const std::vector<Token> &tokens, std::size_t from, std::size_t to)
{
    std::u16string sql;
    for (std::size_t i = from; i < to;) {
        if (const auto chain = ConstantChain(tokens, i, to); chain && chain->folds) {
            sql += EngineTextLiteral(chain->value);
            i = chain->end;
            continue;
        }
        if (!IsDeleteStar(tokens, i))
            sql += Emit(tokens[i]);
        ++i;
    }
    return sql;
}

std::size_t NextSignificant(const std::vector<Token> &tokens, std::size_t index)
{
    while (index < tokens.size() && tokens[index].kind == TokenKind::Space)
        ++index;
    return index;
}

// The position of the first FROM outside parentheses, or the token count.
std::size_t TopLevelFrom(const std::vector<Token> &tokens)
{
    int depth = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (IsSymbol(tokens[i], u"("))
            ++depth;
        else if (IsSymbol(tokens[i], u")"))
            --depth;
        else if (depth == 0 && IsWord(tokens[i], u"FROM"))
            return i;
    }
    return tokens.size();
}

} // namespace

std::u16string TranslateStatement(std::u16string_view statement)
{
    const std::vector<Token> tokens = Tokenize(statement);
    return Translate(tokens, 0, tokens.size());
}

std::u16string EngineTextLiteral(std::u16string_view text)
{
    static constexpr char16_t Hex[] = u"0123456789ABCDEF";
    std::u16string literal = u"CAST(x'";
    literal.reserve(literal.size() + text.size() * 4 + 10);
    for (const char16_t unit : text) {
        for (const int shift : {4, 0, 12, 8}) // little-endian: low byte first
            literal += Hex[(unit >> shift) & 0xF];
    }
    return literal + u"' AS TEXT)";
}

std::optional<SelectParts> SplitSelect(std::u16string_view statement)
{
    const std::vector<Token> tokens = Tokenize(statement);
    const std::size_t select = NextSignificant(tokens, 0);
    if (select == tokens.size() || !IsWord(tokens[select], u"SELECT"))
        return std::nullopt;
    const std::size_t from = TopLevelFrom(tokens);
    const std::size_t table = NextSignificant(tokens, from + 1);
    if (from == tokens.size() || table >= tokens.size())
        return std::nullopt;
    if (tokens[table].kind != TokenKind::Word && tokens[table].kind != TokenKind::Name)
        return std::nullopt;
    std::size_t end = tokens.size();
    while (end > table + 1 && (tokens[end - 1].kind == TokenKind::Space || IsSymbol(tokens[end - 1], u";")))
        --end;
    SelectParts parts;
    parts.columns = Translate(tokens, select + 1, from);
    parts.table = tokens[table].text;
    parts.rest = Translate(tokens, table + 1, end);
    parts.ordered = std::any_of(tokens.begin() + static_cast<std::ptrdiff_t>(table),
                                tokens.begin() + static_cast<std::ptrdiff_t>(end),
                                [](const Token &token) { return IsWord(token, u"ORDER") || IsWord(token, u"GROUP"); });
    return parts;
}

std::u16string SelectInTableOrder(const SelectParts &parts, std::u16string_view selection)
{
    std::u16string sql = u"SELECT " + std::u16string(selection) + u" FROM " + QuoteIdentifier(parts.table) + parts.rest;
    if (!parts.ordered)
        sql += u" ORDER BY rowid";
    return sql + u";";
}

std::u16string_view StripBrackets(std::u16string_view name)
{
    if (name.size() >= 2 && name.front() == u'[' && name.back() == u']')
        return name.substr(1, name.size() - 2);
    return name;
}
