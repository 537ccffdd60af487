#!/usr/bin/env bash
# Benchmark of the check at the public address, against nginx on loopback:
#   1. the 1 065 files of the Python documentation (python3.11-doc, copied
#      with cp -rL): `tovra-cli verify --all` (every file fetched, its size
#      and SHA-256 compared with the local file) with Connections=1 and 4,
#      against `wget --mirror` of the same tree and against one `curl`
#      process fetching the same list over one connection (target: tovra at
#      most 1.5 x the faster of the two);
#   2. one 1 GiB file: the highest resident set size of tovra-cli while it
#      verifies it (target: under 30 MiB, the body is never held whole).
# usage: bench/verify_bench.sh [BUILD_DIR]
# Env: TOVRA_BENCH_DOCS (default /usr/share/doc/python3.11/html).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cli=$(cd "$build" 2>/dev/null && pwd)/src/cli/tovra-cli
[[ -x $cli ]] || { echo "build tovra-cli first: cmake --build $build --target tovra-cli" >&2; exit 2; }
docs=${TOVRA_BENCH_DOCS:-/usr/share/doc/python3.11/html}
[[ -d $docs ]] || { echo "$docs not found (apt-get install python3.11-doc)" >&2; exit 2; }
for tool in /usr/sbin/nginx wget curl /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "$tool is needed" >&2; exit 2; }
done

work=$(mktemp -d /tmp/tovra-verify-bench.XXXXXX)
chmod 755 "$work"
nginx_pid=
cleanup() {
  [[ -n $nginx_pid ]] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
free_port() { /usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

site=$work/site
cp -rL "$docs" "$site"
mkdir -p "$work/big" "$work/app" "$work/nginx"
truncate -s 1G "$work/big/big.bin"
port=$(free_port)
cat >"$work/nginx/nginx.conf" <<CONF
daemon off;
master_process off;
worker_processes 1;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log;
events { worker_connections 256; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  default_type application/octet-stream;
  keepalive_requests 100000;
  server {
    listen 127.0.0.1:$port;
    location /doc/ { alias $site/; }
    location /big/ { alias $work/big/; }
  }
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
nginx_pid=$!
for _ in $(seq 50); do (echo >"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done

export TOVRA_APP_FOLDER=$work/app
site_set() { "$cli" site set "$1" --yes "LocalRootDir=$2" "WebURL=$3" "Connections=$4" >/dev/null; }
site_set docs1 "$site" "http://127.0.0.1:$port/doc/" 1
site_set docs4 "$site" "http://127.0.0.1:$port/doc/" 4
site_set big "$work/big" "http://127.0.0.1:$port/big/" 1

files=$(cd "$site" && find . -type f | wc -l)
# The same list for curl: every file's address, percent-encoded as tovra does.
(cd "$site" && find . -type f -printf '%P\n') | /usr/bin/python3 -c '
import sys, urllib.parse
for line in sys.stdin:
    print("url = \"http://127.0.0.1:'"$port"'/doc/" + urllib.parse.quote(line.rstrip("\n")) + "\"")
    print("output = /dev/null")' >"$work/curl.cfg"

seconds() { local start end; start=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; end=$(date +%s.%N); echo "$end - $start" | bc; }
# Warm the page cache and nginx's open files once.
"$cli" verify --site docs1 --all >/dev/null || true
t_tovra1=$(seconds "$cli" verify --site docs1 --all)
t_tovra4=$(seconds "$cli" verify --site docs4 --all)
t_curl=$(seconds curl -s -K "$work/curl.cfg")
rm -rf "$work/mirror"
t_wget=$(seconds wget -q --mirror -np -nH -P "$work/mirror" "http://127.0.0.1:$port/doc/index.html")
mirrored=$(find "$work/mirror" -type f | wc -l)
"$cli" verify --site docs4 --all | tail -1

rss=$( { /usr/bin/time -f '%M' "$cli" verify --site big "$work/big/big.bin" >/dev/null; } 2>&1 | tail -1)
t_big=$(seconds "$cli" verify --site big "$work/big/big.bin")

best=$(echo "if ($t_curl < $t_wget) $t_curl else $t_wget" | bc)
printf 'files below the root: %d (wget --mirror fetched %d)\n' "$files" "$mirrored"
printf 'tovra-cli verify --all, Connections=1: %.2f s (%.2f x the faster of curl/wget)\n' "$t_tovra1" "$(echo "$t_tovra1 / $best" | bc -l)"
printf 'tovra-cli verify --all, Connections=4: %.2f s (%.2f x)\n' "$t_tovra4" "$(echo "$t_tovra4 / $best" | bc -l)"
printf 'curl -K (same list, one process):     %.2f s\n' "$t_curl"
printf 'wget --mirror:                         %.2f s\n' "$t_wget"
printf '1 GiB file: %.2f s, highest RSS %.1f MiB\n' "$t_big" "$(echo "$rss / 1024" | bc -l)"
