// Blocking IPv4 and IPv6 stream sockets and host name resolution. Every failure is
// raised as EIdSocketError with the Windows Sockets code of the POSIX error
// (socket_errors.h). A TSocket owns its descriptor and is used by one thread
// at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {

// The port of a connection to make. A value outside 1-65535 (a hand-edited
// profile) is refused with an EIdException naming it, never wrapped into range.
std::uint16_t CheckedPort(int port);

class TSocket {
 public:
  TSocket() = default;
  ~TSocket() { Close(); }
  TSocket(TSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TSocket& operator=(TSocket&& other) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  // A new stream socket (IPv6 when ipv6 is true); EIdInvalidSocket when the
  // platform refuses one.
  static TSocket CreateStream(bool ipv6 = false);

  bool IsOpen() const { return fd_ >= 0; }
  int Handle() const { return fd_; }
  void Close();

  // A dotted IPv4 or a bare IPv6 address (empty: any address of the
  // socket's family); port 0 lets the platform choose.
  void Bind(const std::string& address, std::uint16_t port);
  void Connect(const std::string& address, std::uint16_t port);
  // A connect that does not block: true when it completed at once, false
  // while it goes on (wait until writable, then FinishConnect). Other
  // failures raise at once.
  bool StartConnect(const std::string& address, std::uint16_t port);
  // The outcome of a started connect; the socket blocks again afterwards.
  void FinishConnect();
  void Listen(int backlog);
  // The next connection; peer (if given) receives its address.
  TSocket Accept(std::string* peer = nullptr);
  // Sends and receives that would block return at once instead (the TLS
  // layer waits itself, with bounds and cancellation).
  void SetNonBlocking(bool nonBlocking);

  // Waits until the socket is readable (data, a pending connection or the
  // peer's close). timeoutMs < 0 waits without limit. False on time-out.
  bool WaitReadable(int timeoutMs) const;
  // Waits until a send would not block; false on time-out.
  bool WaitWritable(int timeoutMs) const;

  // One send / receive call; 0 from Receive means the peer closed. Errors
  // raise EIdSocketError; SendSome never raises SIGPIPE.
  std::size_t SendSome(const char* data, std::size_t size);
  std::size_t Receive(char* buffer, std::size_t size);

  // The address and port of this end, and the address of the other end.
  std::string LocalAddress() const;
  std::uint16_t LocalPort() const;
  std::string PeerAddress() const;
  bool IsIPv6() const;

 private:
  explicit TSocket(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Whether text is a dotted IPv4 address (four decimal parts, each 0..255).
bool IsDottedIPv4(std::string_view text);

// Whether text is an IPv6 address, bare ("::1") or in brackets ("[::1]").
bool IsIPv6Literal(std::string_view text);

// The addresses to try for a host, in order: "LOCALHOST" in any case gives
// 127.0.0.1 without a lookup, a dotted or IPv6 address (brackets removed) is
// returned unchanged, any other name gives the IPv6 and IPv4 addresses of a
// lookup in the platform's order; a failed lookup raises EIdSocketError
// 11001 "Host not found.".
std::vector<std::string> ResolveHostAll(std::string_view host);
// The first of those addresses.
std::string ResolveHost(std::string_view host);

// Raises EIdSocketError for a POSIX errno value.
[[noreturn]] void RaiseSocketError(int posixErrno);

}  // namespace tovra
