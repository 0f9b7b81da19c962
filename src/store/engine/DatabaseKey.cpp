#include "DatabaseKey.h"

#include "CipherSettings.h"
#include "Pbkdf2.h"
#include "StoreError.h"

#include <openssl/crypto.h>

namespace {

// AES-256 page keys, derived with the 16-byte salt that starts the file.
constexpr std::size_t PageKeyBytes = 32;

std::string RawKeyText(const std::array<std::uint8_t, PageKeyBytes> &key)
{
    constexpr std::string_view Digits = "0123456789ABCDEF";
    std::string text = "x'";
    text.reserve(key.size() * 2 + 3);
    for (const std::uint8_t byte : key) {
        text += Digits[byte >> 4];
        text += Digits[byte & 0x0F];
    }
    text += '\'';
    return text;
}

} // namespace

std::string RawDatabaseKey(const FileSalt &salt, std::string_view password, unsigned rounds)
{
    std::array<std::uint8_t, PageKeyBytes> key;
    if (!TarnwickPbkdf2(TarnwickSha1, password.data(), password.size(), salt.data(), salt.size(), rounds, key.data(),
                        key.size()))
        RaiseInvalidArgument();
    std::string text = RawKeyText(key);
    OPENSSL_cleanse(key.data(), key.size());
    return text;
}

KeyedWith KeyDatabase(const std::optional<FileSalt> &salt, std::string_view password,
                      const std::function<void(std::string_view key)> &attempt)
{
    if (salt) {
        std::string raw = RawDatabaseKey(*salt, password, FileCipher::KdfRounds);
        struct Wipe
        {
            std::string &text;
            ~Wipe() { OPENSSL_cleanse(text.data(), text.size()); }
        } wipe{raw};
        try {
            attempt(raw);
            return KeyedWith::PageKey;
        } catch (const StoreError &error) {
            if (error.Kind() != StoreErrorKind::UnrecognizedFormat)
                throw;
        }
    }
    attempt(password);
    return KeyedWith::Password;
}
