#include "support/vsftpd_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tovra::test {

namespace {

std::string Run(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    ::pclose(p);
  }
  return out;
}

}  // namespace

std::string ReadAll(const std::string& osPath) {
  std::ifstream in(osPath, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

int FreePort() {
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

std::map<std::string, std::string> FileTree(const std::string& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files[entry.path().lexically_relative(folder).string()] = ReadAll(entry.path());
  }
  return files;
}

std::string VsftpdServer::Unavailable() {
  if (::geteuid() != 0) return "vsftpd needs root";
  if (!std::filesystem::exists("/usr/sbin/vsftpd")) return "vsftpd is not installed";
  return "";
}

VsftpdServer::VsftpdServer(const std::string& root, bool tls) {
  ::chmod(dir_.Path().c_str(), 0755);
  std::filesystem::create_directories(root);
  std::string env = "FTP_PEERS_STATE_BASE=" + dir_.Path() + " VSFTPD_LOG_PROTOCOL=YES";
  if (tls) {
    const std::string cert = dir_.Sub("cert.pem"), key = dir_.Sub("key.pem");
    Run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost -keyout " + key + " -out " + cert +
        " 2>/dev/null");
    std::string digest = Run("openssl x509 -in " + cert + " -noout -fingerprint -sha256");
    fingerprint_ = digest.substr(digest.find('=') + 1, 95);
    env += " VSFTPD_TLS=" + cert + ":" + key;
  }
  port_ = FreePort();
  const std::string pidFile = dir_.Sub("vsftpd.pid");
  std::string start = env + " " + SourceDir() + "/tests/support/vsftpd/start-vsftpd.sh " + std::to_string(port_) + " " +
                      root + " " + pidFile + " >" + dir_.Sub("start.log") + " 2>&1";
  if (std::system(start.c_str()) != 0)
    throw std::runtime_error("vsftpd did not start: " + ReadAll(dir_.Sub("start.log")));
  std::istringstream(ReadAll(pidFile)) >> pid_;
}

VsftpdServer::~VsftpdServer() {
  if (pid_ > 1) ::kill(pid_, SIGTERM);
}

std::vector<std::string> VsftpdServer::Commands() const {
  std::istringstream log(ReadAll(dir_.Path() + "/ftp-peers-vsftpd-" + std::to_string(port_) + "/vsftpd.log"));
  std::vector<std::string> commands;
  const std::string marker = "FTP command: Client \"127.0.0.1\", \"";
  for (std::string line; std::getline(log, line);) {
    std::size_t at = line.find(marker);
    if (at == std::string::npos || line.size() < at + marker.size() + 1) continue;
    commands.push_back(line.substr(at + marker.size(), line.size() - at - marker.size() - 1));
  }
  return commands;
}

int VsftpdServer::Connections() const {
  std::string log = ReadAll(dir_.Path() + "/ftp-peers-vsftpd-" + std::to_string(port_) + "/vsftpd.log");
  int count = 0;
  for (std::size_t at = log.find("CONNECT: Client"); at != std::string::npos; at = log.find("CONNECT: Client", at + 1))
    ++count;
  return count;
}

}  // namespace tovra::test
