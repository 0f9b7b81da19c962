#!/usr/bin/env bash
# Installs what is missing, builds, creates an empty AccountInfo.mdb beside the program when there
# is none, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_BENCHMARKS=OFF >/dev/null
cmake --build build --parallel "$(nproc)"
[ -e build/AccountInfo.mdb ] || build/tarnwick-newdb build/AccountInfo.mdb
if [ -x build/tarnwick ]; then
    exec build/tarnwick
fi
echo "Built; the database is build/AccountInfo.mdb."
