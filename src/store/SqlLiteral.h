#pragma once

#include <string>
#include <string_view>

// An SQL expression whose value is exactly the given text: quoted runs of the printable characters
// (codes 32 to 126, apostrophes doubled) and one ChrW(n) call for every other character, joined by
// " & ". Codes from 32768 up are written as negative numbers. Accepts any text and never fails;
// the empty text gives "''".
std::u16string SqlLiteral(std::u16string_view text);
