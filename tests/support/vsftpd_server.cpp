#include "support/vsftpd_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tovra::test {

namespace {

// The standard output of a shell command.
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

VsftpdServer::VsftpdServer(const std::string& root, const std::string& extra, bool tls) {
  std::filesystem::create_directories(root);
  ::chmod(state_.Path().c_str(), 0755);
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
    std::string digest = Run("openssl x509 -in " + cert + " -noout -fingerprint -sha256");
    fingerprint_ = digest.substr(digest.find('=') + 1, 95);
    certificate = "VSFTPD_TLS=" + cert + ":" + key + " ";
  }
  // A free port can be taken by another test process before the server
  // binds it: then the start fails, and another port is tried.
  for (int attempt = 0; attempt < 4 && port_ == 0; ++attempt) {
    const int port = FreePort();
    std::string start = certificate + "VSFTPD_LOG_PROTOCOL=YES VSFTPD_EXTRA='" + extra +
                        "' FTP_PEERS_STATE_BASE=" + state_.Path() + " " + SourceDir() +
                        "/tests/support/vsftpd/start-vsftpd.sh " + std::to_string(port) + " " + root + " " +
                        state_.Path() + "/vsftpd.pid >" + log + " 2>&1";
    if (std::system(start.c_str()) == 0) port_ = port;
    startLog_ += ReadAll(log);
  }
}

VsftpdServer::~VsftpdServer() {
  if (port_ == 0) return;
  std::istringstream pid(ReadAll(state_.Path() + "/vsftpd.pid"));
  int value = 0;
  if (pid >> value && value > 1) ::kill(value, SIGTERM);
}

std::string VsftpdServer::Log() const {
  return ReadAll(state_.Path() + "/ftp-peers-vsftpd-" + std::to_string(port_) + "/vsftpd.log");
}

std::vector<std::string> VsftpdServer::Commands() const {
  std::istringstream log(Log());
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
  const std::string log = Log();
  int count = 0;
  for (std::size_t at = log.find("CONNECT: Client"); at != std::string::npos; at = log.find("CONNECT: Client", at + 1))
    ++count;
  return count;
}

}  // namespace tovra::test
