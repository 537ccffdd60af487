// A real vsftpd on a free loopback port (tests/support/vsftpd/start-vsftpd.sh),
// plain FTP, login web/pass, chrooted to a given folder, with extra
// configuration lines. vsftpd needs root: Unavailable() names why it cannot
// run here (empty when it can), for the test to skip with. The constructor
// returns once the server listens; the destructor stops it.
#pragma once

#include <string>

#include "support/temp_dir.h"

namespace tovra::test {

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

 private:
  TempDir state_;
  int port_ = 0;
  std::string startLog_;
};

}  // namespace tovra::test
