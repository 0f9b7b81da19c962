#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in an optimised build on the
# SQLCipher compiled in (with the end-to-end suite, and files passed to and from Debian's
# SQLCipher 3), and in a build on the system's SQLCipher with AddressSanitizer and
# UndefinedBehaviorSanitizer; between the two it fuzzes the SQL literal for a bounded time.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DTARNWICK_WERROR=ON >/dev/null
cmake --build build --parallel "$jobs"
ctest --test-dir build --output-on-failure --parallel "$jobs"

fuzz_seconds=${TARNWICK_FUZZ_SECONDS:-60}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_FUZZ=ON -DTARNWICK_WERROR=ON \
    -DTARNWICK_SYSTEM_SQLCIPHER=ON >/dev/null
cmake --build build-fuzz --target fuzz_sqlliteral --parallel "$jobs"
mkdir -p build-fuzz/corpus
if ! build-fuzz/tests/fuzz_sqlliteral -max_total_time="$fuzz_seconds" -artifact_prefix=build-fuzz/ \
    build-fuzz/corpus >build-fuzz/fuzz.log 2>&1; then
    tail -n 60 build-fuzz/fuzz.log
    exit 1
fi
grep -E '^Done [0-9]+ runs' build-fuzz/fuzz.log

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON -DTARNWICK_WERROR=ON -DTARNWICK_BENCHMARKS=OFF \
    -DTARNWICK_SYSTEM_SQLCIPHER=ON >/dev/null
cmake --build build-sanitize --parallel "$jobs"
ctest --test-dir build-sanitize --output-on-failure --parallel "$jobs"
