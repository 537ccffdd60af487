// A real SSH server (OpenSSH's sshd) on a free loopback port, for the SFTP
// tests: a throw-away ed25519 host key, a configuration of its own, password
// and key login for one test user, the SFTP subsystem in process and a given
// login folder. It needs root (to switch to the user) and /usr/sbin/sshd;
// Unavailable() says when it cannot run, and the tests skip with that text.
// The constructor returns once the server answers; the destructor stops it.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/temp_dir.h"

namespace tovra::test {

class SshdServer {
 public:
  // "" when the server can run here, else why not.
  static std::string Unavailable();

  // loginFolder: a folder (CP932 path, made when missing) that becomes the
  // user's login folder; it is handed to the user.
  explicit SshdServer(const std::string& loginFolder);
  ~SshdServer();
  SshdServer(const SshdServer&) = delete;
  SshdServer& operator=(const SshdServer&) = delete;

  int Port() const { return port_; }
  static const char* User();
  static const char* Password();
  // The host key's fingerprint as ssh-keygen prints it ("SHA256:...").
  const std::string& Fingerprint() const { return fingerprint_; }
  // A known_hosts line for this server with its own key, or with another
  // freshly made key (as if the server's key had changed).
  std::string KnownHostsLine() const;
  std::string KnownHostsLineOfOtherKey() const;
  // Lets the user log in with the public key of a key pair made by
  // MakeKeyPair.
  void AuthorizeKey(const std::string& privateKeyPath) const;
  // A new ed25519 key pair in the server's folder; returns the private key's path.
  std::string MakeKeyPair(const std::string& name, const std::string& passphrase) const;
  // What sshd has logged so far.
  std::string Log() const;

 private:
  void Start();
  void Stop();

  TempDir dir_;
  std::string loginFolder_;
  std::string fingerprint_;
  int port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace tovra::test
