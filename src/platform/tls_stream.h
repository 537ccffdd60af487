// TLS over an open, blocking stream socket, as the client end: the one layer
// that the FTP control and data connections share. Certificates are checked
// against the system's trusted store and the host name; the result is
// reported, not enforced, so the caller can weigh it against a pinned
// fingerprint before it sends anything that matters. A stream is used by one
// thread at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/socket_errors.h"

struct ssl_st;
struct ssl_session_st;

namespace tovra {

// What the server's certificate says, in printable form.
struct TCertificateInfo {
  std::string Subject;
  std::string Issuer;
  std::string NotBefore;  // "YYYY-MM-DD hh:mm:ss UTC"
  std::string NotAfter;
  std::string Sha256;     // upper-case hex pairs separated by ':'
  bool Verified = false;  // trusted by the system store and valid for the host
  std::string Problem;    // why it is not trusted (empty when it is)
};

// A failed handshake or a broken TLS record stream.
class ETlsError : public EIdException {
 public:
  explicit ETlsError(const std::string& message) : EIdException(message) {}
};

// A TLS session that a later connection to the same server resumes.
using TTlsSession = std::shared_ptr<ssl_session_st>;
// How many unused sessions are kept, the newest: a server may hand out any
// number of them, and each costs memory until it is used.
inline constexpr std::size_t kKeptTlsSessions = 8;
// Appends session to kept (oldest first), dropping the oldest beyond
// kKeptTlsSessions.
void KeepNewestSession(std::vector<TTlsSession>& kept, TTlsSession session);

// Waits until the socket is writable (true) or readable (false); raises when
// the wait runs out or is cancelled.
using TTlsWait = std::function<void(bool writable)>;

class TTlsStream {
 public:
  // Performs the client handshake on fd (which stays owned by the caller
  // and must be non-blocking): host names the server for SNI and the host
  // name check (a name or an address); resume, when set, is offered for
  // resumption. Every wait for the socket, in the handshake and later, goes
  // through wait, which bounds it and lets a cancel end it.
  TTlsStream(int fd, const std::string& host, const TTlsSession& resume, TTlsWait wait);
  ~TTlsStream();
  TTlsStream(const TTlsStream&) = delete;
  TTlsStream& operator=(const TTlsStream&) = delete;

  const TCertificateInfo& Certificate() const { return certificate_; }
  // The session to offer on later connections (the newest one received).
  TTlsSession Session() const;
  bool SessionReused() const;
  // Sessions the server handed out since the last call (the newest
  // kKeptTlsSessions), oldest first. A server may accept each only once, so
  // each later connection takes its own.
  std::vector<TTlsSession> TakeNewSessions();
  // Reads, without waiting, what the server already sent (such as a new
  // session) on a stream that carries no more data for us.
  void ReadAhead();
  // Whether data for us has arrived, taking in without waiting what else
  // the server sent (such as a new session); nothing is consumed.
  bool DataArrived();

  // Sends at least one byte; raises EIdSocketError or ETlsError.
  std::size_t Send(const char* data, std::size_t size);
  // Receives up to size bytes; 0 when the server ended the stream.
  std::size_t Receive(char* buffer, std::size_t size);
  // Whether decrypted bytes wait inside the stream (no socket wait needed).
  bool Pending() const;
  // Sends the closing alert once; errors are ignored (the socket closes next).
  void Shutdown();

 private:
  [[noreturn]] void Raise(int result, const char* during);
  // Waits as the library asks after a result of 0 or less; false when the
  // result is no request to wait.
  bool WaitFor(int result);
  friend int KeepNewSession(ssl_st* ssl, ssl_session_st* session);
  ssl_st* ssl_ = nullptr;
  std::vector<TTlsSession> newSessions_;
  TTlsWait wait_;
  TCertificateInfo certificate_;
  bool shutDown_ = false;
};

// The canonical form of a SHA-256 fingerprint typed by a user: hex digits in
// upper case in pairs separated by ':'; empty when it is not 32 bytes of hex.
std::string CanonicalSha256(const std::string& text);

}  // namespace tovra
