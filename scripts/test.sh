#!/usr/bin/env bash
# Installs what is missing, then builds and runs the tests three times: every test in an optimised
# build on the SQLCipher compiled in (with the end-to-end suite, and files passed to and from the system's
# sqlcipher shell); the unit tests with AddressSanitizer and UndefinedBehaviorSanitizer on
# the same engine; and the unit tests in a build on the system's SQLCipher, as distributions build, made by Clang.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh test
jobs=$(nproc)

# What a run skipped here, with the reasons the tests give (a desktop this release lacks, say).
report_skips()
{
    grep -hE " \.\.\. skipped ['\"]" "$1/Testing/Temporary/LastTest.log" | sed 's/^/skipped: /' || true
}

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr -DTARNWICK_WERROR=ON >/dev/null
cmake --build build --parallel "$jobs"
ctest --test-dir build --output-on-failure --parallel "$jobs"
report_skips build

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_SANITIZE=ON -DTARNWICK_WERROR=ON -DTARNWICK_BENCHMARKS=OFF \
    -DTARNWICK_SYSTEM_SQLCIPHER=OFF -DTARNWICK_SQLCIPHER_SOURCE="$PWD/build/sqlcipher" >/dev/null
cmake --build build-sanitize --parallel "$jobs"
ctest --test-dir build-sanitize --output-on-failure --parallel "$jobs"

CC=clang CXX=clang++ cmake -S . -B build-system -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR=ON -DTARNWICK_BENCHMARKS=OFF \
    -DTARNWICK_SYSTEM_SQLCIPHER=ON >/dev/null
cmake --build build-system --parallel "$jobs"
ctest --test-dir build-system --output-on-failure --parallel "$jobs" --label-exclude e2e
