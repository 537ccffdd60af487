#!/usr/bin/env bash
# Reference collection benchmark: `tovra-cli deps` over every page of the
# Python documentation (Debian's python3.11-doc, 530 pages, copied with
# cp -rL) with --references classic and --references modern, alternating in
# the same run (median of rounds; both with --page-encoding auto, which the
# documentation's UTF-8 pages need). Target: modern at most 1.5 x classic.
# Then the modern collection on one-line pages of 50 and 100 MB (a picture
# and some text, repeated, no line break): target a 100/50 MB ratio <= 2.3.
# usage: bench/references_bench.sh [BUILD_DIR]   (tovra-cli must be built there)
#        TOVRA_BENCH_ROUNDS=n sets the number of rounds (default 5).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(cd "$build" 2>/dev/null && pwd)/src/cli/tovra-cli
[[ -x $cli ]] || { echo "build tovra-cli first: cmake --build $build --target tovra-cli" >&2; exit 2; }
docs=/usr/share/doc/python3.11/html
[[ -d $docs ]] || { echo "install python3.11-doc first (scripts/install-deps.sh)" >&2; exit 2; }
rounds=${TOVRA_BENCH_ROUNDS:-5}

source bench/loopback_ftp.sh
make_work_folder tovra-references-bench
cp -rL "$docs" "$work/html"
mapfile -t pages < <(cd "$work/html" && find . -name '*.html' | sort)

seconds() {  # the wall time of the command, in seconds
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

classic=() modern=()
cd "$work/html"
for ((r = 0; r < rounds; r++)); do
  classic+=("$(seconds "$cli" deps --root . --page-encoding auto --references classic "${pages[@]}")")
  modern+=("$(seconds "$cli" deps --root . --page-encoding auto --references modern "${pages[@]}")")
done
c=$(median "${classic[@]}")
m=$(median "${modern[@]}")
printf 'deps over %d pages: classic %.3f s, modern %.3f s, modern/classic %.2f (target <= 1.5)\n' \
  "${#pages[@]}" "$c" "$m" "$(awk -v a="$m" -v b="$c" 'BEGIN { print a / b }')"

/usr/bin/python3 - "$work" <<'PY'
import sys
unit = b'<img src="img/a.png" alt="x"><span style="background:url(bg.png)">text &amp; more</span>'
for mb in (50, 100):
    with open(f"{sys.argv[1]}/line{mb}.html", "wb") as f:
        f.write(unit * (mb * 1024 * 1024 // len(unit)))
PY
cd "$work"
fifty=() hundred=()
for ((r = 0; r < rounds; r++)); do
  fifty+=("$(seconds "$cli" deps --root . --references modern line50.html)")
  hundred+=("$(seconds "$cli" deps --root . --references modern line100.html)")
done
f=$(median "${fifty[@]}")
h=$(median "${hundred[@]}")
printf 'one-line page, modern: 50 MB %.3f s, 100 MB %.3f s, ratio %.2f (target <= 2.3)\n' \
  "$f" "$h" "$(awk -v a="$h" -v b="$f" 'BEGIN { print a / b }')"
