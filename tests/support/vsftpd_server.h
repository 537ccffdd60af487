// A real vsftpd on a free loopback port (tests/support/vsftpd/start-vsftpd.sh),
// login web/pass, chrooted to a given folder, with extra configuration lines,
// plain or with explicit FTPS required (a throw-away certificate). Every
// command it receives is logged, so a test can read them back in order.
// vsftpd needs root: Unavailable() names why it cannot run here (empty when
// it can), for the test to skip with. The constructor returns once the
// server listens; the destructor stops it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tovra::test {

// The bytes of a file named by its OS path ("" when it cannot be read).
std::string ReadAll(const std::string& osPath);
// Every regular file below the folder (OS paths relative to it) with its bytes.
std::map<std::string, std::string> FileTree(const std::string& folder);

class VsftpdServer {
 public:
  static std::string Unavailable();

  // root: the folder served (OS path, made when missing); extra: more
  // configuration lines ("max_per_ip=2"); tls: explicit TLS required for
  // login and data, with a self-signed certificate made for the server.
  VsftpdServer(const std::string& root, const std::string& extra = "", bool tls = false);
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  // 0 when the server could not be started (StartLog says why).
  int Port() const { return port_; }
  const std::string& StartLog() const { return startLog_; }
  static const char* User() { return "web"; }
  static const char* Password() { return "pass"; }
  // The certificate's SHA-256 as "AB:CD:..."; empty for a plain server.
  const std::string& Fingerprint() const { return fingerprint_; }
  // The commands received so far, in order ("STOR a.html"), and how many
  // control connections were opened.
  std::vector<std::string> Commands() const;
  int Connections() const;

 private:
  std::string Log() const;

  TempDir state_;
  int port_ = 0;
  std::string startLog_;
  std::string fingerprint_;
};

}  // namespace tovra::test
