#!/usr/bin/env bash
# The demo: installs what is missing, builds, starts a throw-away FTP server
# on loopback, makes a site profile for the bundled demo site pointing at it,
# and uploads the demo site's pages with their dependencies. With a display
# it opens the desktop application on that site instead (upload from there);
# without one it runs the upload with tovra-cli and prints the remote tree.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target tovra-cli $( [[ -n "${DISPLAY:-}" ]] && echo tovra )

work=$(mktemp -d /tmp/tovra-demo-XXXXXX)
mkdir -p "$work/app" "$work/remote"
cp -r demo/site "$work/site"
/usr/bin/python3 scripts/local_ftp_server.py "$work/remote" "$work/port" demo demo &
server=$!
trap 'kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 50); do [[ -s "$work/port" ]] && break; sleep 0.1; done
port=$(cat "$work/port")
echo "FTP server: 127.0.0.1:$port (remote root $work/remote)"

export TOVRA_APP_FOLDER="$work/app"
cli="$repo/build/src/cli/tovra-cli"
"$cli" site set "デモサイト" --yes "LocalRootDir=$work/site" WebHostName=127.0.0.1 \
  WebUserName=demo WebPasswd=demo "WebPort=$port" "WebURL=http://localhost/~demo/" >/dev/null
echo "Site profile:"
"$cli" site show "デモサイト"
echo

if [[ -n "${DISPLAY:-}" && -x build/src/app/tovra ]]; then
  echo "Opening the window: pick pages in the file list and press the upload button."
  build/src/app/tovra
else
  pages=()
  while IFS= read -r -d '' page; do pages+=("$page"); done < <(find "$work/site" -name '*.htm*' -print0 | sort -z)
  echo "Uploading the pages: ${pages[*]#$work/site/}"
  "$cli" upload --site "デモサイト" --missing skip "${pages[@]}" || true
fi
echo
echo "Remote tree:"
/usr/bin/python3 - "$work/remote" <<'PY'
import os, sys
root = sys.argv[1].encode()
for folder, dirs, files in sorted(os.walk(root)):
    dirs.sort()
    rel = os.path.relpath(folder, root)
    for name in sorted(files):
        path = os.path.normpath(os.path.join(rel, name))
        shown = path.decode("cp932", "replace")
        print("  /" + shown, os.path.getsize(os.path.join(folder, name)), "bytes")
PY
