#include "platform/socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/socket_errors.h"
#include "util/string_list.h"

namespace tovra {

namespace {

// A socket address of either family. An empty address means any address
// of the given family.
struct TSockAddr {
  sockaddr_storage storage{};
  socklen_t length = 0;
  sockaddr* Get() { return reinterpret_cast<sockaddr*>(&storage); }
};

TSockAddr MakeAddress(const std::string& address, std::uint16_t port, bool ipv6) {
  TSockAddr a;
  if (ipv6 || address.find(':') != std::string::npos) {
    auto* sa = reinterpret_cast<sockaddr_in6*>(&a.storage);
    sa->sin6_family = AF_INET6;
    sa->sin6_port = htons(port);
    sa->sin6_addr = in6addr_any;
    if (!address.empty() && ::inet_pton(AF_INET6, address.c_str(), &sa->sin6_addr) != 1) RaiseSocketError(EINVAL);
    a.length = sizeof(sockaddr_in6);
  } else {
    auto* sa = reinterpret_cast<sockaddr_in*>(&a.storage);
    sa->sin_family = AF_INET;
    sa->sin_port = htons(port);
    sa->sin_addr.s_addr = htonl(INADDR_ANY);
    if (!address.empty() && ::inet_pton(AF_INET, address.c_str(), &sa->sin_addr) != 1) RaiseSocketError(EINVAL);
    a.length = sizeof(sockaddr_in);
  }
  return a;
}

std::string AddressText(const sockaddr_storage& ss) {
  char text[INET6_ADDRSTRLEN] = {};
  if (ss.ss_family == AF_INET6) {
    const auto& sa = reinterpret_cast<const sockaddr_in6&>(ss);
    // An IPv4 peer reaching an IPv6 socket shows as ::ffff:a.b.c.d.
    if (IN6_IS_ADDR_V4MAPPED(&sa.sin6_addr)) {
      ::inet_ntop(AF_INET, &sa.sin6_addr.s6_addr[12], text, sizeof text);
    } else {
      ::inet_ntop(AF_INET6, &sa.sin6_addr, text, sizeof text);
    }
  } else if (ss.ss_family == AF_INET) {
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(ss).sin_addr, text, sizeof text);
  }
  return text;
}

sockaddr_storage LocalName(int fd) {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&ss), &len) != 0) RaiseSocketError(errno);
  return ss;
}

std::uint16_t PortOf(const sockaddr_storage& ss) {
  if (ss.ss_family == AF_INET6) return ntohs(reinterpret_cast<const sockaddr_in6&>(ss).sin6_port);
  return ntohs(reinterpret_cast<const sockaddr_in&>(ss).sin_port);
}

std::string_view Unbracketed(std::string_view text) {
  if (text.size() >= 2 && text.front() == '[' && text.back() == ']') return text.substr(1, text.size() - 2);
  return text;
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

std::uint16_t CheckedPort(int port) {
  if (port < 1 || port > 65535) {
    throw EIdException("ポート番号 " + std::to_string(port) + " は使えません (1 から 65535 まで)");
  }
  return static_cast<std::uint16_t>(port);
}

TSocket& TSocket::operator=(TSocket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

TSocket TSocket::CreateStream(bool ipv6) {
  int fd = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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
  TSockAddr sa = MakeAddress(address, port, IsIPv6());
  if (::bind(fd_, sa.Get(), sa.length) != 0) RaiseSocketError(errno);
}

void TSocket::Connect(const std::string& address, std::uint16_t port) {
  TSockAddr sa = MakeAddress(address, port, IsIPv6());
  if (::connect(fd_, sa.Get(), sa.length) == 0) return;
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
  TSockAddr sa = MakeAddress(address, port, IsIPv6());
  SetBlocking(fd_, false);
  if (::connect(fd_, sa.Get(), sa.length) == 0) {
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

TSocket TSocket::Accept(std::string* peer) {
  for (;;) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    int fd = ::accept4(fd_, reinterpret_cast<sockaddr*>(&ss), &len, SOCK_CLOEXEC);
    if (fd >= 0) {
      if (peer != nullptr) *peer = AddressText(ss);
      return TSocket(fd);
    }
    if (errno != EINTR) RaiseSocketError(errno);
  }
}

void TSocket::SetNonBlocking(bool nonBlocking) { SetBlocking(fd_, !nonBlocking); }

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

std::string TSocket::LocalAddress() const { return AddressText(LocalName(fd_)); }

std::uint16_t TSocket::LocalPort() const { return PortOf(LocalName(fd_)); }

std::string TSocket::PeerAddress() const {
  sockaddr_storage ss{};
  socklen_t len = sizeof ss;
  if (::getpeername(fd_, reinterpret_cast<sockaddr*>(&ss), &len) != 0) RaiseSocketError(errno);
  return AddressText(ss);
}

bool TSocket::IsIPv6() const {
  if (fd_ < 0) return false;
  return LocalName(fd_).ss_family == AF_INET6;
}

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

bool IsIPv6Literal(std::string_view text) {
  std::string bare(Unbracketed(text));
  in6_addr addr{};
  return ::inet_pton(AF_INET6, bare.c_str(), &addr) == 1;
}

std::vector<std::string> ResolveHostAll(std::string_view host) {
  if (SameTextNoCase(host, "LOCALHOST")) return {"127.0.0.1"};
  if (IsDottedIPv4(host)) return {std::string(host)};
  if (IsIPv6Literal(host)) return {std::string(Unbracketed(host))};
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  std::string name(host);
  if (name.empty() || ::getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) {
    throw EIdSocketError(kWsaHostNotFound);
  }
  std::vector<std::string> addresses;
  for (addrinfo* a = result; a != nullptr; a = a->ai_next) {
    if (a->ai_family != AF_INET && a->ai_family != AF_INET6) continue;
    sockaddr_storage ss{};
    std::memcpy(&ss, a->ai_addr, std::min<std::size_t>(a->ai_addrlen, sizeof ss));
    std::string text = AddressText(ss);
    if (std::find(addresses.begin(), addresses.end(), text) == addresses.end()) addresses.push_back(text);
  }
  ::freeaddrinfo(result);
  if (addresses.empty()) throw EIdSocketError(kWsaHostNotFound);
  return addresses;
}

std::string ResolveHost(std::string_view host) { return ResolveHostAll(host).front(); }

}  // namespace tovra
