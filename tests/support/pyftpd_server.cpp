#include "support/pyftpd_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "platform/encoding.h"
#include "support/temp_dir.h"

namespace tovra::test {

namespace {

constexpr int kStartTimeoutMs = 15000;

// Reads the "PORT n" line the script prints once it listens.
int ReadPortLine(int fd) {
  std::string text;
  while (text.find('\n') == std::string::npos) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, kStartTimeoutMs) <= 0) return 0;
    char chunk[256];
    ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) return 0;
    text.append(chunk, static_cast<std::size_t>(n));
  }
  int port = 0;
  return std::sscanf(text.c_str(), "PORT %d", &port) == 1 ? port : 0;
}

}  // namespace

std::string PyFtpdServer::ScriptPath() { return SourceDir() + "/tests/support/ftp_server.py"; }

PyFtpdServer::PyFtpdServer(std::string root, std::string user, std::string password, bool threaded)
    : root_(std::move(root)), user_(std::move(user)), password_(std::move(password)) {
  int in[2];
  int out[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::string script = ScriptPath();
  std::string osRoot = ToOsPath(root_);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    const char* argv[] = {"/usr/bin/python3", script.c_str(),           osRoot.c_str(), user_.c_str(),
                          password_.c_str(),  threaded ? "0" : nullptr, "threaded",     nullptr};
    ::execv(argv[0], const_cast<char* const*>(argv));
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  stdinPipe_ = in[1];
  port_ = pid_ > 0 ? ReadPortLine(out[0]) : 0;
  ::close(out[0]);
  if (port_ == 0) {
    Stop();
    throw std::runtime_error("the pyftpdlib server did not start (is python3-pyftpdlib installed?)");
  }
}

PyFtpdServer::~PyFtpdServer() { Stop(); }

void PyFtpdServer::Stop() {
  if (stdinPipe_ >= 0) ::close(stdinPipe_);
  stdinPipe_ = -1;
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

}  // namespace tovra::test
