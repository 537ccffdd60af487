#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite:
# the layout check, the normal build with every test (the README's demo in a
# fresh copy included), then the core tests again under AddressSanitizer and
# UndefinedBehaviorSanitizer, the FTP, upload and window tests under
# ThreadSanitizer, a short fuzzing run of the page scanner, and the Debian
# package built, unpacked and run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

# Layout first: it takes a second and says which files to fix.
scripts/check-format.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")
# The engine and FTP-client tests once more, repeated in a shuffled order, so
# that a dependence on order or timing shows here and not by chance later.
(cd build && ctest --output-on-failure -j"$jobs" -R 'TransferEngine|Ftp' --repeat until-fail:3 --schedule-random)

# The sanitizer builds compile each folder's files together (unity build):
# half the compile time. The normal build above keeps one file at a time, so
# a file that lacks an include of its own still shows there.
cmake -S . -B build-asan -DTOVRA_SANITIZE=ON -DTOVRA_BUILD_APP=OFF -DTOVRA_BUILD_BENCH=OFF \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j"$jobs" -LE slow)

# The threads of a transfer run (sessions, abort, progress, the window's
# queued calls): only the tests that exercise them, in a build of their own;
# the tests of targets not built there are left out.
cmake -S . -B build-tsan -DTOVRA_TSAN=ON -DTOVRA_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_UNITY_BUILD=ON >/dev/null
tsan_targets=(tovra_tests_ftp tovra_tests_upload)
# Every window test program there is (none when Qt is missing).
mapfile -t gui_targets < <(cmake --build build-tsan --target help | grep -o 'tovra_tests_gui[a-z_]*' | sort -u)
tsan_targets+=("${gui_targets[@]}")
cmake --build build-tsan -j"$jobs" --target "${tsan_targets[@]}"
supp=$PWD/scripts/tsan.supp
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1 suppressions=$supp" \
  ctest --output-on-failure -j"$jobs" -L 'ftp|upload|gui' -LE slow -E '_NOT_BUILT')

if [[ -x scripts/fuzz.sh ]]; then
  scripts/fuzz.sh 30
fi

# The Debian package, made from the normal build and run from a throw-away root.
tests/package/package_test.sh
