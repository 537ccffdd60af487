#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the normal build, then the core tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, then a short fuzzing run of the page scanner.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-asan -DTOVRA_SANITIZE=ON -DTOVRA_BUILD_APP=OFF -DTOVRA_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs" -LE slow)

if [[ -x scripts/fuzz.sh ]]; then
  scripts/fuzz.sh 30
fi

# The Debian package, made from the normal build and run from a throw-away root.
tests/package/package_test.sh
