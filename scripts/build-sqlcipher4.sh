#!/usr/bin/env bash
# build-sqlcipher4.sh DEST: builds SQLCipher 4 for the tests that pass files between it and Debian's SQLCipher 3:
# DEST/include/sqlcipher/sqlite3.h, DEST/lib/libsqlcipher4.so and a shell, DEST/bin/sqlcipher4. The amalgamation
# comes from an npm package that ships it, checked against the checksum below. A build already in DEST made by the
# same script and shell source is kept. Fails, never skips, when the registry cannot be reached: the tests need it.
set -euo pipefail

package=@journeyapps/sqlcipher@6.0.0
package_sha256=ad3ee0e551de315b230db78e2294d41868b5c166d44c0c87da35fb6b87bde54c
amalgamation=package/deps/sqlcipher-amalgamation
version=4.14.0

dest=${1:?usage: build-sqlcipher4.sh DEST}
shell_source=$(cd "$(dirname "$0")" && pwd)/sqlcipher4-shell.c
stamp=$(sha256sum "$0" "$shell_source" | cut -d' ' -f1 | paste -sd' ')
if [ -f "$dest/stamp" ] && [ "$(cat "$dest/stamp")" = "$stamp" ]; then
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Fetching $package"
if ! npm pack --loglevel=error --pack-destination "$work" "$package" >"$work/pack.log"; then
    echo "build-sqlcipher4.sh: cannot fetch $package from the npm registry" >&2
    exit 1
fi
tarball=$work/$(tail -n 1 "$work/pack.log")
echo "$package_sha256  $tarball" | sha256sum --check --quiet
tar -xzf "$tarball" -C "$work" "$amalgamation/sqlite3.c" "$amalgamation/sqlite3.h"
grep -q "CIPHER_VERSION_NUMBER $version\$" "$work/$amalgamation/sqlite3.c"

rm -rf "$dest"
mkdir -p "$dest/include/sqlcipher" "$dest/lib" "$dest/bin"
cp "$work/$amalgamation/sqlite3.h" "$dest/include/sqlcipher/"
# What SQLCipher requires to be built, and what the package's own build sets for Linux.
defines=(-DSQLITE_HAS_CODEC -DSQLCIPHER_CRYPTO_OPENSSL -DSQLITE_THREADSAFE=1 -DSQLITE_TEMP_STORE=2
         -DSQLITE_EXTRA_INIT=sqlcipher_extra_init -DSQLITE_EXTRA_SHUTDOWN=sqlcipher_extra_shutdown
         -DHAVE_STDINT_H=1 -DHAVE_USLEEP=1 -DNDEBUG)
echo "Building SQLCipher $version"
cc -O2 -fPIC -shared -Wl,-soname,libsqlcipher4.so "${defines[@]}" -o "$dest/lib/libsqlcipher4.so" \
    "$work/$amalgamation/sqlite3.c" -lcrypto -lpthread -lm
cc -O2 -Wall -Werror -DSQLITE_HAS_CODEC -I"$dest/include/sqlcipher" -o "$dest/bin/sqlcipher4" "$shell_source" \
    -L"$dest/lib" -lsqlcipher4 -Wl,-rpath,"$(cd "$dest/lib" && pwd)"
echo "$stamp" >"$dest/stamp"
