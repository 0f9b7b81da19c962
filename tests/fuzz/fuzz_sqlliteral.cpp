// Any text written as an SQL literal reads back from it unchanged: the literal's quoted runs and ChrW(n) calls,
// joined by " & ", spell out every 16-bit unit of the text and nothing else.

#include "SqlLiteral.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::u16string TextOf(const std::uint8_t *data, std::size_t size)
{
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

// One part of a literal at its start, removed from it: a quoted run with its apostrophes doubled, or ChrW(n) for
// one unit, n from -32768 to 65535; nothing for anything else.
std::optional<std::u16string> TakePart(std::u16string_view &literal)
{
    std::u16string part;
    if (literal.starts_with(u"'")) {
        for (std::size_t i = 1; i < literal.size(); ++i) {
            if (literal[i] != u'\'')
                part += literal[i];
            else if (i + 1 < literal.size() && literal[i + 1] == u'\'')
                part += literal[i++];
            else {
                literal.remove_prefix(i + 1);
                return part;
            }
        }
        return std::nullopt;
    }
    constexpr std::u16string_view Call = u"ChrW(";
    const std::size_t end = literal.find(u')');
    if (!literal.starts_with(Call) || end == std::u16string_view::npos || end == Call.size())
        return std::nullopt;
    long number = 0;
    bool negative = false;
    for (std::size_t i = Call.size(); i < end; ++i) {
        if (i == Call.size() && literal[i] == u'-')
            negative = true;
        else if (literal[i] >= u'0' && literal[i] <= u'9' && number < 100000)
            number = number * 10 + (literal[i] - u'0');
        else
            return std::nullopt;
    }
    number = negative ? -number : number;
    if (number < -32768 || number > 65535)
        return std::nullopt;
    literal.remove_prefix(end + 1);
    return std::u16string(1, static_cast<char16_t>(number));
}

std::optional<std::u16string> Read(std::u16string_view literal)
{
    std::u16string text;
    for (;;) {
        const std::optional<std::u16string> part = TakePart(literal);
        if (!part)
            return std::nullopt;
        text += *part;
        if (literal.empty())
            return text;
        if (!literal.starts_with(u" & "))
            return std::nullopt;
        literal.remove_prefix(3);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::u16string text = TextOf(data, size);
    if (Read(SqlLiteral(text)) != text)
        std::abort();
    return 0;
}
