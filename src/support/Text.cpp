#include "Text.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace {

constexpr char32_t Replacement = 0xFFFD;

bool IsSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDFFF;
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Takes the code point at the front of the text; a surrogate without its partner gives U+FFFD.
char32_t TakeCodePoint(std::u16string_view &text)
{
    const char16_t high = text.front();
    if (IsHighSurrogate(high) && text.size() > 1 && IsLowSurrogate(text[1])) {
        const char16_t low = text[1];
        text.remove_prefix(2);
        return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
    }
    text.remove_prefix(1);
    return IsSurrogate(high) ? Replacement : high;
}

void AppendUtf8(std::string &bytes, char32_t codePoint)
{
    const auto byte = [](char32_t bits) { return static_cast<char>(bits); };
    if (codePoint < 0x80) {
        bytes += byte(codePoint);
    } else if (codePoint < 0x800) {
        bytes += byte(0xC0 | codePoint >> 6);
        bytes += byte(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        bytes += byte(0xE0 | codePoint >> 12);
        bytes += byte(0x80 | (codePoint >> 6 & 0x3F));
        bytes += byte(0x80 | (codePoint & 0x3F));
    } else {
        bytes += byte(0xF0 | codePoint >> 18);
        bytes += byte(0x80 | (codePoint >> 12 & 0x3F));
        bytes += byte(0x80 | (codePoint >> 6 & 0x3F));
        bytes += byte(0x80 | (codePoint & 0x3F));
    }
}

void AppendUtf16(std::u16string &text, char32_t codePoint)
{
    if (codePoint < 0x10000) {
        text += static_cast<char16_t>(codePoint);
        return;
    }
    const char32_t offset = codePoint - 0x10000;
    text += static_cast<char16_t>(0xD800 + (offset >> 10));
    text += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
}

// What a UTF-8 lead byte announces: the sequence length (0 for a byte that cannot lead), the bits
// it carries, and the range of the second byte, narrowed so that overlong forms, surrogates and
// code points above U+10FFFF are rejected.
struct Lead
{
    std::size_t length;
    unsigned char payload;
    unsigned char secondLow;
    unsigned char secondHigh;
};

Lead LeadOf(unsigned char byte)
{
    if (byte < 0x80) {
        return {1, 0x7F, 0, 0};
    }
    if (byte >= 0xC2 && byte <= 0xDF) {
        return {2, 0x1F, 0x80, 0xBF};
    }
    if (byte >= 0xE0 && byte <= 0xEF) {
        return {3, 0x0F, static_cast<unsigned char>(byte == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(byte == 0xED ? 0x9F : 0xBF)};
    }
    if (byte >= 0xF0 && byte <= 0xF4) {
        return {4, 0x07, static_cast<unsigned char>(byte == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(byte == 0xF4 ? 0x8F : 0xBF)};
    }
    return {0, 0, 0, 0};
}

// Takes the code point at the front of the bytes. An invalid sequence gives one U+FFFD for its
// longest valid beginning (at least one byte), the replacement Unicode recommends.
char32_t TakeCodePoint(std::string_view &bytes)
{
    const Lead lead = LeadOf(static_cast<unsigned char>(bytes.front()));
    char32_t codePoint = static_cast<unsigned char>(bytes.front()) & lead.payload;
    std::size_t taken = 1;
    for (; taken < lead.length && taken < bytes.size(); ++taken) {
        const auto byte = static_cast<unsigned char>(bytes[taken]);
        const bool fits = taken == 1 ? byte >= lead.secondLow && byte <= lead.secondHigh : byte >= 0x80 && byte <= 0xBF;
        if (!fits) {
            break;
        }
        codePoint = codePoint << 6 | (byte & 0x3F);
    }
    bytes.remove_prefix(taken);
    return taken == lead.length ? codePoint : Replacement;
}

char16_t FoldAsciiCase(char16_t unit)
{
    return unit >= u'A' && unit <= u'Z' ? static_cast<char16_t>(unit - u'A' + u'a') : unit;
}

} // namespace

std::string ToUtf8(std::u16string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    while (!text.empty()) {
        AppendUtf8(bytes, TakeCodePoint(text));
    }
    return bytes;
}

std::u16string FromUtf8(std::string_view bytes)
{
    std::u16string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        AppendUtf16(text, TakeCodePoint(bytes));
    }
    return text;
}

std::u16string ToDecimal(std::int64_t number)
{
    char digits[24];
    const auto end = std::to_chars(std::begin(digits), std::end(digits), number).ptr;
    return FromAscii(std::string_view(digits, static_cast<std::size_t>(end - digits)));
}

std::u16string FromAscii(std::string_view ascii)
{
    std::u16string text(ascii.size(), u'\0');
    std::transform(ascii.begin(), ascii.end(), text.begin(),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
    return text;
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b)
{
    return std::ranges::equal(a, b, [](char16_t x, char16_t y) { return FoldAsciiCase(x) == FoldAsciiCase(y); });
}
