#include "support/sshd_server.h"

#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "platform/encoding.h"

namespace tovra::test {

namespace {

constexpr const char* kSshd = "/usr/sbin/sshd";
constexpr const char* kUser = "tovrasftp";
constexpr const char* kPassword = "Sftp-Test-8k3";

// Runs a shell command; its output, or an exception when it fails.
std::string Run(const std::string& command) {
  std::string output;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run: " + command);
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
  if (::pclose(pipe) != 0) throw std::runtime_error("failed: " + command + "\n" + output);
  return output;
}

std::string ReadAll(const std::string& osPath) {
  std::ifstream in(osPath, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The user exists with a known password; made once per machine.
void EnsureUser() {
  if (::getpwnam(kUser) == nullptr) {
    try {
      Run(std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") + kUser);
    } catch (const std::runtime_error&) {
      if (::getpwnam(kUser) == nullptr) throw;  // else another test process made it first
    }
  }
  // Tests run in parallel processes: one may hold the password file's lock.
  for (int attempt = 1;; ++attempt) {
    try {
      Run(std::string("echo '") + kUser + ":" + kPassword + "' | chpasswd");
      return;
    } catch (const std::runtime_error&) {
      if (attempt == 5) throw;
      std::this_thread::sleep_for(std::chrono::milliseconds(200 * attempt));
    }
  }
}

// Whether the server at port greets with its SSH version line.
bool Greets(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  timeval limit{2, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  char banner[4] = {};
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            ::recv(fd, banner, sizeof banner, MSG_WAITALL) == 4 && std::string(banner, 4) == "SSH-";
  ::close(fd);
  return ok;
}

std::string FingerprintOf(const std::string& publicKeyPath) {
  std::istringstream line(Run("ssh-keygen -l -E sha256 -f '" + publicKeyPath + "'"));
  std::string bits;
  std::string fingerprint;
  line >> bits >> fingerprint;
  return fingerprint;
}

}  // namespace

std::string SshdServer::Unavailable() {
  if (::geteuid() != 0) return "the SFTP tests start sshd for a test user and need root";
  if (::access(kSshd, X_OK) != 0) return "no /usr/sbin/sshd (Debian package openssh-server)";
  if (::access("/usr/bin/ssh-keygen", X_OK) != 0) return "no ssh-keygen (Debian package openssh-client)";
  return "";
}

const char* SshdServer::User() { return kUser; }
const char* SshdServer::Password() { return kPassword; }

SshdServer::SshdServer(const std::string& loginFolder) : loginFolder_(ToOsPath(loginFolder)) {
  std::filesystem::create_directories(loginFolder_);
  EnsureUser();
  passwd* user = ::getpwnam(kUser);
  // The user reaches its login folder through the test's own folders.
  for (std::string path = loginFolder_; path.size() > 1; path = path.substr(0, path.find_last_of('/'))) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 0005) != 0005) ::chmod(path.c_str(), st.st_mode | 0005);
    if (path.find_last_of('/') == 0) break;
  }
  if (::chown(loginFolder_.c_str(), user->pw_uid, user->pw_gid) != 0) throw std::runtime_error("chown failed");
  ::chmod(dir_.Path().c_str(), 0755);
  ::mkdir("/run/sshd", 0755);
  Run("ssh-keygen -q -t ed25519 -N '' -C tovra-test-host -f '" + dir_.Sub("host_ed25519") + "'");
  fingerprint_ = FingerprintOf(dir_.Sub("host_ed25519.pub"));
  std::ofstream(dir_.Sub("authorized_keys")).flush();
  Start();
}

SshdServer::~SshdServer() { Stop(); }

void SshdServer::Start() {
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) {
    port_ = FreePort();
    std::ofstream config(dir_.Sub("sshd_config"));
    config << "ListenAddress 127.0.0.1\nPort " << port_ << "\nHostKey " << dir_.Sub("host_ed25519")
           << "\nPidFile none\nAuthorizedKeysFile " << dir_.Sub("authorized_keys")
           << "\nStrictModes no\nUsePAM no\nPasswordAuthentication yes\nKbdInteractiveAuthentication no\n"
              "PubkeyAuthentication yes\nPermitRootLogin no\nAllowUsers "
           << kUser << "\nMaxStartups 50\nMaxSessions 50\nLogLevel DEBUG1\nSubsystem sftp internal-sftp\n"
           << "ForceCommand internal-sftp -d " << loginFolder_ << "\n";
    config.close();
    pid_t pid = ::fork();
    if (pid == 0) {
      ::setpgid(0, 0);
      std::string configPath = dir_.Sub("sshd_config");
      std::string logPath = dir_.Sub("sshd.log");
      ::execl(kSshd, kSshd, "-D", "-f", configPath.c_str(), "-E", logPath.c_str(), nullptr);
      ::_exit(127);
    }
    pid_ = pid;
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < until) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;  // it could not start (a port taken meanwhile): another port
        break;
      }
      if (Greets(port_)) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    Stop();
  }
  throw std::runtime_error("sshd did not start; its log:\n" + Log());
}

void SshdServer::Stop() {
  if (pid_ > 0) {
    ::kill(-pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

std::string SshdServer::Log() const { return ReadAll(dir_.Sub("sshd.log")); }

std::string SshdServer::KnownHostsLine() const {
  return "[127.0.0.1]:" + std::to_string(port_) + " " + ReadAll(dir_.Sub("host_ed25519.pub"));
}

std::string SshdServer::KnownHostsLineOfOtherKey() const {
  std::string other = dir_.Sub("other_ed25519");
  ::unlink(other.c_str());
  ::unlink((other + ".pub").c_str());
  Run("ssh-keygen -q -t ed25519 -N '' -f '" + other + "'");
  return "[127.0.0.1]:" + std::to_string(port_) + " " + ReadAll(other + ".pub");
}

std::string SshdServer::MakeKeyPair(const std::string& name, const std::string& passphrase) const {
  std::string path = dir_.Sub(name);
  Run("ssh-keygen -q -t ed25519 -N '" + passphrase + "' -f '" + path + "'");
  return path;
}

void SshdServer::AuthorizeKey(const std::string& privateKeyPath) const {
  std::ofstream(dir_.Sub("authorized_keys"), std::ios::app) << ReadAll(privateKeyPath + ".pub");
}

}  // namespace tovra::test
