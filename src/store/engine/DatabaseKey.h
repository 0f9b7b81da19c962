#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The 16 bytes that start an encrypted file, from which its page key is derived.
using FileSalt = std::array<std::uint8_t, 16>;

// The page key an engine keyed with `password` derives for a file with this salt with `rounds` rounds, in its raw
// form "x'<hex>'"; raises error 5 for no rounds. The caller wipes it after use.
std::string RawDatabaseKey(const FileSalt &salt, std::string_view password, unsigned rounds);

// How a file was keyed.
enum class KeyedWith
{
    PageKey, // the page key, derived here: the quick way, which every file of the program's takes
    Password // the password, left to the engine's own derivation
};

// Gives `attempt` the key for the file with this salt: first the page key ready-made under the file's cipher
// settings, which spares the engine its own, slower derivation; then, only when there is no salt (a file too short
// to have one) or the engine does not read the file with that key (the attempt raises error 3343, not a database),
// the password itself, for the engine to derive the key its own way. Each attempt must key a new connection, as an
// engine cannot take a key back. Returns the way that opened the file; raises what the last attempt raised.
KeyedWith KeyDatabase(const std::optional<FileSalt> &salt, std::string_view password,
                      const std::function<void(std::string_view key)> &attempt);
