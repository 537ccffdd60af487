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
# The tests' FTP server (raw-byte names); it stops when its stdin closes,
# so the fifo held open on fd 9 ends it with this script.
mkfifo "$work/keepalive"
/usr/bin/python3 tests/support/ftp_server.py "$work/remote" demo demo <"$work/keepalive" >"$work/port" &
server=$!
exec 9>"$work/keepalive"
trap 'exec 9>&-; kill $server 2>/dev/null; wait $server 2>/dev/null || true' EXIT
for _ in $(seq 100); do [[ -s "$work/port" ]] && break; sleep 0.1; done
port=$(awk '{print $2}' "$work/port")
[[ -n "$port" ]] || { echo "demo: the FTP server did not start" >&2; exit 1; }
echo "FTP server: 127.0.0.1:$port (remote root $work/remote)"

export TOVRA_APP_FOLDER="$work/app"
cli="$repo/build/src/cli/tovra-cli"
# A throw-away site: its password stays in its profile, never in the desktop's
# keyring. Pages in either encoding (the demo has a UTF-8 corner, 旅の記録), names in
# the server's: the local server announces UTF8, so every name arrives there
# readable in UTF-8, the Shift-JIS pages' ones too.
"$cli" site set "デモサイト" --yes "LocalRootDir=$work/site" WebHostName=127.0.0.1 \
  WebUserName=demo WebPasswd=demo "WebPort=$port" "WebURL=http://localhost/~demo/" \
  PageEncoding=auto RemoteNameEncoding=auto PasswordStore=file >/dev/null
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
  status=0
  "$cli" upload --site "デモサイト" --missing skip "${pages[@]}" | tee "$work/upload.out" || status=$?
  # The status memo's last line says how the run ended (in the terminal's
  # encoding; tovra-cli writes UTF-8 where the locale names none).
  done_line='転送完了'
  charmap=$(locale charmap 2>/dev/null || true)
  case "$charmap" in
    "" | UTF-8 | ANSI_X3.4-1968 | ASCII) ;;
    *) done_line=$(printf '%s' "$done_line" | iconv -f UTF-8 -t "$charmap") ;;
  esac
  if [[ $status -ne 0 || "$(tail -n 1 "$work/upload.out")" != "$done_line" ]]; then
    upload_failed=1
  fi
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
        try:
            shown = path.decode("utf-8")
        except UnicodeDecodeError:
            shown = path.decode("cp932", "replace")
        print("  /" + shown, os.path.getsize(os.path.join(folder, name)), "bytes")
PY
if [[ -n "${upload_failed:-}" ]]; then
  echo "demo: the upload did not end in 転送完了 (exit status $status); see the lines above" >&2
  exit 1
fi
