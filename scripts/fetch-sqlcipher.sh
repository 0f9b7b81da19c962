#!/usr/bin/env bash
# fetch-sqlcipher.sh DEST: puts SQLCipher's amalgamation, which the build compiles into the program, in DEST:
# DEST/sqlite3.c and DEST/include/sqlcipher/sqlite3.h. It comes from an npm package that ships it, checked against
# the checksum below, so every build compiles the same engine. A copy already in DEST made by this script is kept.
set -euo pipefail

package=@journeyapps/sqlcipher@6.0.0
package_sha256=ad3ee0e551de315b230db78e2294d41868b5c166d44c0c87da35fb6b87bde54c
amalgamation=package/deps/sqlcipher-amalgamation
version=4.14.0

dest=${1:?usage: fetch-sqlcipher.sh DEST}
stamp="$package $package_sha256"
if [ -f "$dest/stamp" ] && [ "$(cat "$dest/stamp")" = "$stamp" ]; then
    exit 0
fi
if ! command -v npm >/dev/null; then
    echo "fetch-sqlcipher.sh: npm is needed to fetch SQLCipher (apt-get install npm), or configure with" \
        "-DTARNWICK_SYSTEM_SQLCIPHER=ON to build on the system's libsqlcipher-dev" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "Fetching $package"
if ! npm pack --loglevel=error --pack-destination "$work" "$package" >"$work/pack.log"; then
    echo "fetch-sqlcipher.sh: cannot fetch $package from the npm registry" >&2
    exit 1
fi
tarball=$work/$(tail -n 1 "$work/pack.log")
echo "$package_sha256  $tarball" | sha256sum --check --quiet
tar -xzf "$tarball" -C "$work" "$amalgamation/sqlite3.c" "$amalgamation/sqlite3.h"
grep -q "CIPHER_VERSION_NUMBER $version\$" "$work/$amalgamation/sqlite3.c"

rm -rf "$dest"
mkdir -p "$dest/include/sqlcipher"
cp "$work/$amalgamation/sqlite3.c" "$dest/"
cp "$work/$amalgamation/sqlite3.h" "$dest/include/sqlcipher/"
echo "$stamp" >"$dest/stamp"
