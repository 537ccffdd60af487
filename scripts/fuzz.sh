#!/usr/bin/env bash
# Builds the page-scanner fuzz targets (TOVRA_BUILD_FUZZ: clang, libFuzzer,
# AddressSanitizer and UndefinedBehaviorSanitizer) into build-fuzz/ and runs
# the link extraction's for SECONDS seconds (default 30) and the modern
# reference collection's for a third of that, seeded with the demo site's files.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cxx=${FUZZ_CXX:-clang++}
out=build-fuzz
mkdir -p "$out/corpus"

cmake -S . -B "$out" -DTOVRA_BUILD_FUZZ=ON -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_UNITY_BUILD=ON >/dev/null
cmake --build "$out" --target extract_links_fuzz references_fuzz -j"$(nproc)"

# Seeds: every page and style sheet of the demo site, plus a few nasty pages.
find demo/site -type f \( -name '*.html' -o -name '*.htm' -o -name '*.css' \) -exec cp {} "$out/corpus/" \;
printf '<img src="a.gif"' >"$out/corpus/unclosed"
printf '<img src="a.gif">\0<a href="b">\n' >"$out/corpus/nul"
printf '<td style="background-image:url(x.gif)">\x83' >"$out/corpus/lead"

UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/fuzz/extract_links_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 "$out/corpus"
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/fuzz/references_fuzz" -max_total_time="$((seconds / 3 + 1))" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 "$out/corpus"
