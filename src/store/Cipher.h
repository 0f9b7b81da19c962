#pragma once

#include <string>
#include <string_view>

// The two transforms that protect stored passwords. Both keep the length and the high byte of
// every 16-bit unit and replace only its low byte.

// One-way transform of a logon password, as stored in User.Password.
std::u16string HashPassword(std::u16string_view password);

// Keyed stream cipher of account passwords; applying it twice with the same key gives the data back.
// Raises StoreError 5 (invalid argument) for an empty key with non-empty data.
std::u16string CryptString(std::u16string_view key, std::u16string_view data);
