// Data transfers of TIdFTP: STOR, LIST and their abort, over active or
// passive data connections, plain or TLS.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "ftp/data_address.h"
#include "ftp/id_exceptions.h"
#include "ftp/id_ftp.h"
#include "ftp/remote_names.h"
#include "platform/files.h"
#include "util/errors.h"

namespace tovra {

namespace {

// A read-only descriptor of a local file, closed on every path. Other
// readers and writers are never locked out.
class TLocalFile {
 public:
  explicit TLocalFile(const std::string& path) {
    fd_ = OpenRegularFile(path);  // a FIFO or device is refused, never waited on
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
      int err = errno;
      ::close(fd_);
      throw EFileError::CannotOpen(path, std::strerror(err));
    }
    size_ = st.st_size;
    path_ = path;
  }
  ~TLocalFile() { ::close(fd_); }
  TLocalFile(const TLocalFile&) = delete;
  TLocalFile& operator=(const TLocalFile&) = delete;

  int Fd() const { return fd_; }
  std::int64_t Size() const { return size_; }
  const std::string& Path() const { return path_; }

 private:
  int fd_ = -1;
  std::int64_t size_ = 0;
  std::string path_;
};

std::size_t ReadBlock(const TLocalFile& file, char* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(file.Fd(), buffer, size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno != EINTR) throw EFileError::CannotOpen(file.Path(), std::strerror(errno));
  }
}

}  // namespace

void TIdFTP::SendOnly(const std::string& command) {
  CheckCommandArgument(command);
  Trace('>', MaskedCommand(command));
  Write(command + "\r\n");
}

void TIdFTP::OpenDataConnection(bool readReply) {
  ReleaseDataConnection();
  abortSent_ = false;
  if (Passive) {
    OpenPassiveConnection();
    return;
  }
  data_ = std::make_unique<TIdSimpleServer>();
  ShareSettingsWith(*data_);
  data_->AcceptTimeout = AcceptTimeout;
  data_->AcceptPollInterval = AcceptPollInterval;
  data_->BoundIP = LocalAddress();
  data_->BoundPort = 0;
  // Only the server we talk to may deliver or take the data.
  data_->AllowedPeer = PeerAddress();
  data_->BeginListening();
  const std::string port = IsIPv6() ? "EPRT " + EprtArgument(data_->BoundIP, data_->BoundPort)
                                    : "PORT " + PortArgument(data_->BoundIP, data_->BoundPort);
  if (readReply) {
    SendCommand(port, {200});
  } else {
    SendOnly(port);
  }
}

void TIdFTP::ShareSettingsWith(TIdTCPConnection& data) const {
  data.RecvBufferSize = RecvBufferSize;
  data.SendBufferSize = SendBufferSize;
  data.ReadTimeout = ReadTimeout;
  data.CancelFlag = CancelFlag;
  data.OnWork = OnWork;
  data.Interrupter = Interrupter;
}

int TIdFTP::PassivePort() {
  // EPSV first (the only choice on IPv6); a refusal makes PASV the answer
  // for the rest of the connection, and so does a feature list without it.
  const bool ipv6 = IsIPv6();
  if (!epsvRefused_ && (ipv6 || !featuresAnswered_ || HasFeature("EPSV"))) {
    int code = SendCommand("EPSV", {});
    if (code == 229) {
      if (auto port = ParseEpsvReply(LastReply.Message())) return *port;
      throw EIdProtocolReplyError(code, LastReply.Message());
    }
    if (ipv6 || code < 500) throw EIdProtocolReplyError(code, LastReply.Message());
    epsvRefused_ = true;
  }
  SendCommand("PASV", {227});
  if (auto port = ParsePasvReply(LastReply.Message())) return *port;
  throw EIdProtocolReplyError(227, LastReply.Message());
}

void TIdFTP::OpenPassiveConnection() {
  int port = PassivePort();
  passiveData_ = std::make_unique<TIdTCPClient>();
  ShareSettingsWith(*passiveData_);
  passiveData_->ConnectTimeout = ConnectTimeout;
  // The address a 227 names is ignored: behind NAT it is often private, and
  // following it would let a server send the client to any host.
  passiveData_->Host = PeerAddress();
  passiveData_->Port = port;
  passiveData_->Connect();
}

TIdTCPConnection* TIdFTP::Data() {
  if (passiveData_) return passiveData_.get();
  return data_.get();
}

void TIdFTP::AcceptDataConnection() {
  if (data_) data_->Listen();
  if (!dataTls_) return;
  // The data connection resumes the control connection's session (servers
  // may refuse data otherwise) and must show the same certificate.
  Data()->StartTls(Host, NextDataSession());
  const TCertificateInfo& shown = Data()->Tls()->Certificate();
  if (shown.Sha256 != certificate_.Sha256) throw ECertificateRejected(Host, shown);
}

void TIdFTP::KeepSessions(TTlsStream* stream) {
  if (stream == nullptr) return;
  for (auto& session : stream->TakeNewSessions()) KeepNewestSession(sessions_, std::move(session));
}

TTlsSession TIdFTP::NextDataSession() {
  KeepSessions(Tls());
  if (sessions_.empty()) return Tls() != nullptr ? Tls()->Session() : nullptr;
  TTlsSession session = std::move(sessions_.front());
  sessions_.erase(sessions_.begin());
  return session;
}

