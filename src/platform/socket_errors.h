// The network error family and the socket error codes. POSIX errors are
// mapped to the Windows Sockets codes, so every platform reports the same
// numbers and texts ("Socket Error # 10061\r\nConnection refused.").
// Stateless and thread-safe.
#pragma once

#include <stdexcept>
#include <string>

namespace tovra {

// Base of every error raised by the network layer.
class EIdException : public std::runtime_error {
 public:
  explicit EIdException(const std::string& message) : std::runtime_error(message) {}
};

// A lookup, connect, send or receive failure, carrying its socket error code.
class EIdSocketError : public EIdException {
 public:
  explicit EIdSocketError(int code);
  int LastError() const { return code_; }

 private:
  int code_;
};

// "Cannot allocate socket."
class EIdInvalidSocket : public EIdException {
 public:
  EIdInvalidSocket() : EIdException("Cannot allocate socket.") {}
};

// "Could not bind socket. Address and port are already in use."
class EIdCouldNotBindSocket : public EIdException {
 public:
  EIdCouldNotBindSocket() : EIdException("Could not bind socket. Address and port are already in use.") {}
};

// Socket error codes used by name in the code.
inline constexpr int kWsaEInterrupted = 10004;
inline constexpr int kWsaEAddrInUse = 10048;
inline constexpr int kWsaEConnAborted = 10053;
inline constexpr int kWsaEConnReset = 10054;
inline constexpr int kWsaEShutdown = 10058;
inline constexpr int kWsaETimedOut = 10060;
inline constexpr int kWsaEConnRefused = 10061;
inline constexpr int kWsaHostNotFound = 11001;

// The socket error code of a POSIX errno value.
int SocketErrorCodeOf(int posixErrno);
// The fixed text of a socket error code; empty for codes without one.
std::string SocketErrorText(int code);

}  // namespace tovra
