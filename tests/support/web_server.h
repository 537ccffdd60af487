// A real web server on a free loopback port for the verify tests: nginx with a
// configuration of its own, serving a folder under a path of the address
// (as a provider maps a user's FTP home to "/~user/"); Python's http.server
// where nginx is not installed. With tls, nginx serves HTTPS with a
// self-signed certificate made for the test. The constructor returns once the
// server accepts connections; the destructor stops it. For one test thread.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/temp_dir.h"

namespace tovra::test {

class WebServer {
 public:
  // root: CP932 path of the folder served; prefix: the path it appears
  // under, with "/" at both ends ("/~tovra/"). Throws std::runtime_error
  // when no server could be started. extraNginx: lines added to nginx's
  // server block (ignored by http.server).
  WebServer(const std::string& root, const std::string& prefix, bool tls = false, const std::string& extraNginx = "");
  ~WebServer();
  WebServer(const WebServer&) = delete;
  WebServer& operator=(const WebServer&) = delete;

  // The address of the served folder: "http://127.0.0.1:PORT/~tovra/".
  std::string Url() const;
  int Port() const { return port_; }
  bool IsNginx() const { return nginx_; }

  static bool NginxInstalled();

 private:
  bool StartNginx(const std::string& root, const std::string& prefix, bool tls, const std::string& extra);
  bool StartPython(const std::string& root, const std::string& prefix);
  bool WaitUntilListening();
  void Stop();

  TempDir work_;
  std::string prefix_;
  bool tls_ = false;
  bool nginx_ = false;
  int port_ = 0;
  pid_t pid_ = -1;
};

// A loopback port that accepts connections (the kernel's backlog) but never
// reads or answers: a server that has hung.
class SilentServer {
 public:
  SilentServer();
  ~SilentServer();
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

}  // namespace tovra::test
