/* The engine compiled into the program: SQLCipher's amalgamation, and the cryptography it asks for, done with
   OpenSSL's primitives (SHA, AES) directly. SQLCipher's own OpenSSL provider goes through OpenSSL 3's algorithm
   providers, whose set-up takes some 4 MB and milliseconds at every start for the three algorithms a file uses.
   Built with SQLCIPHER_CRYPTO_CUSTOM=TarnwickCipherProvider. */

#include "sqlite3.c"

#include "Pbkdf2.h"

/* The primitives' own interfaces are marked deprecated in OpenSSL 3 in favour of the providers. */
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/aes.h>
#include <openssl/crypto.h>
#include <openssl/sha.h>

#include <errno.h>
#include <string.h>
#include <sys/random.h>

enum
{
    AesKeyBytes = 32,
    AesBlockBytes = AES_BLOCK_SIZE,
    LargestBlock = SHA512_CBLOCK,
    LargestDigest = SHA512_DIGEST_LENGTH
};

/* One of SHA-1, SHA-256 and SHA-512, by SQLCipher's number for its HMAC. */
typedef struct
{
    int block, size;
    void (*init)(void *state);
    void (*update)(void *state, const unsigned char *data, size_t size);
    void (*final)(unsigned char *digest, void *state);
} Digest;

typedef union {
    SHA_CTX sha1;
    SHA256_CTX sha256;
    SHA512_CTX sha512;
} DigestState;

static void Sha1Init(void *state)
{
    SHA1_Init(state);
}
static void Sha1Update(void *state, const unsigned char *data, size_t size)
{
    SHA1_Update(state, data, size);
}
static void Sha1Final(unsigned char *digest, void *state)
{
    SHA1_Final(digest, state);
}
static void Sha256Init(void *state)
{
    SHA256_Init(state);
}
static void Sha256Update(void *state, const unsigned char *data, size_t size)
{
    SHA256_Update(state, data, size);
}
static void Sha256Final(unsigned char *digest, void *state)
{
    SHA256_Final(digest, state);
}
static void Sha512Init(void *state)
{
    SHA512_Init(state);
}
static void Sha512Update(void *state, const unsigned char *data, size_t size)
{
    SHA512_Update(state, data, size);
}
static void Sha512Final(unsigned char *digest, void *state)
{
    SHA512_Final(digest, state);
}

static const Digest *DigestOf(int algorithm)
{
    static const Digest hashes[] = {
        {SHA_CBLOCK, SHA_DIGEST_LENGTH, Sha1Init, Sha1Update, Sha1Final},
        {SHA256_CBLOCK, SHA256_DIGEST_LENGTH, Sha256Init, Sha256Update, Sha256Final},
        {SHA512_CBLOCK, SHA512_DIGEST_LENGTH, Sha512Init, Sha512Update, Sha512Final},
    };
    return algorithm >= SQLCIPHER_HMAC_SHA1 && algorithm <= SQLCIPHER_HMAC_SHA512 ? &hashes[algorithm] : NULL;
}

/* HMAC (RFC 2104) of up to two pieces of input. */
static void DigestHmac(const Digest *digest, const unsigned char *key, int keySize, const unsigned char *in, int inSize,
                       const unsigned char *in2, int in2Size, unsigned char *out)
{
    unsigned char block[LargestBlock] = {0}, inner[LargestDigest];
    DigestState state;
    if (keySize > digest->block) {
        digest->init(&state);
        digest->update(&state, key, (size_t)keySize);
        digest->final(block, &state);
    } else if (keySize > 0) {
        memcpy(block, key, (size_t)keySize);
    }
    for (int i = 0; i < digest->block; ++i)
        block[i] ^= 0x36;
    digest->init(&state);
    digest->update(&state, block, (size_t)digest->block);
    digest->update(&state, in, (size_t)inSize);
    if (in2)
        digest->update(&state, in2, (size_t)in2Size);
    digest->final(inner, &state);
    for (int i = 0; i < digest->block; ++i)
        block[i] ^= 0x36 ^ 0x5c;
    digest->init(&state);
    digest->update(&state, block, (size_t)digest->block);
    digest->update(&state, inner, (size_t)digest->size);
    digest->final(out, &state);
    OPENSSL_cleanse(block, sizeof block);
    OPENSSL_cleanse(inner, sizeof inner);
    OPENSSL_cleanse(&state, sizeof state);
}

static int ProviderHmac(void *ctx, int algorithm, const unsigned char *key, int keySize, const unsigned char *in,
                        int inSize, const unsigned char *in2, int in2Size, unsigned char *out)
{
    (void)ctx;
    const Digest *digest = DigestOf(algorithm);
    if (!digest || !in || keySize < 0 || inSize < 0)
        return SQLITE_ERROR;
    DigestHmac(digest, key, keySize, in, inSize, in2, in2Size, out);
    return SQLITE_OK;
}

