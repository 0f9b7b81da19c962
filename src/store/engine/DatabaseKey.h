#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// PBKDF2 with HMAC-SHA1 (RFC 8018) into `derived`, whose size is the key length asked for. Raises error 5 (invalid
// argument) for no rounds or no key length.
void Pbkdf2HmacSha1(std::string_view password, std::span<const std::uint8_t> salt, unsigned iterations,
                    std::span<std::uint8_t> derived);

// The 16 bytes that start an encrypted file, from which its page key is derived.
using FileSalt = std::array<std::uint8_t, 16>;

// The page key an engine keyed with `password` derives for a file with this salt with `rounds` rounds, in its raw
// form "x'<hex>'"; raises error 5 for no rounds. The caller wipes it after use.
std::string RawDatabaseKey(const FileSalt &salt, std::string_view password, unsigned rounds);

// Gives `attempt` the key for the file with this salt: first the page key ready-made under the file's cipher
// settings, which spares the engine its own, slower derivation; then, only when there is no salt (a file too short
// to have one) or the engine does not read the file with that key (the attempt raises error 3343, not a database),
// the password itself, for the engine to derive the key its own way. Each attempt must key a new connection, as an
// engine cannot take a key back. Raises what the last attempt raised.
void KeyDatabase(const std::optional<FileSalt> &salt, std::string_view password,
                 const std::function<void(std::string_view key)> &attempt);
