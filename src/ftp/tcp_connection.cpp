#include "ftp/tcp_connection.h"

#include <algorithm>
#include <vector>

#include "ftp/id_exceptions.h"
#include "util/errors.h"

namespace tovra {

namespace {

bool ClosesSocket(int code) { return code == kWsaEConnAborted || code == kWsaEConnReset || code == kWsaEShutdown; }

}  // namespace

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
  closed_ = true;
  ReleaseSocket();
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
      int wait = ReadTimeout > 0 ? ReadTimeout : -1;
      // A peer that stops reading must not block the sender for ever.
      if (!socket_.WaitWritable(wait)) throw EIdSocketError(kWsaETimedOut);
      sent = socket_.SendSome(bytes.data() + done, std::min(bytes.size() - done, SendBufferSize));
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
    if (!socket_.WaitReadable(ReadTimeout > 0 ? ReadTimeout : -1)) throw EIdReadTimeout();
    got = socket_.Receive(buffer, std::min(RecvBufferSize, sizeof buffer));
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

int TIdTCPConnection::ReadReply(std::initializer_list<int> accepted) {
  auto next = [this] {
    for (;;) {
      std::string raw = ReadLn();
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
