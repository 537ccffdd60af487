# Shared by the SFTP benchmark, sourced from the top of the source tree: a
# scratch folder and OpenSSH's sshd on loopback with a throw-away host key,
# serving a login folder to the test user (made once, as the SFTP tests make
# it) with a password. Needs root. Both go when the script exits.

sshd_user=tovrasftp
sshd_password=Sftp-Test-8k3

# Sets $work to a new scratch folder named $1-XXXXXX, readable by the user.
make_work_folder() {
  local base=/tmp
  [[ -d /dev/shm && -w /dev/shm ]] && base=/dev/shm
  work=$(mktemp -d "$base/$1-XXXXXX")
  chmod 755 "$work"
  trap remove_work_folder EXIT
}

# Serves folder $1 as the login folder; sets $port and $fingerprint.
start_sshd() {
  [[ $(id -u) -eq 0 ]] || { echo "the SFTP benchmark starts sshd for a test user and needs root" >&2; exit 2; }
  [[ -x /usr/sbin/sshd ]] || { echo "no /usr/sbin/sshd (openssh-server)" >&2; exit 2; }
  id "$sshd_user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$sshd_user"
  echo "$sshd_user:$sshd_password" | chpasswd
  mkdir -p /run/sshd "$work/sshd"
  chown "$sshd_user:" "$1"
  ssh-keygen -q -t ed25519 -N '' -f "$work/sshd/host_ed25519"
  fingerprint=$(ssh-keygen -l -E sha256 -f "$work/sshd/host_ed25519.pub" | awk '{print $2}')
  port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  cat >"$work/sshd/config" <<CONF
ListenAddress 127.0.0.1
Port $port
HostKey $work/sshd/host_ed25519
PidFile none
StrictModes no
UsePAM no
PasswordAuthentication yes
KbdInteractiveAuthentication no
PermitRootLogin no
AllowUsers $sshd_user
MaxStartups 50
Subsystem sftp internal-sftp
ForceCommand internal-sftp -d $1
CONF
  /usr/sbin/sshd -D -f "$work/sshd/config" -E "$work/sshd/log" &
  server=$!
  for _ in $(seq 100); do
    [[ $(timeout 1 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port && head -c 4 <&3" 2>/dev/null) == SSH- ]] && return 0
    sleep 0.1
  done
  echo "sshd did not start:" >&2
  cat "$work/sshd/log" >&2
  exit 1
}

remove_work_folder() {
  if [[ -n ${server:-} ]]; then
    kill "$server" 2>/dev/null || true
    wait "$server" 2>/dev/null || true
  fi
  rm -rf "$work"
}

# OpenSSH's sftp in batch mode with the password from sshpass, the host key
# pinned through a known_hosts file of the run's own.
openssh_sftp() {
  echo "[127.0.0.1]:$port $(cat "$work/sshd/host_ed25519.pub")" >"$work/known_hosts"
  sshpass -p "$sshd_password" sftp -q -o BatchMode=no -o UserKnownHostsFile="$work/known_hosts" \
    -o StrictHostKeyChecking=yes -P "$port" "$@" "$sshd_user@127.0.0.1"
}
