#include "support/vsftpd_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tovra::test {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof sa;
  ::bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len);
  ::close(fd);
  return ntohs(sa.sin_port);
}

}  // namespace

std::string VsftpdServer::Unavailable() {
  if (::geteuid() != 0) return "vsftpd needs root";
  if (!std::filesystem::exists("/usr/sbin/vsftpd")) return "vsftpd is not installed";
  return "";
}

VsftpdServer::VsftpdServer(const std::string& root, const std::string& extra, bool tls) {
  std::filesystem::create_directories(root);
  ::chmod(state_.Path().c_str(), 0755);
  int port = FreeLoopbackPort();
  const std::string log = state_.Path() + "/start.log";
  std::string certificate;
  if (tls) {
    const std::string cert = state_.Path() + "/cert.pem";
    const std::string key = state_.Path() + "/key.pem";
    std::string req = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout " + key +
                      " -out " + cert + " >/dev/null 2>&1";
    if (std::system(req.c_str()) != 0) {
      startLog_ = "openssl req failed";
      return;
    }
    certificate = "VSFTPD_TLS=" + cert + ":" + key + " ";
  }
  std::string start = certificate + "VSFTPD_EXTRA='" + extra + "' FTP_PEERS_STATE_BASE=" + state_.Path() + " " +
                      SourceDir() + "/tests/support/vsftpd/start-vsftpd.sh " + std::to_string(port) + " " + root + " " +
                      state_.Path() + "/vsftpd.pid >" + log + " 2>&1";
  if (std::system(start.c_str()) == 0) port_ = port;
  startLog_ = ReadAll(log);
}

VsftpdServer::~VsftpdServer() {
  if (port_ == 0) return;
  std::istringstream pid(ReadAll(state_.Path() + "/vsftpd.pid"));
  int value = 0;
  if (pid >> value && value > 1) ::kill(value, SIGTERM);
}

}  // namespace tovra::test
