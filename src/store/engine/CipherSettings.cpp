#include "CipherSettings.h"

#include <sqlcipher/sqlite3.h>

#include <string>

namespace {

std::string Pragma(const char *name, const std::string &value)
{
    return std::string("PRAGMA ") + name + " = " + value + ";";
}

} // namespace

int ApplyCipherSettings(sqlite3 *handle)
{
    // SQLCipher 3 knows the page size, the rounds and the HMAC switch, and has SHA-1 fixed for both algorithms;
    // SQLCipher 4 knows them all, and the compatibility level that sets them at once.
    const std::string pragmas =
        Pragma("cipher_compatibility", "3") + Pragma("cipher_page_size", std::to_string(FileCipher::PageSize)) +
        Pragma("kdf_iter", std::to_string(FileCipher::KdfRounds)) + Pragma("cipher_use_hmac", "ON") +
        Pragma("cipher_hmac_algorithm", "HMAC_SHA1") + Pragma("cipher_kdf_algorithm", "PBKDF2_HMAC_SHA1");
    return sqlite3_exec(handle, pragmas.c_str(), nullptr, nullptr, nullptr);
}
