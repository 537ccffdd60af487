// A real FTP server (pyftpdlib, started as /usr/bin/python3 ftp_server.py)
// on a free loopback port with a given root folder, user and password.
// The constructor returns once the server listens; the destructor stops it.
// Tests using it should talk to one server one session at a time.
#pragma once

#include <sys/types.h>

#include <string>

namespace tovra::test {

class PyFtpdServer {
 public:
  // root: CP932 path of the folder served as "/" (must exist). threaded:
  // every session gets a thread of its own, for tests that hold several
  // sessions at once (the single-threaded server can stall one of several
  // active-mode sessions after a store).
  explicit PyFtpdServer(std::string root, std::string user = "tovra", std::string password = "secret",
                        bool threaded = false);
  ~PyFtpdServer();
  PyFtpdServer(const PyFtpdServer&) = delete;
  PyFtpdServer& operator=(const PyFtpdServer&) = delete;

  int Port() const { return port_; }
  const std::string& Root() const { return root_; }
  const std::string& User() const { return user_; }
  const std::string& Password() const { return password_; }

  // The script that runs the server (also used by the benchmark script).
  static std::string ScriptPath();

 private:
  void Stop();

  std::string root_;
  std::string user_;
  std::string password_;
  int port_ = 0;
  pid_t pid_ = -1;
  int stdinPipe_ = -1;
};

}  // namespace tovra::test
