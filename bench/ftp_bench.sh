#!/usr/bin/env bash
# FTP benchmarks of tovra-cli against pyftpdlib on loopback, each compared
# with Debian's curl (active mode, -P 127.0.0.1) against the same server in
# the same run:
#   1. throughput of one 512 MiB store (target: at least 0.9 x curl),
#   2. 200 small files, one connection per file (target: at most the time of
#      200 curl processes),
#   3. peak resident memory while storing a 1 GiB file (target: < 30 MiB).
# usage: bench/ftp_bench.sh [BUILD_DIR]   (tovra-cli must be built there)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$build/src/cli/tovra-cli
[[ -x $cli ]] || { echo "build tovra-cli first: cmake --build $build --target tovra-cli" >&2; exit 2; }

source bench/loopback_ftp.sh
make_work_folder tovra-ftp-bench
mkdir -p "$work/root" "$work/local/many"
start_ftp_server "$work/root"
export TOVRA_PASSWORD=secret

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

echo "== 1. one 512 MiB file"
head -c 512M /dev/urandom >"$work/local/big.bin"
put_tovra() { "$cli" put --host 127.0.0.1 --port "$port" --user bench --remote-dir . "$work/local/big.bin" >/dev/null; }
put_curl() { curl -s -S -T "$work/local/big.bin" -P 127.0.0.1 "$url/big.bin"; }
timed() {
  local t0 t1
  t0=$(now)
  "$1"
  t1=$(now)
  rm -f "$work/root/big.bin"
  seconds "$t0" "$t1"
}
put_tovra
cmp -s "$work/local/big.bin" "$work/root/big.bin" || { echo "the 512 MiB upload differs" >&2; exit 1; }
rm -f "$work/root/big.bin"
rounds=${TOVRA_BENCH_ROUNDS:-5}
: >"$work/tovra.times"
: >"$work/curl.times"
for round in $(seq "$rounds"); do
  # Alternate the order so neither side always runs on a warmer machine.
  if ((round % 2)); then
    a=$(timed put_tovra)
    b=$(timed put_curl)
  else
    b=$(timed put_curl)
    a=$(timed put_tovra)
  fi
  echo "round $round: tovra-cli $a s, curl $b s"
  echo "$a" >>"$work/tovra.times"
  echo "$b" >>"$work/curl.times"
done
rm -f "$work/local/big.bin"
median() { sort -n "$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
a=$(median "$work/tovra.times")
b=$(median "$work/curl.times")
awk -v a="$a" -v b="$b" 'BEGIN {
  printf "median: tovra-cli %.1f MiB/s, curl %.1f MiB/s, ratio %.2f (target >= 0.90)\n", 512 / a, 512 / b, b / a }'

echo "== 2. 200 small files, one connection per file"
for i in $(seq -w 1 200); do head -c 2048 /dev/urandom >"$work/local/many/f$i.html"; done
t0=$(now)
"$cli" put --host 127.0.0.1 --port "$port" --user bench --remote-dir many "$work"/local/many/*.html >/dev/null
t1=$(now)
for f in "$work"/local/many/*.html; do
  curl -s -S --ftp-create-dirs -T "$f" -P 127.0.0.1 "$url/many-curl/"
done
t2=$(now)
[[ $(ls "$work/root/many" | wc -l) == 200 && $(ls "$work/root/many-curl" | wc -l) == 200 ]] ||
  { echo "not every small file arrived" >&2; exit 1; }
a=$(seconds "$t0" "$t1")
b=$(seconds "$t1" "$t2")
awk -v a="$a" -v b="$b" 'BEGIN {
  printf "tovra-cli %.2f s, 200 x curl %.2f s, ratio %.2f (target <= 1.00)\n", a, b, a / b }'

echo "== 3. peak memory storing 1 GiB"
head -c 1G /dev/zero >"$work/local/huge.bin"
if [[ -x /usr/bin/time ]]; then
  /usr/bin/time -f "%M" -o "$work/rss" \
    "$cli" put --host 127.0.0.1 --port "$port" --user bench --remote-dir . "$work/local/huge.bin" >/dev/null
else
  # Without GNU time: sample the high-water mark while the upload runs.
  "$cli" put --host 127.0.0.1 --port "$port" --user bench --remote-dir . "$work/local/huge.bin" >/dev/null &
  pid=$!
  peak=0
  while kill -0 "$pid" 2>/dev/null; do
    hwm=$(awk '/VmHWM/ { print $2 }' "/proc/$pid/status" 2>/dev/null || true)
    [[ -n $hwm && $hwm -gt $peak ]] && peak=$hwm
    sleep 0.05
  done
  wait "$pid"
  echo "$peak" >"$work/rss"
fi
[[ $(stat -c %s "$work/root/huge.bin") == $((1024 * 1024 * 1024)) ]] || { echo "1 GiB upload incomplete" >&2; exit 1; }
awk '{ printf "tovra-cli peak resident set: %.1f MiB (target < 30 MiB)\n", $1 / 1024 }' "$work/rss"
