#include "ftp/tcp_connection.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "ftp/id_exceptions.h"
#include "util/errors.h"

namespace tovra {

namespace {

bool ClosesSocket(int code) { return code == kWsaEConnAborted || code == kWsaEConnReset || code == kWsaEShutdown; }

// Restores the read deadline that was in force before a reply began.
class TReplyDeadline {
 public:
  TReplyDeadline(std::optional<TWaitClock::time_point>& slot, int timeoutMs) : slot_(slot), saved_(slot) {
    slot_ = DeadlineAfter(timeoutMs);
  }
  ~TReplyDeadline() { slot_ = saved_; }
  TReplyDeadline(const TReplyDeadline&) = delete;
  TReplyDeadline& operator=(const TReplyDeadline&) = delete;

 private:
  std::optional<TWaitClock::time_point>& slot_;
  std::optional<TWaitClock::time_point> saved_;
};

}  // namespace

TWaitClock::time_point DeadlineAfter(int ms) {
  if (ms <= 0) return TWaitClock::time_point::max();
  return TWaitClock::now() + std::chrono::milliseconds(ms);
}

bool TIdTCPConnection::WaitOn(const TSocket& socket, bool writable, TWaitClock::time_point deadline,
                              int sliceMs) const {
  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  for (;;) {
    // The run's abort has shut its sockets down; a listener it cannot shut
    // down learns of it here.
    if (Interrupter != nullptr && Interrupter->Tripped()) throw EIdClosedSocket();
    TWaitClock::time_point now = TWaitClock::now();
    TWaitClock::time_point limit = deadline;
    bool cancelling = false;
    if (CancelFlag != nullptr && CancelFlag->load(std::memory_order_relaxed) == 1) {
      // A short grace after the abort lets an answer already on its way
      // (the reply to ABOR, the end of a listing) still be read; a server
      // that trickles cannot stretch it, as it counts from the first sight.
      if (!cancelSeen_) cancelSeen_ = now;
      TWaitClock::time_point end = *cancelSeen_ + milliseconds(kCancelGraceMs);
      if (now >= end) throw EIdCancelled();
      if (end < limit) {
        limit = end;
        cancelling = true;
      }
    } else {
      cancelSeen_.reset();
    }
    long long slice = sliceMs > 0 ? sliceMs : 1;
    if (limit != TWaitClock::time_point::max()) {
      slice = std::clamp<long long>(duration_cast<milliseconds>(limit - now).count(), 0, slice);
    }
    int ms = static_cast<int>(slice);
    if (writable ? socket.WaitWritable(ms) : socket.WaitReadable(ms)) return true;
    if (TWaitClock::now() >= limit) {
      if (cancelling) throw EIdCancelled();
      return false;
    }
  }
}

std::string MaskedCommand(std::string_view command) {
  if (command.size() >= 5 && SameTextNoCase(command.substr(0, 5), "PASS ")) return "PASS ****";
  return std::string(command);
}

void CheckCommandArgument(std::string_view command) {
  if (command.find_first_of("\r\n") == std::string_view::npos) return;
  std::string verb(command.substr(0, command.find(' ')));
  std::string shown = MaskedCommand(command);
  if (shown == "PASS ****") {
    throw EIdUnsafeArgument(FormatMessage("FTP コマンド %s の引数に改行文字が含まれているため送信しません", {verb}));
  }
  std::string argument = shown.size() > verb.size() ? shown.substr(verb.size() + 1) : std::string();
  for (char& c : argument) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  throw EIdUnsafeArgument(
      FormatMessage("FTP コマンド %s の引数 \"%s\" に改行文字が含まれているため送信しません", {verb, argument}));
}

TIdTCPConnection::~TIdTCPConnection() { ReleaseSocket(); }

void TIdTCPConnection::ReleaseSocket() {
  if (!socket_.IsOpen()) return;
  // Unregistered first: an abort must never shut a descriptor that the
  // system has already handed to someone else.
  if (registeredWith_ != nullptr) registeredWith_->Unregister(socket_.Handle());
  registeredWith_ = nullptr;
  socket_.Close();
}

void TIdTCPConnection::Attach(TSocket socket) {
  tls_.reset();
  ReleaseSocket();
  socket_ = std::move(socket);
  input_.clear();
  closed_ = false;
  registeredWith_ = Interrupter;
  if (registeredWith_ != nullptr) registeredWith_->Register(socket_.Handle());
}

void TIdTCPConnection::Trace(char direction, const std::string& line) const {
  if (OnTrace) OnTrace(direction, line);
}

void TIdTCPConnection::CloseSocket() {
  // No closing alert here: it would tell the server that an aborted upload
  // ended complete. A finished upload sends it itself (TTlsStream::Shutdown).
  tls_.reset();
  closed_ = true;
  ReleaseSocket();
}

void TIdTCPConnection::StartTls(const std::string& host, const TTlsSession& resume) {
  if (!socket_.IsOpen()) throw EIdNotConnected();
  if (!input_.empty()) throw ETlsError("TLS の開始前にサーバーから予期しないデータが届きました");
  // The library never blocks on the socket: it asks, and waits here have a
  // bound and end on a cancel like every other wait of the connection.
  socket_.SetNonBlocking(true);
  tls_ = std::make_unique<TTlsStream>(socket_.Handle(), host, resume, [this](bool writable) {
    TWaitClock::time_point deadline = readDeadline_ ? *readDeadline_ : DeadlineAfter(ReadTimeout);
    if (WaitOn(socket_, writable, deadline)) return;
    if (writable) throw EIdSocketError(kWsaETimedOut);
    throw EIdReadTimeout();
  });
}

bool TIdTCPConnection::IsConnected() {
  if (closed_ && socket_.IsOpen()) ReleaseSocket();
  return socket_.IsOpen();
}

void TIdTCPConnection::RaiseForSendOrReceive(const EIdSocketError& error) {
  if (ClosesSocket(error.LastError())) CloseSocket();
  throw error;
}

void TIdTCPConnection::Write(std::string_view bytes) {
  if (!socket_.IsOpen() && !closed_) throw EIdNotConnected();
  if (closed_) throw EIdConnClosedGracefully();
  std::size_t done = 0;
  while (done < bytes.size()) {
    // The progress handler may have closed the socket in the middle of a block.
    if (!socket_.IsOpen()) throw EIdClosedSocket();
    std::size_t sent = 0;
    try {
      // A peer that stops reading must not block the sender for ever.
      if (!WaitOn(socket_, true, DeadlineAfter(ReadTimeout))) throw EIdSocketError(kWsaETimedOut);
      std::size_t chunk = std::min(bytes.size() - done, SendBufferSize);
      sent = tls_ ? tls_->Send(bytes.data() + done, chunk) : socket_.SendSome(bytes.data() + done, chunk);
    } catch (const EIdSocketError& e) {
      RaiseForSendOrReceive(e);
    }
    if (sent == 0) closed_ = true;
    done += sent;
    DoWork(TWorkMode::wmWrite, static_cast<std::int64_t>(sent));
    if (sent == 0) throw EIdConnClosedGracefully();
  }
}

void TIdTCPConnection::ReceiveSome() {
  if (!socket_.IsOpen()) {
    if (closed_) throw EIdClosedSocket();
    throw EIdNotConnected();
  }
  char buffer[kBlockSize];
  std::size_t got = 0;
  try {
    TWaitClock::time_point deadline = readDeadline_ ? *readDeadline_ : DeadlineAfter(ReadTimeout);
    bool pending = tls_ && tls_->Pending();
    if (!pending && !WaitOn(socket_, false, deadline)) throw EIdReadTimeout();
    std::size_t want = std::min(RecvBufferSize, sizeof buffer);
    got = tls_ ? tls_->Receive(buffer, want) : socket_.Receive(buffer, want);
  } catch (const EIdSocketError& e) {
    int code = e.LastError();
    if (code == kWsaEConnAborted || code == kWsaEShutdown) {
      CloseSocket();
      if (!input_.empty()) return;
    }
    RaiseForSendOrReceive(e);
  }
  if (got == 0) {
    closed_ = true;
    return;
  }
  input_.append(buffer, got);
}

std::string TIdTCPConnection::ReadLn() {
  std::size_t searched = 0;
  for (;;) {
    std::size_t lf = input_.find('\n', searched);
    if (lf != std::string::npos) {
      if (lf > kMaxLineLength) throw EIdReadLnMaxLineLengthExceeded();
      std::string line = input_.substr(0, lf);
      input_.erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (input_.size() > kMaxLineLength) throw EIdReadLnMaxLineLengthExceeded();
    searched = input_.size();
    // Closed with no line end buffered (even in the middle of a line):
    // nothing more will come, so waiting would never end.
    if (closed_) throw EIdConnClosedGracefully();
    ReceiveSome();
  }
}

bool TIdTCPConnection::ReplyArrivesWithin(int ms) {
  ms = std::max(ms, 1);
  const TWaitClock::time_point deadline = DeadlineAfter(ms);
  for (;;) {
    if (!input_.empty() || (tls_ && tls_->Pending())) return true;
    if (!socket_.IsOpen() || !WaitOn(socket_, false, deadline, ms)) return false;
    // Over TLS a readable socket may carry a record that is no reply.
    if (!tls_ || tls_->DataArrived()) return true;
    if (TWaitClock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

int TIdTCPConnection::ReadReply(std::initializer_list<int> accepted) {
  // The time-out holds for the whole reply: a server that trickles a byte
  // now and then must not hold the transfer thread for ever.
  TReplyDeadline deadline(readDeadline_, ReadTimeout);
  std::size_t size = 0;
  auto next = [this, &size] {
    for (;;) {
      std::string raw = ReadLn();
      size += raw.size() + 1;
      if (size > kMaxReplyBytes) throw EIdReplyTooLong();
      Trace('<', raw);
      std::string line = TrimReplyLine(raw);
      if (!line.empty()) return line;
    }
  };
  std::vector<std::string> lines{next()};
  if (OpensMultiLineReply(lines[0])) {
    do {
      lines.push_back(next());
    } while (!EndsMultiLineReply(lines[0], lines.back()));
  }
  LastReply = ParseReply(lines);
  RaiseIfRefused(accepted);
  return LastReply.NumericCode;
}

void TIdTCPConnection::RaiseIfRefused(std::initializer_list<int> accepted) const {
  if (accepted.size() == 0) return;
  if (std::find(accepted.begin(), accepted.end(), LastReply.NumericCode) != accepted.end()) return;
  throw EIdProtocolReplyError(LastReply.NumericCode, LastReply.Message());
}

int TIdTCPConnection::SendCommand(std::string_view command, std::initializer_list<int> accepted) {
  CheckCommandArgument(command);
  std::string line(command);
  line += "\r\n";
  Trace('>', MaskedCommand(command));
  Write(line);
  return ReadReply(accepted);
}

void TIdTCPConnection::BeginWork(TWorkMode, std::int64_t) {
  if (workDepth_++ == 0) workCount_ = 0;
}

void TIdTCPConnection::DoWork(TWorkMode mode, std::int64_t count) {
  if (workDepth_ == 0) return;
  workCount_ += count;
  if (OnWork) OnWork(*this, mode, workCount_);
}

void TIdTCPConnection::EndWork(TWorkMode) {
  if (workDepth_ > 0) --workDepth_;
}

}  // namespace tovra
