#!/usr/bin/env bash
# Publish benchmark: the Python documentation (python3.11-doc, about a
# thousand files) published to vsftpd behind the latency proxy at 15 ms each
# way, all contenders in the same run, each into a fresh empty remote root:
#   - tovra-cli publish with Connections=4 and with Connections=8, first
#     publish (against lftp mirror -R --parallel=4 and --parallel=8);
#   - a second publish with nothing changed (against lftp's no-change mirror
#     and, where rclone is installed, its no-change copy);
#   - a publish with one changed file;
#   - the plan of a 100 000-file site with nothing changed, against find
#     over the same tree (no server involved).
# After every full send the remote tree must equal the local one.
# usage: bench/publish_bench.sh [BUILD_DIR]   (needs root, vsftpd and lftp)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(cd "$build" 2>/dev/null && pwd)/src/cli/tovra-cli
[[ -x $cli ]] || { echo "build tovra-cli first: cmake --build $build --target tovra-cli" >&2; exit 2; }
docs=/usr/share/doc/python3.11/html
[[ -d $docs ]] || { echo "apt-get install python3.11-doc first" >&2; exit 2; }
command -v lftp >/dev/null || { echo "lftp is needed for the comparison" >&2; exit 2; }
proxy=${TOVRA_LATENCY_PROXY:-$(pwd)/../shared/tools/latency-proxy.py}
[[ -f $proxy ]] || proxy=/work/shared/tools/latency-proxy.py
[[ -f $proxy ]] || { echo "latency-proxy.py not found (set TOVRA_LATENCY_PROXY)" >&2; exit 2; }

