#include "SqlLiteral.h"

#include "AppendString.h"
#include "Text.h"

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::u16string_view Joiner = u" & ";

bool IsPrintable(char16_t c)
{
    return c >= 32 && c <= 126;
}

// A quoted run, every apostrophe in it doubled.
void AppendQuoted(AppendString &literal, std::u16string_view run)
{
    literal.AddToString(u"'");
    for (auto quote = run.find(u'\''); quote != std::u16string_view::npos; quote = run.find(u'\'')) {
        literal.AddToString(run.substr(0, quote + 1));
        literal.AddToString(u"'");
        run.remove_prefix(quote + 1);
    }
    literal.AddToString(run);
    literal.AddToString(u"'");
}

// The engine reads ChrW arguments as signed 16-bit numbers.
void AppendChrW(AppendString &literal, char16_t c)
{
    literal.AddToString(u"ChrW(");
    literal.AddToString(ToDecimal(static_cast<std::int16_t>(c)));
    literal.AddToString(u")");
}

} // namespace

std::u16string SqlLiteral(std::u16string_view text)
{
    AppendString literal;
    auto rest = text.begin();
    while (true) {
        const auto unprintable = std::find_if_not(rest, text.end(), IsPrintable);
        if (unprintable == text.end()) {
            AppendQuoted(literal, std::u16string_view(rest, text.end()));
            return literal.Value();
        }
        if (unprintable != rest) {
            AppendQuoted(literal, std::u16string_view(rest, unprintable));
            literal.AddToString(Joiner);
        }
        rest = std::find_if(unprintable, text.end(), IsPrintable);
        std::for_each(unprintable, rest, [&literal](char16_t c) {
            AppendChrW(literal, c);
            literal.AddToString(Joiner);
        });
        if (rest == text.end()) {
            literal.Length(literal.Length() - static_cast<std::int32_t>(Joiner.size()));
            return literal.Value();
        }
    }
}
