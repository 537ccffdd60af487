#!/usr/bin/env bash
# Transfer engine benchmark, every contender in the same run against the same
# server, each into a fresh empty remote root, the remote tree checked byte
# for byte after each:
#   1. across a distance: 200 small files in 10 folders through
#      latency-proxy.py (15 ms each way) in front of the control port:
#      tovra-cli with Connections=4 ReuseConnection=1 against
#      `lftp mirror -R` with its default settings (target: at most 0.3 x);
#   2. the same distance, one connection per file (a profile without extended
#      settings), on 40 of the files; with TOVRA_BASE_CLI set to a tovra-cli
#      built before the engine, that one runs the same files for comparison;
#   3. loopback without the proxy: 400 files in 20 folders, Connections=4
#      ReuseConnection=1 against `lftp mirror -R` (target: at most 1.0 x).
# The server is vsftpd when it can be started (as root, from the shared
# ftp-peers scripts), otherwise pyftpdlib with a thread per session.
# usage: bench/engine_bench.sh [BUILD_DIR]
# Env: TOVRA_LATENCY_PROXY (path of latency-proxy.py), TOVRA_FTP_PEERS (folder
#      of start-vsftpd.sh), TOVRA_BASE_CLI, TOVRA_BENCH_ROUNDS (default 1).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(cd "$build" 2>/dev/null && pwd)/src/cli/tovra-cli
[[ -x $cli ]] || { echo "build tovra-cli first: cmake --build $build --target tovra-cli" >&2; exit 2; }
command -v lftp >/dev/null || { echo "lftp is needed for the comparison" >&2; exit 2; }
proxy=${TOVRA_LATENCY_PROXY:-/work/shared/tools/latency-proxy.py}
[[ -f $proxy ]] || { echo "latency-proxy.py not found (TOVRA_LATENCY_PROXY)" >&2; exit 2; }
peers=${TOVRA_FTP_PEERS:-/work/shared/ftp-peers}
rounds=${TOVRA_BENCH_ROUNDS:-1}

