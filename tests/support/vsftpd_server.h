// vsftpd on a free loopback port for tests that need a real FTP server with
// the protocol log (every command in order, from every session), plain or
// with explicit FTPS required (a throw-away certificate). Login web/pass,
// chrooted to the given folder. It needs root and /usr/sbin/vsftpd;
// Unavailable() says when it cannot run, and the tests skip with that text.
// The constructor returns once the server answers; the destructor stops it.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tovra::test {

// The bytes of a file named by its OS path ("" when it cannot be read).
std::string ReadAll(const std::string& osPath);
// A loopback TCP port that was free a moment ago.
int FreePort();
// Every regular file below the folder (OS paths relative to it) with its bytes.
std::map<std::string, std::string> FileTree(const std::string& folder);

class VsftpdServer {
 public:
  // "" when the server can run here, else why not.
  static std::string Unavailable();

  // root: the folder served (made when missing); tls: FTPS required.
  VsftpdServer(const std::string& root, bool tls);
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  int Port() const { return port_; }
  // The certificate's SHA-256 as "AB:CD:..."; empty for a plain server.
  const std::string& Fingerprint() const { return fingerprint_; }
  // The commands received so far, in order ("STOR a.html"), and how many
  // control connections were opened.
  std::vector<std::string> Commands() const;
  int Connections() const;

 private:
  TempDir dir_;
  std::string fingerprint_;
  int port_ = 0;
  int pid_ = -1;
};

}  // namespace tovra::test
