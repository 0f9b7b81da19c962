#pragma once

// How every database file the program makes or opens is encrypted: AES-256 pages of 1024 bytes, each with an
// HMAC-SHA1, under a key derived from the password by PBKDF2-HMAC-SHA1 with 64,000 rounds. That is SQLCipher 3's
// default, which made the existing files, and what SQLCipher 4 calls compatibility 3. Stated to the engine on every
// create and open so that an engine with other defaults reads and writes the same files.

struct sqlite3;

namespace FileCipher {
inline constexpr int PageSize = 1024;
inline constexpr unsigned KdfRounds = 64000;
} // namespace FileCipher

// States the settings above to a connection just keyed, before it reads anything. Each setting is stated under
// every name an engine version knows it by; an engine takes a name it does not know as a no-op. Returns the
// engine's result code.
int ApplyCipherSettings(sqlite3 *handle);
