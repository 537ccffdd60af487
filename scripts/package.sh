#!/usr/bin/env bash
# Builds the Debian package of Tovra (tovra_VERSION_ARCH.deb in build/package)
# from the normal build folder, building only what the package holds, and
# prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tovra tovra-cli tovra_package_files >/dev/null
rm -f build/package/tovra_*.deb
(cd build && cpack -G DEB >cpack.log 2>&1) || {
  cat build/cpack.log
  exit 1
}
ls build/package/tovra_*.deb
