#include "DatabaseKey.h"

#include "CipherSettings.h"
#include "Engine.h"
#include "StoreError.h"

// SHA-1's block function has no counterpart among OpenSSL 3's interfaces, and it is what makes the derivation
// here a few times faster than the library's own, which sets the HMAC up afresh on every round.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>

namespace {

using Digest = std::array<std::uint8_t, SHA_DIGEST_LENGTH>;

// AES-256 page keys, derived with the 16-byte salt that starts the file.
constexpr std::size_t PageKeyBytes = 32;

struct HmacSha1
{
    SHA_CTX inner;
    SHA_CTX outer;
};

HmacSha1 KeyedHmac(std::string_view password)
{
    std::array<std::uint8_t, SHA_CBLOCK> key{};
    if (password.size() > key.size())
        SHA1(reinterpret_cast<const unsigned char *>(password.data()), password.size(), key.data());
    else
        std::copy(password.begin(), password.end(), key.begin());
    HmacSha1 hmac;
    std::array<std::uint8_t, SHA_CBLOCK> pad;
    std::transform(key.begin(), key.end(), pad.begin(), [](std::uint8_t byte) { return byte ^ 0x36; });
    SHA1_Init(&hmac.inner);
    SHA1_Update(&hmac.inner, pad.data(), pad.size());
    std::transform(key.begin(), key.end(), pad.begin(), [](std::uint8_t byte) { return byte ^ 0x5c; });
    SHA1_Init(&hmac.outer);
    SHA1_Update(&hmac.outer, pad.data(), pad.size());
    OPENSSL_cleanse(key.data(), key.size());
    OPENSSL_cleanse(pad.data(), pad.size());
    return hmac;
}

void StoreDigest(const SHA_CTX &state, std::uint8_t *out)
{
    for (const SHA_LONG word : {state.h0, state.h1, state.h2, state.h3, state.h4}) {
        *out++ = static_cast<std::uint8_t>(word >> 24);
        *out++ = static_cast<std::uint8_t>(word >> 16);
        *out++ = static_cast<std::uint8_t>(word >> 8);
        *out++ = static_cast<std::uint8_t>(word);
    }
}

// U1 = HMAC(password, salt || INT(block)).
Digest FirstRound(const HmacSha1 &hmac, std::span<const std::uint8_t> salt, std::uint32_t block)
{
    const std::array<std::uint8_t, 4> index = {static_cast<std::uint8_t>(block >> 24),
                                               static_cast<std::uint8_t>(block >> 16),
                                               static_cast<std::uint8_t>(block >> 8), static_cast<std::uint8_t>(block)};
    Digest u;
    SHA_CTX state = hmac.inner;
    SHA1_Update(&state, salt.data(), salt.size());
    SHA1_Update(&state, index.data(), index.size());
    SHA1_Final(u.data(), &state);
    state = hmac.outer;
    SHA1_Update(&state, u.data(), u.size());
    SHA1_Final(u.data(), &state);
    return u;
}

// The later rounds hash one 20-byte digest after the 64-byte pad: a single padded block each, hashed directly.
void LaterRounds(const HmacSha1 &hmac, Digest u, unsigned rounds, Digest &sum)
{
    constexpr unsigned PaddedBits = (SHA_CBLOCK + SHA_DIGEST_LENGTH) * 8;
    std::array<std::uint8_t, SHA_CBLOCK> block{};
    block[SHA_DIGEST_LENGTH] = 0x80;
    block[SHA_CBLOCK - 2] = static_cast<std::uint8_t>(PaddedBits >> 8);
    block[SHA_CBLOCK - 1] = static_cast<std::uint8_t>(PaddedBits);
    for (unsigned round = 1; round < rounds; ++round) {
        std::copy(u.begin(), u.end(), block.begin());
        SHA_CTX state = hmac.inner;
        SHA1_Transform(&state, block.data());
        StoreDigest(state, block.data());
        state = hmac.outer;
        SHA1_Transform(&state, block.data());
        StoreDigest(state, u.data());
        for (std::size_t i = 0; i < sum.size(); ++i)
            sum[i] ^= u[i];
    }
    OPENSSL_cleanse(block.data(), block.size());
    OPENSSL_cleanse(u.data(), u.size());
}

std::string RawKeyText(std::span<const std::uint8_t> key)
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

void Pbkdf2HmacSha1(std::string_view password, std::span<const std::uint8_t> salt, unsigned iterations,
                    std::span<std::uint8_t> derived)
{
    if (iterations == 0 || derived.empty())
        RaiseInvalidArgument();
    HmacSha1 hmac = KeyedHmac(password);
    for (std::uint32_t block = 1; !derived.empty(); ++block) {
        Digest u = FirstRound(hmac, salt, block);
        Digest sum = u;
        LaterRounds(hmac, u, iterations, sum);
        const std::size_t taken = std::min(derived.size(), sum.size());
        std::copy_n(sum.begin(), taken, derived.begin());
        derived = derived.subspan(taken);
        OPENSSL_cleanse(sum.data(), sum.size());
        OPENSSL_cleanse(u.data(), u.size());
    }
    OPENSSL_cleanse(&hmac, sizeof hmac);
}

std::string RawDatabaseKey(const FileSalt &salt, std::string_view password, unsigned rounds)
{
    std::array<std::uint8_t, PageKeyBytes> key;
    Pbkdf2HmacSha1(password, salt, rounds, key);
    std::string text = RawKeyText(key);
    OPENSSL_cleanse(key.data(), key.size());
    return text;
}

void KeyDatabase(const std::optional<FileSalt> &salt, std::string_view password,
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
            return;
        } catch (const StoreError &error) {
            if (error.Number() != ErrorNumber::UnrecognizedFormat)
                throw;
        }
    }
    attempt(password);
}
