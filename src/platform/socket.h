// Blocking IPv4 stream sockets and host name resolution. Every failure is
// raised as EIdSocketError with the Windows Sockets code of the POSIX error
// (socket_errors.h). A TSocket owns its descriptor and is used by one thread
// at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tovra {

class TSocket {
 public:
  TSocket() = default;
  ~TSocket() { Close(); }
  TSocket(TSocket&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TSocket& operator=(TSocket&& other) noexcept;
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;

  // A new stream socket; EIdInvalidSocket when the platform refuses one.
  static TSocket CreateStream();

  bool IsOpen() const { return fd_ >= 0; }
  int Handle() const { return fd_; }
  void Close();

  // Dotted IPv4 address; port 0 lets the platform choose.
  void Bind(const std::string& address, std::uint16_t port);
  void Connect(const std::string& address, std::uint16_t port);
  // A connect that does not block: true when it completed at once, false
  // while it goes on (wait until writable, then FinishConnect). Other
  // failures raise at once.
  bool StartConnect(const std::string& address, std::uint16_t port);
  // The outcome of a started connect; the socket blocks again afterwards.
  void FinishConnect();
  void Listen(int backlog);
  TSocket Accept();

  // Waits until the socket is readable (data, a pending connection or the
  // peer's close). timeoutMs < 0 waits without limit. False on time-out.
  bool WaitReadable(int timeoutMs) const;
  // Waits until a send would not block; false on time-out.
  bool WaitWritable(int timeoutMs) const;

  // One send / receive call; 0 from Receive means the peer closed. Errors
  // raise EIdSocketError; SendSome never raises SIGPIPE.
  std::size_t SendSome(const char* data, std::size_t size);
  std::size_t Receive(char* buffer, std::size_t size);

  // The address and port of this end.
  std::string LocalAddress() const;
  std::uint16_t LocalPort() const;

 private:
  explicit TSocket(int fd) : fd_(fd) {}
  int fd_ = -1;
};

// Whether text is a dotted IPv4 address (four decimal parts, each 0..255).
bool IsDottedIPv4(std::string_view text);

// "LOCALHOST" in any case gives 127.0.0.1 without a lookup, a dotted address
// is returned unchanged, any other name gives the first IPv4 address of a
// lookup; a failed lookup raises EIdSocketError 11001 "Host not found.".
std::string ResolveHost(std::string_view host);

// Raises EIdSocketError for a POSIX errno value.
[[noreturn]] void RaiseSocketError(int posixErrno);

}  // namespace tovra
