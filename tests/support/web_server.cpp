#include "support/web_server.h"

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/encoding.h"
#include "platform/files.h"

namespace tovra::test {

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";
constexpr int kAttempts = 3;

pid_t Spawn(const std::vector<std::string>& args) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

std::string NginxConfig(const std::string& dir, const std::string& root, const std::string& prefix, int port, bool tls,
                        const std::string& extra) {
  std::string listen = "listen 127.0.0.1:" + std::to_string(port) + (tls ? " ssl" : "") + ";\n";
  if (tls) listen += "ssl_certificate " + dir + "/cert.pem;\nssl_certificate_key " + dir + "/key.pem;\n";
  return "daemon off;\nmaster_process off;\nworker_processes 1;\npid " + dir + "/nginx.pid;\nerror_log " + dir +
         "/error.log;\nevents { worker_connections 64; }\nhttp {\n  access_log off;\n"
         "  client_body_temp_path " +
         dir + "/body;\n  proxy_temp_path " + dir +
         "/proxy;\n"
         "  fastcgi_temp_path " +
         dir + "/fastcgi;\n  uwsgi_temp_path " + dir +
         "/uwsgi;\n"
         "  scgi_temp_path " +
         dir +
         "/scgi;\n  default_type application/octet-stream;\n"
         "  server {\n    " +
         listen + "    location " + prefix + " { alias " + root + "/; }\n" + extra + "\n  }\n}\n";
}

}  // namespace

// TOVRA_TEST_WEB_SERVER=python runs the tests on the stand-in, as on a
// machine without nginx.
bool WebServer::NginxInstalled() {
  const char* chosen = std::getenv("TOVRA_TEST_WEB_SERVER");
  return ::access(kNginx, X_OK) == 0 && (chosen == nullptr || std::string(chosen) != "python");
}

WebServer::WebServer(const std::string& root, const std::string& prefix, bool tls, const std::string& extraNginx)
    : prefix_(prefix), tls_(tls) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (NginxInstalled() ? StartNginx(root, prefix, tls, extraNginx) : StartPython(root, prefix)) return;
  }
  throw std::runtime_error(tls && !NginxInstalled() ? "HTTPS needs nginx" : "the web server did not start");
}

WebServer::~WebServer() { Stop(); }

std::string WebServer::Url() const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + prefix_;
}

bool WebServer::StartNginx(const std::string& root, const std::string& prefix, bool tls, const std::string& extra) {
  const std::string dir = ToOsPath(work_.Path());
  if (tls && !FileExists(JoinPath(work_.Path(), "cert.pem"))) {
    const pid_t openssl =
        Spawn({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
               "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1", "-keyout",
               dir + "/key.pem", "-out", dir + "/cert.pem", "-batch"});
    int status = 0;
    ::waitpid(openssl, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("openssl made no certificate");
  }
  port_ = FreePort();
  work_.Write("nginx.conf", NginxConfig(dir, ToOsPath(root), prefix, port_, tls, extra));
  nginx_ = true;
  pid_ = Spawn({kNginx, "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"});
  return WaitUntilListening();
}

// http.server serves one folder at "/": the prefix is a link in a folder of its own.
bool WebServer::StartPython(const std::string& root, const std::string& prefix) {
  const std::string top = ToOsPath(work_.Path()) + "/top";
  const std::filesystem::path link = top + prefix.substr(0, prefix.size() - 1);
  std::filesystem::create_directories(link.parent_path());
  if (!std::filesystem::exists(link)) std::filesystem::create_directory_symlink(ToOsPath(root), link);
  port_ = FreePort();
  pid_ = Spawn(
      {"/usr/bin/python3", "-m", "http.server", "--bind", "127.0.0.1", "--directory", top, std::to_string(port_)});
  return WaitUntilListening();
}

bool WebServer::WaitUntilListening() {
  for (int i = 0; i < 200; ++i) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  Stop();
  return false;
}

void WebServer::Stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_ = -1;
}

SilentServer::SilentServer() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, 16) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("no loopback port to listen on");
  }
  port_ = ntohs(address.sin_port);
}

SilentServer::~SilentServer() { ::close(fd_); }

}  // namespace tovra::test
