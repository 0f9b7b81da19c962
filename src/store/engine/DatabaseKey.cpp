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

// The later rounds hash one 20-byte digest after the 64-byte pad: a single padded block each, hashed directly. Each
// block's chain waits on its own hashes, so the chains of two blocks done together keep the processor busy where one
// leaves it waiting: the page key's two blocks take two thirds of the time they take one after the other.
template <std::size_t Chains>
void LaterRounds(const HmacSha1 &hmac, std::array<Digest, Chains> u, unsigned rounds, std::array<Digest, Chains> &sum)
{
    constexpr unsigned PaddedBits = (SHA_CBLOCK + SHA_DIGEST_LENGTH) * 8;
    std::array<std::array<std::uint8_t, SHA_CBLOCK>, Chains> blocks{};
    for (auto &block : blocks) {
        block[SHA_DIGEST_LENGTH] = 0x80;
        block[SHA_CBLOCK - 2] = static_cast<std::uint8_t>(PaddedBits >> 8);
        block[SHA_CBLOCK - 1] = static_cast<std::uint8_t>(PaddedBits);
    }
    std::array<SHA_CTX, Chains> states;
    // The hashes of the chains follow each other directly, for the processor to overlap them.
    for (unsigned round = 1; round < rounds; ++round) {
        for (std::size_t c = 0; c < Chains; ++c) {
            std::copy(u[c].begin(), u[c].end(), blocks[c].begin());
            states[c] = hmac.inner;
        }
        for (std::size_t c = 0; c < Chains; ++c)
            SHA1_Transform(&states[c], blocks[c].data());
        for (std::size_t c = 0; c < Chains; ++c) {
            StoreDigest(states[c], blocks[c].data());
            states[c] = hmac.outer;
        }
        for (std::size_t c = 0; c < Chains; ++c)
            SHA1_Transform(&states[c], blocks[c].data());
        for (std::size_t c = 0; c < Chains; ++c) {
            StoreDigest(states[c], u[c].data());
            for (std::size_t i = 0; i < sum[c].size(); ++i)
                sum[c][i] ^= u[c][i];
        }
    }
    OPENSSL_cleanse(blocks.data(), sizeof blocks);
    OPENSSL_cleanse(states.data(), sizeof states);
    OPENSSL_cleanse(u.data(), sizeof u);
}

// Blocks `first` and on, as many as Chains, into `derived`, which they fill from its start; returns what is left.
template <std::size_t Chains>
std::span<std::uint8_t> DeriveBlocks(const HmacSha1 &hmac, std::span<const std::uint8_t> salt, unsigned iterations,
                                     std::uint32_t first, std::span<std::uint8_t> derived)
{
    std::array<Digest, Chains> u, sum;
    for (std::size_t c = 0; c < Chains; ++c)
        sum[c] = u[c] = FirstRound(hmac, salt, first + static_cast<std::uint32_t>(c));
    LaterRounds<Chains>(hmac, u, iterations, sum);
    for (const Digest &block : sum) {
        const std::size_t taken = std::min(derived.size(), block.size());
        std::copy_n(block.begin(), taken, derived.begin());
        derived = derived.subspan(taken);
    }
    OPENSSL_cleanse(u.data(), sizeof u);
    OPENSSL_cleanse(sum.data(), sizeof sum);
    return derived;
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
    for (std::uint32_t block = 1; !derived.empty(); block += 2) {
        derived = derived.size() > SHA_DIGEST_LENGTH ? DeriveBlocks<2>(hmac, salt, iterations, block, derived)
                                                     : DeriveBlocks<1>(hmac, salt, iterations, block, derived);
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
