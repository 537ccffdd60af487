#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo need,
# and only those that are missing (apt-get update only when something is).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev googletest libgmock-dev libbenchmark-dev
  qt6-base-dev libgl-dev
  python3 python3-pyftpdlib
  clang libclang-rt-dev clang-format
  xvfb xauth fonts-noto-cjk qt6-translations-l10n
  curl lftp
  libssl-dev openssl vsftpd
  libssh-dev openssh-client openssh-server sshpass
  libsecret-1-dev gnome-keyring libsecret-tools dbus dbus-x11
  python3.11-doc
)
# The Debian package: shlibdeps, its checks, PNG icons, the toolkit's Japanese texts.
packages+=(dpkg-dev lintian desktop-file-utils librsvg2-bin man-db qt6-translations-l10n)
if [[ "${TOVRA_DEPS:-}" == "minimal" ]]; then
  packages=(build-essential cmake pkg-config libgtest-dev libbenchmark-dev python3-pyftpdlib libssl-dev libssh-dev libsecret-1-dev)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]} == 0)); then
  exit 0
fi
echo "Installing: ${missing[*]}"
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then sudo_cmd=(sudo); fi
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
