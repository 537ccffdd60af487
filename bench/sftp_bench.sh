#!/usr/bin/env bash
# SFTP benchmark against OpenSSH's own sftp client, in the same run, to an
# sshd on loopback (bench/loopback_sshd.sh; needs root):
#   - one 200 MiB file: tovra-cli put --sftp against `sftp -b` with one put;
#     target: tovra-cli's throughput at least 0.8 x sftp's;
#   - 400 small files in 20 folders: tovra-cli upload of a site with
#     Protocol=sftp and one reused session (TOVRA_BENCH_CONNECTIONS sets
#     more), against one `sftp -b` batch session that makes the folders and
#     puts every file; target: at most 1.0 x its time.
# Every result is compared byte for byte. The median of several rounds counts.
# usage: bench/sftp_bench.sh [BUILD_DIR]   (tovra-cli must be built there)
#        TOVRA_BENCH_ROUNDS=n sets the number of rounds (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(cd "$build" 2>/dev/null && pwd)/src/cli/tovra-cli
[[ -x $cli ]] || { echo "build tovra-cli first: cmake --build $build --target tovra-cli" >&2; exit 2; }
command -v sshpass >/dev/null || { echo "sshpass is needed for the comparison" >&2; exit 2; }

source bench/loopback_sshd.sh
make_work_folder tovra-sftp-bench
site=$work/site
root=$work/root
mkdir -p "$site" "$root" "$work/app"
start_sshd "$root"

head -c $((200 << 20)) /dev/urandom >"$work/big.bin"
# 20 folders (10 with one sub-folder each), 20 files each, 600 B to 3.6 kB.
/usr/bin/python3 - "$site" <<'PY'
import os, random, sys
rng = random.Random(20)
for i in range(1, 11):
    for folder in ("part%02d" % i, "part%02d/photos" % i):
        os.makedirs(os.path.join(sys.argv[1], folder))
        for n in range(1, 21):
            with open(os.path.join(sys.argv[1], folder, "file%02d.html" % n), "wb") as f:
                f.write(rng.randbytes(600 + rng.randrange(3000)))
PY
mapfile -t files < <(cd "$site" && find . -type f | sed 's|^\./||' | sort)
((${#files[@]} == 400)) || { echo "the site has ${#files[@]} files, not 400" >&2; exit 1; }
{
  for d in $(cd "$site" && find . -mindepth 1 -type d | sed 's|^\./||' | sort); do echo "mkdir $d"; done
  for f in "${files[@]}"; do echo "put $site/$f $f"; done
} >"$work/small.batch"
echo "put $work/big.bin big.bin" >"$work/big.batch"

absolute=()
for f in "${files[@]}"; do absolute+=("$site/$f"); done
export TOVRA_APP_FOLDER=$work/app TOVRA_PASSWORD=$sshd_password
"$cli" site set bench --yes "LocalRootDir=$site" WebHostName=127.0.0.1 "WebUserName=$sshd_user" \
  "WebPasswd=$sshd_password" "WebPort=$port" Protocol=sftp "HostKeySha256=$fingerprint" ReuseConnection=1 \
  "Connections=${TOVRA_BENCH_CONNECTIONS:-1}" >/dev/null

empty_root() { find "$root" -mindepth 1 -delete; }
fail() { echo "$1 failed:" >&2; tail -20 "$work/out" >&2; exit 1; }
run_big_tovra() {
  "$cli" put --sftp --host 127.0.0.1 --port "$port" --user "$sshd_user" --pin "$fingerprint" \
    --remote-dir . "$work/big.bin" >"$work/out" 2>&1 || fail "tovra-cli put"
}
run_big_sftp() { openssh_sftp -b "$work/big.batch" >"$work/out" 2>&1 || fail "sftp -b"; }
run_small_tovra() {
  "$cli" upload --site bench --only --missing skip "${absolute[@]}" >"$work/out" 2>&1 || fail "tovra-cli upload"
}
run_small_sftp() { openssh_sftp -b "$work/small.batch" >"$work/out" 2>&1 || fail "sftp -b"; }
verify_big() { cmp -s "$work/big.bin" "$root/big.bin" || { echo "$1: big.bin differs" >&2; exit 1; }; }
verify_small() { diff -r -q "$site" "$root" >/dev/null || { echo "$1: the remote tree differs" >&2; exit 1; }; }

now() { date +%s.%N; }
timed() {  # timed big|small tovra|sftp
  local t0 t1
  empty_root
  t0=$(now)
  "run_$1_$2"
  t1=$(now)
  "verify_$1" "$2"
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }' | tee -a "$work/$1_$2.times"
}
median() { sort -n "$work/$1.times" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

rounds=${TOVRA_BENCH_ROUNDS:-3}
echo "sshd 127.0.0.1:$port; $rounds rounds; times in seconds"
printf '%-6s %12s %12s %12s %12s\n' round "200MiB tovra" "200MiB sftp" "400 tovra" "400 sftp -b"
for round in $(seq "$rounds"); do
  declare -A t=()
  for c in tovra sftp; do
    if ((round % 2 == 0)); then c=$([[ $c == tovra ]] && echo sftp || echo tovra); fi
    t[big_$c]=$(timed big "$c")
    t[small_$c]=$(timed small "$c")
  done
  printf '%-6s %12s %12s %12s %12s\n' "$round" "${t[big_tovra]}" "${t[big_sftp]}" "${t[small_tovra]}" "${t[small_sftp]}"
done
bt=$(median big_tovra) bs=$(median big_sftp) st=$(median small_tovra) ss=$(median small_sftp)
printf '%-6s %12s %12s %12s %12s\n' median "$bt" "$bs" "$st" "$ss"
ratio=$(awk -v t="$bt" -v s="$bs" 'BEGIN { printf "%.2f", s / t }')
small=$(awk -v t="$st" -v s="$ss" 'BEGIN { printf "%.2f", t / s }')
echo "200 MiB: tovra-cli $(awk -v t="$bt" 'BEGIN { printf "%.0f", 200 / t }') MiB/s, sftp $(awk -v s="$bs" 'BEGIN { printf "%.0f", 200 / s }') MiB/s: ${ratio} x sftp's throughput (target >= 0.8)"
echo "400 files: tovra-cli ${small} x the sftp -b session's time (target <= 1.0)"
awk -v r="$ratio" -v s="$small" 'BEGIN { exit !(r >= 0.8 && s <= 1.0) }' && echo "targets met" || {
  echo "target missed"
  exit 1
}
