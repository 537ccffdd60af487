#!/usr/bin/env bash
# Upload benchmark: a synthetic site of 400 small files in 20 folders (pages,
# some of them referencing pictures, and pictures) uploaded to pyftpdlib on
# loopback by
#   - tovra-cli upload (one connection per file, the way the window uploads),
#   - one curl process per file (active mode, -P 127.0.0.1, --ftp-create-dirs),
#   - lftp mirror -R over one reused connection (for information only),
# each into a fresh empty remote root, several rounds in the same run. After
# every contender the remote tree must equal the local site byte for byte.
# Target: tovra-cli takes at most the time of the curl loop (median of rounds).
# usage: bench/upload_bench.sh [BUILD_DIR]   (tovra-cli must be built there)
#        TOVRA_BENCH_ROUNDS=n sets the number of rounds (default 3).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(cd "$build" 2>/dev/null && pwd)/src/cli/tovra-cli
[[ -x $cli ]] || { echo "build tovra-cli first: cmake --build $build --target tovra-cli" >&2; exit 2; }
command -v curl >/dev/null || { echo "curl is needed for the comparison" >&2; exit 2; }
have_lftp=0
command -v lftp >/dev/null && have_lftp=1

source bench/loopback_ftp.sh
make_work_folder tovra-upload-bench
site=$work/site
root=$work/root
mkdir -p "$site" "$root" "$work/app"
start_ftp_server "$root"

# --- the synthetic site: 10 top folders, each with one sub-folder, 20 files
# per folder (12 pages, 8 pictures). Every third page shows two pictures of
# its folder, so the dependency step finds work (all of it already listed).
/usr/bin/python3 - "$site" <<'PY'
import base64, os, random, sys
site = sys.argv[1]
rng = random.Random(20)
for i in range(1, 11):
    for folder in ("part%02d" % i, "part%02d/photos" % i):
        path = os.path.join(site, folder)
        os.makedirs(path)
        for p in range(1, 9):
            with open(os.path.join(path, "pic%02d.gif" % p), "wb") as f:
                f.write(rng.randbytes(600 + rng.randrange(3000)))
        for n in range(1, 13):
            lines = ["<html>", "<head>", "<title>page %d of %s</title>" % (n, folder), "</head>", "<body>"]
            if n % 3 == 0:
                lines += ['<img src="pic%02d.gif">' % (n % 8 + 1), '<img src="pic%02d.gif">' % ((n + 3) % 8 + 1)]
            for _ in range(5 + rng.randrange(20)):
                lines.append("<p>%s</p>" % base64.b64encode(rng.randbytes(45)).decode())
            lines += ["</body>", "</html>", ""]
            with open(os.path.join(path, "page%02d.html" % n), "wb") as f:
                f.write("\r\n".join(lines).encode())
PY
mapfile -t files < <(cd "$site" && find . -type f | sed 's|^\./||' | sort)
((${#files[@]} == 400)) || { echo "the synthetic site has ${#files[@]} files, not 400" >&2; exit 1; }
bytes=$(cd "$site" && cat "${files[@]}" | wc -c)

export TOVRA_APP_FOLDER=$work/app
"$cli" site set bench --yes "LocalRootDir=$site" WebHostName=127.0.0.1 WebUserName=bench \
  WebPasswd=secret "WebPort=$port" >/dev/null 2>&1
absolute=()
for f in "${files[@]}"; do absolute+=("$site/$f"); done

empty_root() { find "$root" -mindepth 1 -delete; }
# The remote tree must hold exactly the local files, byte for byte.
verify() {
  if ! diff -r -q "$site" "$root" >"$work/diff" 2>&1; then
    echo "$1: the remote tree differs from the local site:" >&2
    head -20 "$work/diff" >&2
    exit 1
  fi
}

run_tovra() {
  "$cli" upload --site bench --missing skip "${absolute[@]}" >"$work/tovra.out" 2>&1 ||
    { echo "tovra-cli upload failed:" >&2; tail -20 "$work/tovra.out" >&2; exit 1; }
}
run_curl() {
  local f
  for f in "${files[@]}"; do
    curl -s -S -T "$site/$f" --ftp-create-dirs -P 127.0.0.1 "$url/${f%/*}/" ||
      { echo "curl failed on $f" >&2; exit 1; }
  done
}
run_lftp() {
  lftp -c "set ftp:ssl-allow no; set ftp:passive-mode off; set ftp:port-ipv4 127.0.0.1;
            open -u bench,secret -p $port 127.0.0.1; mirror -R --no-perms '$site' /" >"$work/lftp.out" 2>&1 ||
    { echo "lftp failed:" >&2; tail -20 "$work/lftp.out" >&2; exit 1; }
}

now() { date +%s.%N; }
# Times one contender into a fresh empty remote root and checks its result.
timed() {
  local t0 t1
  empty_root
  t0=$(now)
  "run_$1"
  t1=$(now)
  verify "$1"
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f\n", b - a }' | tee -a "$work/$1.times"
}

contenders=(tovra curl)
((have_lftp)) && contenders+=(lftp)
rounds=${TOVRA_BENCH_ROUNDS:-3}
echo "site: 400 files in 20 folders, $bytes bytes; server pyftpdlib 127.0.0.1:$port; $rounds rounds"
printf '%-6s %10s %10s %10s %8s\n' round tovra-cli "curl x400" lftp tovra/curl
for round in $(seq "$rounds"); do
  declare -A t=([lftp]=-)
  # Rotate the order so no contender always runs on a warmer machine.
  for ((k = 0; k < ${#contenders[@]}; k++)); do
    c=${contenders[(k + round - 1) % ${#contenders[@]}]}
    t[$c]=$(timed "$c")
  done
  printf '%-6s %10s %10s %10s %8s\n' "$round" "${t[tovra]}" "${t[curl]}" "${t[lftp]}" \
    "$(awk -v a="${t[tovra]}" -v b="${t[curl]}" 'BEGIN { printf "%.2f", a / b }')"
done
median() { sort -n "$work/$1.times" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
a=$(median tovra)
b=$(median curl)
l=-
((have_lftp)) && l=$(median lftp)
printf '%-6s %10s %10s %10s %8s\n' median "$a" "$b" "$l" "$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')"
if awk -v a="$a" -v b="$b" 'BEGIN { exit !(a <= b) }'; then
  echo "target met: tovra-cli median $a s <= curl loop median $b s"
else
  echo "target missed: tovra-cli median $a s > curl loop median $b s"
  exit 1
fi
