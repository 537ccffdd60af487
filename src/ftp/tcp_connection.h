// TIdTCPConnection: one TCP connection with an input buffer, line reading,
// FTP replies and unbuffered writing. It serves the control connection and,
// through TIdSimpleServer, the data connections. Progress events are
// delivered only while work is announced. Used by one thread at a time; the
// progress handler runs on that thread and may close the socket.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "ftp/reply.h"
#include "platform/socket.h"
#include "platform/socket_errors.h"
#include "platform/socket_interrupter.h"

namespace tovra {

enum class TWorkMode { wmRead, wmWrite };

class TIdTCPConnection;
using TWorkEvent = std::function<void(TIdTCPConnection& sender, TWorkMode mode, std::int64_t count)>;
// Receives the control connection's traffic: '>' for a command sent, '<' for
// a reply line received. Passwords arrive masked.
using TTraceEvent = std::function<void(char direction, const std::string& line)>;

inline constexpr int kDefaultReadTimeoutMs = 60000;
inline constexpr std::size_t kBlockSize = 32768;
inline constexpr std::size_t kMaxLineLength = 16384;

class TIdTCPConnection {
 public:
  TIdTCPConnection() = default;
  virtual ~TIdTCPConnection();
  TIdTCPConnection(const TIdTCPConnection&) = delete;
  TIdTCPConnection& operator=(const TIdTCPConnection&) = delete;

  // Milliseconds a read waits for data; 0 waits without limit.
  int ReadTimeout = kDefaultReadTimeoutMs;
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
  // Receives once into the input buffer (up to RecvBufferSize bytes).
  void ReceiveSome();

  // True while the socket is open and no close by the peer was noticed.
  bool IsConnected();
  // Marks the connection closed and closes the socket; harmless when closed.
  void CloseSocket();
  bool ClosedGracefully() const { return closed_; }
  std::string LocalAddress() const { return socket_.LocalAddress(); }
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

 private:
  [[noreturn]] void RaiseForSendOrReceive(const EIdSocketError& error);
  void RaiseIfRefused(std::initializer_list<int> accepted) const;
  // Unregisters and closes the socket when it is open.
  void ReleaseSocket();

  TSocket socket_;
  TSocketInterrupter* registeredWith_ = nullptr;
  std::string input_;
  bool closed_ = false;
  int workDepth_ = 0;
  std::int64_t workCount_ = 0;
};

// The text of a command as the trace shows it (the password masked).
std::string MaskedCommand(std::string_view command);
// Raises EIdUnsafeArgument when the command holds CR or LF.
void CheckCommandArgument(std::string_view command);

}  // namespace tovra
