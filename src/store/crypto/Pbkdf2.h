#pragma once

/* PBKDF2 (RFC 8018): the one derivation of keys from passwords, for the program's own key derivation and for the
   engine's cryptography alike. C, for the engine's side. */

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The hash of the HMAC. */
typedef enum
{
    TarnwickSha1,
    TarnwickSha256,
    TarnwickSha512
} TarnwickHash;

/* Fills key[0..keySize) from the password and salt with `rounds` rounds. Returns 1, or 0 for no rounds, no key asked
   for, an unknown hash or a failure of the library. */
int TarnwickPbkdf2(TarnwickHash hash, const void *password, size_t passwordSize, const void *salt, size_t saltSize,
                   unsigned rounds, unsigned char *key, size_t keySize);

#ifdef __cplusplus
}
#endif
