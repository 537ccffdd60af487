// TIdTCPConnection: one TCP connection with an input buffer, line reading,
// FTP replies and unbuffered writing. It serves the control connection and,
// through TIdSimpleServer, the data connections. Progress events are
// delivered only while work is announced. Used by one thread at a time; the
// progress handler runs on that thread and may close the socket.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ftp/reply.h"
#include "platform/socket.h"
#include "platform/socket_errors.h"
#include "platform/socket_interrupter.h"
#include "platform/tls_stream.h"

namespace tovra {

enum class TWorkMode { wmRead, wmWrite };

class TIdTCPConnection;
using TWorkEvent = std::function<void(TIdTCPConnection& sender, TWorkMode mode, std::int64_t count)>;
// Receives the control connection's traffic: '>' for a command sent, '<' for
// a reply line received. Passwords arrive masked.
using TTraceEvent = std::function<void(char direction, const std::string& line)>;

// The session's cancel flag: 1 means the user asked to stop.
using TCancelFlag = std::atomic<std::uint8_t>;
using TWaitClock = std::chrono::steady_clock;

inline constexpr int kDefaultReadTimeoutMs = 60000;
inline constexpr std::size_t kBlockSize = 32768;
inline constexpr std::size_t kMaxLineLength = 16384;
// The longest a wait goes without looking at the cancel flag.
inline constexpr int kWaitSliceMs = 200;
// How long after an abort was first seen a wait may still go on.
inline constexpr int kCancelGraceMs = 300;
// The most one reply may hold, blank lines before it included.
inline constexpr std::size_t kMaxReplyBytes = std::size_t{1} << 20;

// The point in time `ms` milliseconds from now; ms <= 0 gives no limit.
TWaitClock::time_point DeadlineAfter(int ms);

class TIdTCPConnection {
 public:
  TIdTCPConnection() = default;
  virtual ~TIdTCPConnection();
  TIdTCPConnection(const TIdTCPConnection&) = delete;
  TIdTCPConnection& operator=(const TIdTCPConnection&) = delete;

  // Milliseconds a whole reply may take to arrive (and a send may wait for
  // room); 0 waits without limit.
  int ReadTimeout = kDefaultReadTimeoutMs;
  // The session's cancel flag, not owned; null: waits are not cut short.
  // While it holds 1 every wait of this connection ends within one slice
  // with EIdCancelled, so an abort never has to sit out a time-out.
  const TCancelFlag* CancelFlag = nullptr;
  std::size_t RecvBufferSize = kBlockSize;
  std::size_t SendBufferSize = kBlockSize;
  TWorkEvent OnWork;
  TTraceEvent OnTrace;
  // When set, every socket this connection opens is registered there while
  // it is open, so that an abort on another thread can cut it. Set before
  // connecting; it must outlive the connection's sockets.
  TSocketInterrupter* Interrupter = nullptr;

  // Replies: the last one read, and the code check.
  TIdRFCReply LastReply;
  // Writes the command and CR LF, then reads one reply. A command holding CR
  // or LF raises EIdUnsafeArgument before anything is sent.
  int SendCommand(std::string_view command, std::initializer_list<int> accepted);
  int ReadReply(std::initializer_list<int> accepted);

  std::string ReadLn();
  void Write(std::string_view bytes);
  // Receives once into the input buffer (up to RecvBufferSize bytes),
  // waiting until the read deadline, or ReadTimeout when none is set.
  void ReceiveSome();
  // Whether a reply has begun to arrive, waiting at most ms for it.
  bool ReplyArrivesWithin(int ms);
  // One limit for every read until cleared: a listing must arrive whole by then.
  void SetReadDeadline(TWaitClock::time_point deadline) { readDeadline_ = deadline; }
  void ClearReadDeadline() { readDeadline_.reset(); }

  // True while the socket is open and no close by the peer was noticed.
  bool IsConnected();
  // Marks the connection closed and closes the socket; harmless when closed.
  void CloseSocket();
  bool ClosedGracefully() const { return closed_; }
  std::string LocalAddress() const { return socket_.LocalAddress(); }
  std::string PeerAddress() const { return socket_.PeerAddress(); }
  bool IsIPv6() const { return socket_.IsIPv6(); }

  // Turns the open connection into TLS (this end as the client): host names
  // the server for the certificate check, resume is offered for resumption.
  // Everything written or read afterwards is encrypted. Bytes the server sent
  // before the handshake would be read as plain text: they raise ETlsError.
  void StartTls(const std::string& host, const TTlsSession& resume);
  // The TLS stream, or nullptr while the connection is plain.
  const TTlsStream* Tls() const { return tls_.get(); }
  TTlsStream* Tls() { return tls_.get(); }
  // Bytes received and not yet consumed (the listing takes them block-wise).
  std::string& InputBuffer() { return input_; }

  // Progress announcements; they nest, only the outermost resets the total.
  void BeginWork(TWorkMode mode, std::int64_t size);
  void DoWork(TWorkMode mode, std::int64_t count);
  void EndWork(TWorkMode mode);

 protected:
  // Starts a fresh connection state around an open socket.
  void Attach(TSocket socket);
  TSocket& Socket() { return socket_; }
  void Trace(char direction, const std::string& line) const;
  // Waits in slices of at most sliceMs until the socket is readable (or
  // writable); false once the deadline has passed. Raises EIdCancelled
  // once the cancel flag has been set for kCancelGraceMs.
  bool WaitOn(const TSocket& socket, bool writable, TWaitClock::time_point deadline, int sliceMs = kWaitSliceMs) const;

 private:
  [[noreturn]] void RaiseForSendOrReceive(const EIdSocketError& error);
  void RaiseIfRefused(std::initializer_list<int> accepted) const;
  // Unregisters and closes the socket when it is open.
  void ReleaseSocket();

  TSocket socket_;
  std::unique_ptr<TTlsStream> tls_;
  TSocketInterrupter* registeredWith_ = nullptr;
  std::string input_;
  std::optional<TWaitClock::time_point> readDeadline_;
  mutable std::optional<TWaitClock::time_point> cancelSeen_;  // when a wait first saw the abort
  bool closed_ = false;
  int workDepth_ = 0;
  std::int64_t workCount_ = 0;
};

// The text of a command as the trace shows it (the password masked).
std::string MaskedCommand(std::string_view command);
// Raises EIdUnsafeArgument when the command holds CR or LF.
void CheckCommandArgument(std::string_view command);

}  // namespace tovra