/* PBKDF2 (RFC 8018), the program's own. */
static int ProviderKdf(void *ctx, int algorithm, const unsigned char *password, int passwordSize,
                       const unsigned char *salt, int saltSize, int rounds, int keySize, unsigned char *key)
{
    (void)ctx;
    const TarnwickHash hash = algorithm == SQLCIPHER_PBKDF2_HMAC_SHA1     ? TarnwickSha1
                              : algorithm == SQLCIPHER_PBKDF2_HMAC_SHA256 ? TarnwickSha256
                                                                          : TarnwickSha512;
    if (algorithm < SQLCIPHER_PBKDF2_HMAC_SHA1 || algorithm > SQLCIPHER_PBKDF2_HMAC_SHA512 || passwordSize < 0 ||
        saltSize < 0 || rounds < 1 || keySize < 1)
        return SQLITE_ERROR;
    return TarnwickPbkdf2(hash, password, (size_t)passwordSize, salt, (size_t)saltSize, (unsigned)rounds, key,
                          (size_t)keySize)
               ? SQLITE_OK
               : SQLITE_ERROR;
}

/* AES-256 in CBC mode, without padding: pages are whole blocks. */
static int ProviderCipher(void *ctx, int mode, const unsigned char *key, int keySize, const unsigned char *iv,
                          const unsigned char *in, int inSize, unsigned char *out)
{
    (void)ctx;
    if (keySize != AesKeyBytes || inSize < 0 || inSize % AesBlockBytes != 0)
        return SQLITE_ERROR;
    AES_KEY schedule;
    unsigned char chain[AesBlockBytes];
    const int encrypt = mode == SQLCIPHER_ENCRYPT;
    if ((encrypt ? AES_set_encrypt_key(key, 8 * keySize, &schedule)
                 : AES_set_decrypt_key(key, 8 * keySize, &schedule)) != 0)
        return SQLITE_ERROR;
    memcpy(chain, iv, sizeof chain);
    AES_cbc_encrypt(in, out, (size_t)inSize, &schedule, chain, encrypt ? AES_ENCRYPT : AES_DECRYPT);
    OPENSSL_cleanse(&schedule, sizeof schedule);
    OPENSSL_cleanse(chain, sizeof chain);
    return SQLITE_OK;
}

/* The kernel's generator, for initialisation vectors and new files' salts. */
static int ProviderRandom(void *ctx, void *buffer, int size)
{
    (void)ctx;
    for (unsigned char *at = buffer; size > 0;) {
        const ssize_t got = getrandom(at, (size_t)size, 0);
        if (got < 0 && errno != EINTR)
            return SQLITE_ERROR;
        if (got > 0) {
            at += got;
            size -= (int)got;
        }
    }
    return SQLITE_OK;
}

static int ProviderAddRandom(void *ctx, const void *buffer, int size)
{
    (void)ctx;
    (void)buffer;
    (void)size;
    return SQLITE_OK;
}

static const char *ProviderName(void *ctx)
{
    (void)ctx;
    return "openssl-primitives";
}

static const char *ProviderVersion(void *ctx)
{
    (void)ctx;
    return OpenSSL_version(OPENSSL_VERSION);
}

static const char *ProviderCipherName(void *ctx)
{
    (void)ctx;
    return "aes-256-cbc";
}

static int ProviderKeySize(void *ctx)
{
    (void)ctx;
    return AesKeyBytes;
}

static int ProviderBlockSize(void *ctx)
{
    (void)ctx;
    return AesBlockBytes;
}

static int ProviderHmacSize(void *ctx, int algorithm)
{
    (void)ctx;
    const Digest *digest = DigestOf(algorithm);
    return digest ? digest->size : 0;
}

static int ProviderContext(void **ctx)
{
    (void)ctx;
    return SQLITE_OK;
}

static int ProviderFipsStatus(void *ctx)
{
    (void)ctx;
    return 0;
}

int TarnwickCipherProvider(sqlcipher_provider *p)
{
    memset(p, 0, sizeof *p);
    p->get_provider_name = ProviderName;
    p->add_random = ProviderAddRandom;
    p->random = ProviderRandom;
    p->hmac = ProviderHmac;
    p->kdf = ProviderKdf;
    p->cipher = ProviderCipher;
    p->get_cipher = ProviderCipherName;
    p->get_key_sz = ProviderKeySize;
    p->get_iv_sz = ProviderBlockSize;
    p->get_block_sz = ProviderBlockSize;
    p->get_hmac_sz = ProviderHmacSize;
    p->ctx_init = ProviderContext;
    p->ctx_free = ProviderContext;
    p->fips_status = ProviderFipsStatus;
    p->get_provider_version = ProviderVersion;
    return SQLITE_OK;
}

/* Keeps the main database's journal between transactions from the first read on. The pragma that does so reads the
   schema first, which rolls a hot journal back under the default mode and then deletes it: in a shared folder with
   the sticky bit, a journal an administrator made cannot be deleted, and the open would fail. */
int TarnwickKeepJournal(sqlite3 *db)
{
    int mode = -1;
    sqlite3_mutex_enter(db->mutex);
    Btree *btree = db->aDb[0].pBt;
    if (btree) {
        sqlite3BtreeEnter(btree);
        mode = sqlite3PagerSetJournalMode(sqlite3BtreePager(btree), PAGER_JOURNALMODE_PERSIST);
        sqlite3BtreeLeave(btree);
    }
    sqlite3_mutex_leave(db->mutex);
    return mode == PAGER_JOURNALMODE_PERSIST ? SQLITE_OK : SQLITE_ERROR;
}
