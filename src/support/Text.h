#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Conversions between the core's 16-bit text and the byte strings of the C libraries.

// UTF-8 of the text; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// 16-bit text of UTF-8 bytes; an invalid sequence becomes U+FFFD.
std::u16string FromUtf8(std::string_view bytes);
// Plain decimal digits, a leading "-" for negatives.
std::u16string ToDecimal(std::int64_t number);
// ASCII text widened unit by unit (for literals known to be ASCII).
std::u16string FromAscii(std::string_view ascii);
// True when both texts are equal, ASCII letters compared without regard to case.
bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b);
