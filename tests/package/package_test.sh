#!/usr/bin/env bash
# The Debian package as a user gets it: built by scripts/package.sh, checked
# by lintian and desktop-file-validate, unpacked with dpkg -x into a
# throw-away root, and its tovra-cli run from there by a user whose data
# lives in ~/.local/share/tovra: version, where, site set and an upload to
# a local FTP server, the bash completion and the manual pages.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$(pwd)
export LC_ALL=C.UTF-8

deb=$(scripts/package.sh | tail -n 1)
version=$(sed -n 's/^project(Tovra VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d /tmp/tovra-package-XXXXXX)
server_pid=
cleanup() {
  if [[ -n $server_pid ]]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
expect_eq() { [[ $2 == "$3" ]] || fail "$1: got '$2', expected '$3'"; }

# The package's own checks.
lintian_out=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
[[ -n $lintian_out ]] && echo "$lintian_out"
grep -q '^E:' <<<"$lintian_out" && fail "lintian reports errors"
expect_eq "file name" "$(basename "$deb")" "tovra_${version}_$(dpkg --print-architecture).deb"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libstdc++6 libqt6widgets6 qt6-translations-l10n; do
  [[ $depends == *"$needed"* ]] || fail "Depends lacks $needed: $depends"
done

root=$work/root
dpkg -x "$deb" "$root"
for file in usr/bin/tovra usr/bin/tovra-cli usr/share/applications/tovra.desktop \
  usr/share/icons/hicolor/scalable/apps/tovra.svg usr/share/man/man1/tovra.1.gz \
  usr/share/man/man1/tovra-cli.1.gz usr/share/bash-completion/completions/tovra-cli \
  usr/share/doc/tovra/copyright usr/share/doc/tovra/changelog.gz; do
  [[ -f $root/$file ]] || fail "missing from the package: $file"
done
desktop-file-validate "$root/usr/share/applications/tovra.desktop" || fail "desktop entry rejected"
grep -q '^Name\[ja\]=' "$root/usr/share/applications/tovra.desktop" || fail "desktop entry has no Japanese name"
# Each PNG is as large as the folder it is in says.
/usr/bin/python3 - "$root/usr/share/icons/hicolor" <<'PY' || fail "PNG icons"
import os, struct, sys
found = 0
for size in os.listdir(sys.argv[1]):
    path = os.path.join(sys.argv[1], size, "apps", "tovra.png")
    if not os.path.exists(path):
        continue
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path
    w, h = struct.unpack(">II", head[16:24])
    assert size == "%dx%d" % (w, h), (path, w, h)
    found += 1
assert found >= 4, "only %d PNG sizes" % found
PY
for page in tovra tovra-cli; do
  warnings=$(man --warnings -l "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null || true)
  [[ -z $warnings ]] || fail "manual page $page: $warnings"
done
man -l "$root/usr/share/man/man1/tovra-cli.1.gz" 2>/dev/null | grep -q 'local/share/tovra' ||
  fail "tovra-cli(1) does not tell where the data lives"

# A user of the unpacked program: no TOVRA_APP_FOLDER, a home of their own.
home=$work/home
mkdir -p "$home"
cli=$root/usr/bin/tovra-cli
as_user() { env -u TOVRA_APP_FOLDER -u XDG_DATA_HOME HOME="$home" "$@"; }
expect_eq "--version" "$(as_user "$cli" --version)" "tovra-cli $version"
where=$(as_user "$cli" where)
expect_eq "where" "$(head -n 1 <<<"$where")" "$home/.local/share/tovra"
expect_eq "data folder mode" "$(stat -c %a "$home/.local/share/tovra")" 700

remote=$work/remote
mkdir -p "$remote"
cp -r demo/site "$work/site"
coproc server { exec /usr/bin/python3 "$repo/tests/support/ftp_server.py" "$remote" tovra secret; }
server_pid=$server_PID
read -r -t 10 word port <&"${server[0]}" || true
[[ ${word:-} == PORT ]] || {
  fail "the FTP server did not start"
  exit 1
}
site="マイサイト"
as_user "$cli" site set "$site" --yes "LocalRootDir=$work/site" WebHostName=127.0.0.1 WebUserName=tovra \
  WebPasswd=secret "WebPort=$port" WebURL=http://localhost/ >/dev/null || fail "site set"
[[ -f $home/.local/share/tovra/$site.txt ]] || fail "the profile is not in the user's data folder"
expect_eq "sites" "$(as_user "$cli" sites | head -n 1)" "$site"
as_user "$cli" upload --site "$site" --missing skip "$work/site/index.html" >"$work/upload.log" 2>&1 ||
  fail "upload: $(cat "$work/upload.log")"
for file in index.html style.css img/logo.gif; do
  cmp -s "$work/site/$file" "$remote/$file" || fail "uploaded $file differs or is missing"
done

# The installed completion, run with the installed program.
completion=$(
  # shellcheck source=/dev/null
  source "$root/usr/share/bash-completion/completions/tovra-cli"
  COMP_WORDS=("$cli" upload --site "マ")
  COMP_CWORD=3
  HOME=$home
  unset TOVRA_APP_FOLDER XDG_DATA_HOME
  _tovra_cli
  echo "${COMPREPLY[*]}"
)
expect_eq "completion of --site" "$completion" "$site"

if ((failures > 0)); then
  echo "package test: $failures failure(s)"
  exit 1
fi
echo "package test: $(basename "$deb") passes"