work=$(mktemp -d /tmp/tovra-publish-bench.XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
site=$work/site
root=$work/root
mkdir -p "$site" "$root" "$work/app"
cp -rL "$docs/." "$site/"
files=$(find "$site" -type f | wc -l)
bytes=$(du -sb "$site" | cut -f1)

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
ftp_port=$(free_port)
FTP_PEERS_STATE_BASE=$work tests/support/vsftpd/start-vsftpd.sh "$ftp_port" "$root" "$work/vsftpd.pid" \
  >"$work/vsftpd.start" 2>&1 || { cat "$work/vsftpd.start" >&2; exit 1; }
pids+=("$(cat "$work/vsftpd.pid")")
port=$(free_port)
python3 "$proxy" "$port" "$ftp_port" 15 >"$work/proxy.log" 2>&1 &
pids+=($!)
sleep 0.5

export TOVRA_APP_FOLDER=$work/app
"$cli" site set bench --yes "LocalRootDir=$site" WebHostName=127.0.0.1 WebUserName=web WebPasswd=pass \
  "WebPort=$port" Encryption=none >/dev/null
record=$work/app/bench.publish

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
empty_root() {
  find "$root" -mindepth 1 -delete
  rm -f "$record"
}
verify() {
  diff -r -q "$site" "$root" >"$work/diff" 2>&1 || {
    echo "$1: the remote tree differs from the local site:" >&2
    head -20 "$work/diff" >&2
    exit 1
  }
}
publish() { "$cli" publish --site bench --yes >"$work/publish.out" 2>&1 || { tail -20 "$work/publish.out" >&2; exit 1; }; }
lftp_mirror() {
  lftp -c "set ftp:ssl-allow no; set ftp:passive-mode on; open -u web,pass -p $port 127.0.0.1;
           mirror -R --no-perms --parallel=$1 '$site' /" >"$work/lftp.out" 2>&1 ||
    { tail -20 "$work/lftp.out" >&2; exit 1; }
}

echo "site: $files files, $bytes bytes; vsftpd behind a 15 ms (each way) proxy"
ok=1
check() {  # name value limit
  if awk -v v="$2" -v l="$3" 'BEGIN { exit !(v <= l) }'; then echo "  $1: $2 (target <= $3) met"; else
    echo "  $1: $2 (target <= $3) MISSED"
    ok=0
  fi
}
for n in 4 8; do
  "$cli" site set bench --yes "Connections=$n" >/dev/null
  empty_root
  t=$(now); publish; tovra=$(elapsed "$t"); verify "publish Connections=$n"
  empty_root
  t=$(now); lftp_mirror "$n"; lftp=$(elapsed "$t"); verify "lftp --parallel=$n"
  ratio=$(awk -v a="$tovra" -v b="$lftp" 'BEGIN { printf "%.2f", a / b }')
  echo "first publish, $n connections: tovra-cli $tovra s, lftp mirror -R --parallel=$n $lftp s, ratio $ratio"
  check "ratio to lftp" "$ratio" 0.4
done
# The root now holds lftp's copy; publish once so the record matches it.
rm -f "$record"
publish
t=$(now); publish; again=$(elapsed "$t")
t=$(now); lftp_mirror 8; lftp_again=$(elapsed "$t")
rclone_again=""
if command -v rclone >/dev/null; then
  remote=":ftp,host=127.0.0.1,port=$port,user=web,pass=$(rclone obscure pass):/"
  # Once to settle what rclone compares by, then the run that is timed. Dot
  # files are left out: vsftpd's listing hides them, so rclone cannot find
  # them again once sent.
  rclone_copy() { rclone copy --transfers 8 --exclude '.*' "$site" "$remote" >"$work/rclone.out" 2>&1; }
  rclone_copy || { tail -5 "$work/rclone.out" >&2; exit 1; }
  t=$(now); rclone_copy; rclone_again=", rclone copy $(elapsed "$t") s"
fi
echo "second publish, nothing changed: tovra-cli $again s, lftp mirror $lftp_again s$rclone_again"
check "no-change publish (s)" "$again" 1
one=$(find "$site" -name "*.html" -print -quit)
echo "<!-- changed -->" >>"$one"
t=$(now); publish; changed=$(elapsed "$t"); verify "one changed file"
echo "one changed file: tovra-cli $changed s"
check "one changed file (s)" "$changed" 2

# The plan of a large site: 100 000 files in 1 000 folders, nothing changed.
big=$work/big
python3 - "$big" <<'PY'
import os, sys
root = sys.argv[1]
for d in range(1000):
    folder = os.path.join(root, "d%03d" % d)
    os.makedirs(folder)
    for f in range(100):
        with open(os.path.join(folder, "f%03d.txt" % f), "w") as out:
            out.write("%d %d\n" % (d, f))
PY
"$cli" site set big --yes "LocalRootDir=$big" WebHostName=127.0.0.1 WebUserName=web WebPasswd=pass \
  "WebPort=$port" >/dev/null
t=$(now); "$cli" publish --site big --dry-run >/dev/null; first_plan=$(elapsed "$t")
# Record everything as published without a server: the dry run's hashes are
# not kept, so the record is made from the files' own stat and digest.
python3 - "$big" "$work/app/big.publish" <<'PY'
import hashlib, os, sys
root, out = sys.argv[1], sys.argv[2]
lines = ["tovra publish record 1"]
for d in sorted(os.listdir(root)):
    for f in sorted(os.listdir(os.path.join(root, d))):
        p = os.path.join(root, d, f)
        st = os.stat(p)
        digest = hashlib.sha256(open(p, "rb").read()).hexdigest()
        lines.append("F\t%s/%s\t%d\t%d\t%s\t%s" % (d, f, st.st_size, int(st.st_mtime), digest, f))
open(out, "w").write("\n".join(lines) + "\n")
PY
sync
find "$big" -type f >/dev/null
# The best of three runs each, so a moment's load on the machine weighs on neither.
least() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }
find_time=""
plan_time=""
for _ in 1 2 3; do
  t=$(now); find "$big" -type f -printf '%s %T@\n' >/dev/null; find_time=$(least "$find_time" "$(elapsed "$t")")
  t=$(now); "$cli" publish --site big --dry-run >"$work/big.out"; plan_time=$(least "$plan_time" "$(elapsed "$t")")
done
grep -q "変更なし 100000 件" <(iconv -f utf-8 -t utf-8 "$work/big.out") || { echo "the big plan is not all unchanged:" >&2; tail -2 "$work/big.out" >&2; exit 1; }
ratio=$(awk -v a="$plan_time" -v b="$find_time" 'BEGIN { printf "%.2f", a / b }')
echo "plan of 100000 unchanged files: $plan_time s (no record: $first_plan s); find -printf size,time $find_time s; ratio $ratio"
check "plan / find" "$ratio" 1.5
((ok)) && echo "all targets met" || { echo "some targets missed"; exit 1; }