work=$(mktemp -d /tmp/tovra-engine-bench.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [[ -f $work/vsftpd.pid ]] && "$peers/stop.sh" "$work/vsftpd.pid" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

root=$work/root
mkdir -p "$root" "$work/app"
chmod 755 "$root"
port=$(free_port)
server=pyftpdlib
if [[ $(id -u) == 0 && -x $peers/start-vsftpd.sh ]] && command -v vsftpd >/dev/null; then
  "$peers/start-vsftpd.sh" "$port" "$root" "$work/vsftpd.pid" >"$work/vsftpd.out" 2>&1 &
  for _ in $(seq 50); do (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
  if (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
    server=vsftpd
    user=web pass=pass
  fi
fi
if [[ $server == pyftpdlib ]]; then
  user=bench pass=secret
  exec {keep}< <(sleep infinity)
  /usr/bin/python3 tests/support/ftp_server.py "$root" "$user" "$pass" "$port" threaded <&$keep >"$work/port" &
  pids+=($!)
  for _ in $(seq 50); do [[ -s $work/port ]] && break; sleep 0.1; done
fi
far=$(free_port)
/usr/bin/python3 "$proxy" "$far" "$port" 15 &
pids+=($!)
sleep 0.5

# 20 folders of 20 small files each; the distance runs use the first 10.
/usr/bin/python3 - "$work" <<'PY'
import os, random, sys
work = sys.argv[1]
rng = random.Random(15)
for site, folders in (("far", 10), ("near", 20)):
    for i in range(folders):
        path = os.path.join(work, site, "part%02d" % i)
        os.makedirs(path)
        for n in range(20):
            with open(os.path.join(path, "file%02d.html" % n), "wb") as f:
                f.write(rng.randbytes(500 + rng.randrange(4000)))
mkdir = os.path.join(work, "few")
for i in range(4):
    path = os.path.join(work, "few", "part%02d" % i)
    os.makedirs(path)
    for n in range(10):
        with open(os.path.join(path, "file%02d.html" % n), "wb") as f:
            f.write(rng.randbytes(500 + rng.randrange(4000)))
PY

export TOVRA_APP_FOLDER=$work/app
# site NAME ROOT PORT [KEY=VALUE...]: a site for the contenders of tovra-cli.
site() {
  local name=$1 dir=$2 p=$3
  shift 3
  "$cli" site set "$name" --yes "LocalRootDir=$dir" WebHostName=127.0.0.1 "WebUserName=$user" \
    "WebPasswd=$pass" "WebPort=$p" "$@" >/dev/null 2>&1
}
# Strips the extended settings from a profile: the behaviour of a site saved before they existed.
plain_profile() {
  /usr/bin/python3 - "$work/app/$1.txt" <<'PY'
import sys
path = sys.argv[1]
data = open(path, "rb").read()
cut = data.find(b"[" + "拡張設定".encode("cp932") + b"]")
open(path, "wb").write(data[:cut] if cut >= 0 else data)
PY
}
site far4 "$work/far" "$far" Connections=4 ReuseConnection=1
site near4 "$work/near" "$port" Connections=4 ReuseConnection=1
site fewplain "$work/few" "$far"
plain_profile fewplain

empty_root() { find "$root" -mindepth 1 -delete; }
verify() {
  if ! diff -r -q "$2" "$root" >"$work/diff" 2>&1; then
    echo "$1: the remote tree differs from the local site:" >&2
    head -20 "$work/diff" >&2
    exit 1
  fi
}
now() { date +%s.%N; }
# timed LABEL SITE_DIR COMMAND...: one contender into a fresh root, checked.
timed() {
  local label=$1 dir=$2 t0 t1
  shift 2
  empty_root
  [[ $server == vsftpd ]] && chown web: "$root"
  t0=$(now)
  "$@" >"$work/$label.out" 2>&1 || { echo "$label failed:" >&2; tail -20 "$work/$label.out" >&2; exit 1; }
  t1=$(now)
  verify "$label" "$dir"
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }'
}
files_of() { find "$1" -type f | sort; }
tovra() { local s=$1 dir=$2; mapfile -t f < <(files_of "$dir"); "$cli" upload --site "$s" --missing skip "${f[@]}"; }
base() { local s=$1 dir=$2; mapfile -t f < <(files_of "$dir"); "$TOVRA_BASE_CLI" upload --site "$s" --missing skip "${f[@]}"; }
lftp_mirror() {
  lftp -c "open -u $user,$pass -p $1 127.0.0.1; mirror -R --no-perms '$2' /"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

echo "server: $server on 127.0.0.1:$port; latency proxy :$far, 15 ms each way; $rounds round(s)"
for round in $(seq "$rounds"); do
  a=$(timed tovra-far "$work/far" tovra far4 "$work/far")
  b=$(timed lftp-far "$work/far" lftp_mirror "$far" "$work/far")
  echo "distance, 200 files in 10 folders: tovra-cli (4 reused) ${a} s, lftp mirror -R ${b} s, ratio $(ratio "$a" "$b") (target <= 0.30)"
  c=$(timed tovra-plain "$work/few" tovra fewplain "$work/few")
  line="distance, 40 files, one connection per file: tovra-cli ${c} s"
  if [[ -n ${TOVRA_BASE_CLI:-} ]]; then
    d=$(timed base-plain "$work/few" base fewplain "$work/few")
    line+=", before the engine ${d} s, ratio $(ratio "$c" "$d") (target <= 1.0)"
  fi
  echo "$line"
  e=$(timed tovra-near "$work/near" tovra near4 "$work/near")
  f=$(timed lftp-near "$work/near" lftp_mirror "$port" "$work/near")
  echo "loopback, 400 files in 20 folders: tovra-cli (4 reused) ${e} s, lftp mirror -R ${f} s, ratio $(ratio "$e" "$f") (target <= 1.0)"
done
