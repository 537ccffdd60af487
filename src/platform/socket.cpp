#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket_errors.h"
#include "util/string_list.h"

namespace tovra {

namespace {

sockaddr_in MakeAddress(const std::string& address, std::uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  if (address.empty()) {
    sa.sin_addr.s_addr = htonl(INADDR_ANY);
  } else if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
    RaiseSocketError(EINVAL);
  }
  return sa;
}

sockaddr_in LocalName(int fd) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sa), &len) != 0) RaiseSocketError(errno);
  return sa;
}

// poll() for one event, restarting after signals. timeoutMs < 0: no limit.
bool PollFor(int fd, short events, int timeoutMs) {
  pollfd p{fd, events, 0};
  for (;;) {
    int n = ::poll(&p, 1, timeoutMs);
    if (n > 0) return true;
    if (n == 0) return false;
    if (errno != EINTR) RaiseSocketError(errno);
  }
}

}  // namespace

void RaiseSocketError(int posixErrno) { throw EIdSocketError(SocketErrorCodeOf(posixErrno)); }

TSocket& TSocket::operator=(TSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

TSocket TSocket::CreateStream() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw EIdInvalidSocket();
  return TSocket(fd);
}

void TSocket::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

void TSocket::Bind(const std::string& address, std::uint16_t port) {
  sockaddr_in sa = MakeAddress(address, port);
  if (::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) RaiseSocketError(errno);
}

void TSocket::Connect(const std::string& address, std::uint16_t port) {
  sockaddr_in sa = MakeAddress(address, port);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) return;
  if (errno != EINTR) RaiseSocketError(errno);
  // An interrupted connect goes on in the background; wait for its outcome.
  PollFor(fd_, POLLOUT, -1);
  int err = 0;
  socklen_t len = sizeof err;
  ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len);
  if (err != 0) RaiseSocketError(err);
}

namespace {

void SetBlocking(int fd, bool blocking) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0) RaiseSocketError(errno);
  flags = blocking ? (flags & ~O_NONBLOCK) : (flags | O_NONBLOCK);
  if (::fcntl(fd, F_SETFL, flags) != 0) RaiseSocketError(errno);
}

}  // namespace

bool TSocket::StartConnect(const std::string& address, std::uint16_t port) {
  sockaddr_in sa = MakeAddress(address, port);
  SetBlocking(fd_, false);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0) {
    SetBlocking(fd_, true);
    return true;
  }
  if (errno == EINPROGRESS || errno == EINTR) return false;
  RaiseSocketError(errno);
}

void TSocket::FinishConnect() {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
  if (err != 0) RaiseSocketError(err);
  SetBlocking(fd_, true);
}

void TSocket::Listen(int backlog) {
  if (::listen(fd_, backlog) != 0) RaiseSocketError(errno);
}

TSocket TSocket::Accept() {
  for (;;) {
    int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) return TSocket(fd);
    if (errno != EINTR) RaiseSocketError(errno);
  }
}

bool TSocket::WaitReadable(int timeoutMs) const { return PollFor(fd_, POLLIN, timeoutMs); }

bool TSocket::WaitWritable(int timeoutMs) const { return PollFor(fd_, POLLOUT, timeoutMs); }

std::size_t TSocket::SendSome(const char* data, std::size_t size) {
  for (;;) {
    ssize_t n = ::send(fd_, data, size, MSG_NOSIGNAL);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) RaiseSocketError(errno);
  }
}

std::size_t TSocket::Receive(char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::recv(fd_, buffer, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) RaiseSocketError(errno);
  }
}

std::string TSocket::LocalAddress() const {
  sockaddr_in sa = LocalName(fd_);
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &sa.sin_addr, text, sizeof text);
  return text;
}

std::uint16_t TSocket::LocalPort() const { return ntohs(LocalName(fd_).sin_port); }

bool IsDottedIPv4(std::string_view text) {
  int parts = 0;
  std::size_t i = 0;
  while (true) {
    std::size_t start = i;
    int value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - start < 3) {
      value = value * 10 + (text[i] - '0');
      ++i;
    }
    if (i == start || value > 255) return false;
    ++parts;
    if (i == text.size()) return parts == 4;
    if (text[i] != '.' || parts == 4) return false;
    ++i;
  }
}

std::string ResolveHost(std::string_view host) {
  if (SameTextNoCase(host, "LOCALHOST")) return "127.0.0.1";
  if (IsDottedIPv4(host)) return std::string(host);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  std::string name(host);
  if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
    throw EIdSocketError(kWsaHostNotFound);
  }
  char text[INET_ADDRSTRLEN] = {};
  ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr, text, sizeof text);
  ::freeaddrinfo(result);
  return text;
}

}  // namespace tovra
