#!/usr/bin/env bash
# Builds the page-scanner fuzz target with clang and libFuzzer (with
# AddressSanitizer and UndefinedBehaviorSanitizer) into build-fuzz/ and runs it
# for SECONDS seconds (default 30), seeded with the demo site's files.
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
cxx=${FUZZ_CXX:-clang++}
out=build-fuzz
mkdir -p "$out/corpus"

sources=(
  fuzz/extract_links_fuzz.cpp
  src/html/htmlanal.cpp
  src/html/dependencies.cpp
  src/util/char_string.cpp
  src/util/string_list.cpp
  src/util/errors.cpp
  src/platform/files.cpp
  src/platform/encoding.cpp
)
# Rebuild only when a source is newer than the binary.
if [[ ! -x $out/extract_links_fuzz ]] || [[ -n $(find "${sources[@]}" src/html src/util src/platform tests/html/literal_links.h -newer "$out/extract_links_fuzz" -print -quit) ]]; then
  "$cxx" -std=c++20 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Isrc -Itests/html "${sources[@]}" -o "$out/extract_links_fuzz"
fi

# Seeds: every page and style sheet of the demo site, plus a few nasty pages.
find demo/site -type f \( -name '*.html' -o -name '*.htm' -o -name '*.css' \) -exec cp {} "$out/corpus/" \;
printf '<img src="a.gif"' >"$out/corpus/unclosed"
printf '<img src="a.gif">\0<a href="b">\n' >"$out/corpus/nul"
printf '<td style="background-image:url(x.gif)">\x83' >"$out/corpus/lead"

UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "$out/extract_links_fuzz" -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 "$out/corpus"
