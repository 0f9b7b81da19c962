#include "Pbkdf2.h"

// SHA-1's block function has no counterpart among OpenSSL 3's interfaces, and it is what makes the derivation with
// SHA-1 here a few times faster than the library's own, which sets the HMAC up afresh on every round. Files are
// keyed with SHA-1; the other hashes, which no file of the program's asks for, are left to the library.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <span>

namespace {

using Digest = std::array<std::uint8_t, SHA_DIGEST_LENGTH>;

struct HmacSha1
{
    SHA_CTX inner;
    SHA_CTX outer;
};

HmacSha1 KeyedHmac(std::span<const std::uint8_t> password)
{
    std::array<std::uint8_t, SHA_CBLOCK> key{};
    if (password.size() > key.size())
        SHA1(password.data(), password.size(), key.data());
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
// leaves it waiting: a page key's two blocks take two thirds of the time they take one after the other.
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

// Blocks `first` and on, as many as Chains, into `key`, which they fill from its start; returns what is left.
template <std::size_t Chains>
std::span<std::uint8_t> DeriveBlocks(const HmacSha1 &hmac, std::span<const std::uint8_t> salt, unsigned rounds,
                                     std::uint32_t first, std::span<std::uint8_t> key)
{
    std::array<Digest, Chains> u, sum;
    for (std::size_t c = 0; c < Chains; ++c)
        sum[c] = u[c] = FirstRound(hmac, salt, first + static_cast<std::uint32_t>(c));
    LaterRounds<Chains>(hmac, u, rounds, sum);
    for (const Digest &block : sum) {
        const std::size_t taken = std::min(key.size(), block.size());
        std::copy_n(block.begin(), taken, key.begin());
        key = key.subspan(taken);
    }
    OPENSSL_cleanse(u.data(), sizeof u);
    OPENSSL_cleanse(sum.data(), sizeof sum);
    return key;
}

void Pbkdf2HmacSha1(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt, unsigned rounds,
                    std::span<std::uint8_t> key)
{
    HmacSha1 hmac = KeyedHmac(password);
    for (std::uint32_t block = 1; !key.empty(); block += 2) {
        key = key.size() > SHA_DIGEST_LENGTH ? DeriveBlocks<2>(hmac, salt, rounds, block, key)
                                             : DeriveBlocks<1>(hmac, salt, rounds, block, key);
    }
    OPENSSL_cleanse(&hmac, sizeof hmac);
}

} // namespace

extern "C" int TarnwickPbkdf2(TarnwickHash hash, const void *password, size_t passwordSize, const void *salt,
                              size_t saltSize, unsigned rounds, unsigned char *key, size_t keySize)
{
    if (rounds == 0 || keySize == 0 || (passwordSize > 0 && !password) || (saltSize > 0 && !salt) || !key)
        return 0;
    const auto *passwordBytes = static_cast<const std::uint8_t *>(password);
    const auto *saltBytes = static_cast<const std::uint8_t *>(salt);
    if (hash == TarnwickSha1) {
        Pbkdf2HmacSha1({passwordBytes, passwordSize}, {saltBytes, saltSize}, rounds, {key, keySize});
        return 1;
    }
    const EVP_MD *digest = hash == TarnwickSha256 ? EVP_sha256() : hash == TarnwickSha512 ? EVP_sha512() : nullptr;
    if (!digest || passwordSize > INT_MAX || saltSize > INT_MAX || rounds > INT_MAX || keySize > INT_MAX)
        return 0;
    return PKCS5_PBKDF2_HMAC(static_cast<const char *>(password), static_cast<int>(passwordSize), saltBytes,
                             static_cast<int>(saltSize), static_cast<int>(rounds), digest, static_cast<int>(keySize),
                             key) == 1;
}
