#include "support/keyring_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <thread>

#include "platform/encoding.h"
#include "platform/files.h"

namespace tovra::test {

namespace {

// Inside the private bus: the keyring daemon, unlocked with "pw" on its
// standard input, and its process id. The session ends when the test
// closes the script's standard input.
constexpr char kScript[] = R"(dir="$1"
export XDG_DATA_HOME="$dir/data" XDG_RUNTIME_DIR="$dir/run" HOME="$dir"
printf pw | gnome-keyring-daemon --unlock --components=secrets >/dev/null || exit 1
owner() { dbus-send --session --print-reply --dest=org.freedesktop.DBus / \
  org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets 2>/dev/null |
  awk '/uint32/ {print $2}'; }
for i in $(seq 100); do pid=$(owner); [ -n "$pid" ] && break; sleep 0.05; done
[ -n "$pid" ] || exit 1
printf '%s %s\n' "$pid" "$DBUS_SESSION_BUS_ADDRESS" > "$dir/ready.tmp" && mv "$dir/ready.tmp" "$dir/ready"
read -r _
kill "$pid" 2>/dev/null
)";

bool OnPath(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Gone, or a zombie that no one reaps (the daemon detached from the session).
bool Exited(pid_t pid) {
  if (::kill(pid, 0) != 0 && errno == ESRCH) return true;
  std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(file, stat);
  const std::size_t end = stat.rfind(')');
  return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] == 'Z';
}

void WaitOrKill(pid_t pid, bool child) {
  for (int i = 0; i < 100; ++i) {
    if (child ? ::waitpid(pid, nullptr, WNOHANG) == pid : Exited(pid)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(child ? -pid : pid, SIGKILL);
  if (child) ::waitpid(pid, nullptr, 0);
}

}  // namespace

std::pair<int, std::string> RunTool(const std::vector<std::string>& argv) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return {-1, ""};
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0);
    ::dup2(out[1], 1);
    ::dup2(null, 2);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  ::close(out[1]);
  std::string text;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(out[0], buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) text.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return {-1, text};
  return {WEXITSTATUS(status), text};
}

KeyringSession::KeyringSession() {
  for (const char* tool : {"dbus-run-session", "gnome-keyring-daemon", "secret-tool", "dbus-send"}) {
    if (!OnPath(tool)) unavailable_ = std::string(tool) + " is not installed";
  }
  if (unavailable_.empty()) Start();
}

void KeyringSession::Start() {
  CreateDirectory(dir_.Sub("data"));
  CreateDirectory(dir_.Sub("run"));
  ::chmod(ToOsPath(dir_.Sub("run")).c_str(), 0700);
  const std::string script = ToOsPath(dir_.Write("session.sh", kScript));
  const std::string folder = ToOsPath(dir_.Path());
  const std::string log = ToOsPath(dir_.Sub("session.log"));
  int in[2];
  if (::pipe2(in, O_CLOEXEC) != 0) {
    unavailable_ = "no pipe for the keyring session";
    return;
  }
  sessionPid_ = ::fork();
  if (sessionPid_ == 0) {
    ::setpgid(0, 0);
    const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(in[0], 0);
    ::dup2(logFd, 1);
    ::dup2(logFd, 2);
    ::execlp("dbus-run-session", "dbus-run-session", "--", "/bin/sh", script.c_str(), folder.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(in[0]);
  holdFd_ = in[1];
  for (int i = 0; i < 500 && !FileExists(dir_.Sub("ready")); ++i) {
    if (::waitpid(sessionPid_, nullptr, WNOHANG) == sessionPid_) {
      sessionPid_ = -1;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!FileExists(dir_.Sub("ready"))) {
    unavailable_ = "the keyring session did not start: " + ReadFileBytes(dir_.Sub("session.log"));
    return;
  }
  const std::string ready = ReadFileBytes(dir_.Sub("ready"));
  daemonPid_ = static_cast<pid_t>(std::stoi(ready));
  address_ = ready.substr(ready.find(' ') + 1);
  if (!address_.empty() && address_.back() == '\n') address_.pop_back();
  busVariable_.emplace("DBUS_SESSION_BUS_ADDRESS", address_);
}

KeyringSession::~KeyringSession() {
  busVariable_.reset();
  if (holdFd_ >= 0) ::close(holdFd_);
  if (sessionPid_ > 0) WaitOrKill(sessionPid_, true);
  if (daemonPid_ > 0) WaitOrKill(daemonPid_, false);
}

std::optional<std::string> KeyringSession::Lookup(const std::string& site, const std::string& field) const {
  auto [status, out] =
      RunTool({"secret-tool", "lookup", "application", "tovra", "site", Cp932ToUtf8(site), "field", field});
  if (status != 0) return std::nullopt;
  return Utf8ToCp932(out);
}

int KeyringSession::ItemCount(const std::string& site) const {
  auto [status, out] = RunTool({"secret-tool", "search", "--all", "application", "tovra", "site", Cp932ToUtf8(site)});
  // Each item opens with its object path ("[/org/...]"); its attributes go to stderr.
  int count = 0;
  for (std::size_t at = out.find("[/"); at != std::string::npos; at = out.find("\n[/", at + 1)) ++count;
  return status == 0 ? count : 0;
}

bool KeyringSession::Lock() const {
  return RunTool({"dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.secrets",
                  "/org/freedesktop/secrets", "org.freedesktop.Secret.Service.Lock",
                  "array:objpath:/org/freedesktop/secrets/collection/login"})
             .first == 0;
}

}  // namespace tovra::test
