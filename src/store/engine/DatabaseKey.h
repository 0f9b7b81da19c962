#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// PBKDF2 with HMAC-SHA1 (RFC 8018) into `derived`, whose size is the key length asked for.
void Pbkdf2HmacSha1(std::string_view password, std::span<const std::uint8_t> salt, unsigned iterations,
                    std::span<std::uint8_t> derived);

// The key SQLCipher 3 would derive from `password` for the file, in its raw form "x'<hex>'", or nothing when the
// file has no salt to read or the engine derives its keys another way. The caller wipes it after use.
std::optional<std::string> RawDatabaseKey(const std::filesystem::path &file, std::string_view password,
                                          std::string_view engineVersion);