void TIdFTP::ReleaseDataConnection() {
  // Sessions the server handed out on this connection serve the next ones.
  if (TIdTCPConnection* data = Data(); data != nullptr && data->Tls() != nullptr) {
    if (!data->ClosedGracefully()) data->Tls()->ReadAhead();
    KeepSessions(data->Tls());
  }
  if (passiveData_) {
    passiveData_->CloseSocket();
    passiveData_.reset();
  }
  if (!data_) return;
  data_->EndListening();
  data_.reset();
}

void TIdFTP::ReadTransferReplies() {
  int code = ReadReply({225, 226, 250, 426, 450});
  if (code == 426 || code == 450) ReadReply({226, 225});
}

void TIdFTP::ReadStoreReplies() {
  // 426 or 450 answers our ABOR, with the closing reply after it. Without
  // an ABOR the same codes say the server lost the file: a failed store.
  if (abortSent_) {
    ReadTransferReplies();
  } else {
    ReadReply({225, 226, 250});
  }
}

void TIdFTP::StoreFile(const std::string& localPath, const std::string& remoteName) {
  CheckCommandArgument("STOR " + remoteName);
  const std::string wireName = ToServerName(remoteName, utf8Names_);
  TLocalFile file(localPath);
  try {
    // Pipelining saves the PORT round trip; a passive connection must read
    // its EPSV or PASV reply before it can connect, so it never pipelines.
    if (PipelineStore && !Passive) {
      OpenDataConnection(false);
      SendOnly("STOR " + wireName);
      // A refused PORT leaves the STOR reply unread: the caller drops the
      // connection on any failure. A server that answers PORT only once it
      // has connected may answer STOR first.
      if (ReadReply({200, 125, 150}) == 200) {
        ReadReply({125, 150});
      } else {
        ReadReply({200});
      }
    } else {
      OpenDataConnection();
      SendCommand("STOR " + wireName, {125, 150});
    }
    AcceptDataConnection();
    std::vector<char> block(SendBufferSize > 0 ? SendBufferSize : kBlockSize);
    Data()->BeginWork(TWorkMode::wmWrite, file.Size());
    std::int64_t sent = 0;
    while (sent < file.Size()) {
      std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(file.Size() - sent, block.size()));
      std::size_t got = ReadBlock(file, block.data(), want);
      if (got == 0) throw EIdNoDataToRead();
      Data()->Write(std::string_view(block.data(), got));
      sent += static_cast<std::int64_t>(got);
    }
    Data()->EndWork(TWorkMode::wmWrite);
    if (Data()->Tls() == nullptr) ReleaseDataConnection();
  } catch (...) {
    ReleaseDataConnection();
    throw;
  }
  if (Data() == nullptr) {
    ReadStoreReplies();
    return;
  }
  // TLS: the closing alert ends the file; the server's new session, sent
  // while the file went out, is read after its reply, then the socket closes.
  try {
    Data()->Tls()->Shutdown();
    ReadStoreReplies();
  } catch (...) {
    ReleaseDataConnection();
    throw;
  }
  ReleaseDataConnection();
}

std::string TIdFTP::ReceiveListing() {
  std::string text;
  TIdTCPConnection* data = Data();
  std::string& buffer = data->InputBuffer();
  data->BeginWork(TWorkMode::wmRead, 0);
  const std::size_t blockSize = RecvBufferSize > 0 ? RecvBufferSize : kBlockSize;
  // Progress is reported per full block only; an abort from the handler
  // closes the connection, which ends the loop like the server's close.
  while (!data->ClosedGracefully()) {
    if (text.size() + buffer.size() > kMaxListingBytes) throw EIdListingTooLong();
    if (buffer.size() >= blockSize) {
      text.append(buffer, 0, blockSize);
      buffer.erase(0, blockSize);
      data->DoWork(TWorkMode::wmRead, static_cast<std::int64_t>(blockSize));
      continue;
    }
    data->ReceiveSome();
  }
  if (text.size() + buffer.size() > kMaxListingBytes) throw EIdListingTooLong();
  text += buffer;
  buffer.clear();
  data->EndWork(TWorkMode::wmRead);
  return text;
}

void TIdFTP::ListDirectory(TStringList* lines) {
  std::string text;
  try {
    OpenDataConnection();
    SendCommand("LIST", {125, 150, 154});
    AcceptDataConnection();
    // The time-out holds for the whole listing, as for a whole reply.
    Data()->SetReadDeadline(DeadlineAfter(ReadTimeout));
    text = ReceiveListing();
    ReleaseDataConnection();
  } catch (...) {
    ReleaseDataConnection();
    throw;
  }
  ReadTransferReplies();
  parsed_.reset();
  // The listing text ends at its first NUL byte.
  text.resize(std::min(text.size(), text.find('\0')));
  listingLines_.SetText(text);
  if (lines != nullptr) *lines = listingLines_;
}

void TIdFTP::AbortTransfer() {
  if (IsConnected()) {
    Trace('>', "ABOR");
    abortSent_ = true;
    Write("ABOR\r\n");
  }
  if (TIdTCPConnection* data = Data()) data->CloseSocket();
}

}  // namespace tovra
