// Data transfers of TIdFTP: STOR, LIST and their abort, over active or
// passive data connections, plain or TLS.
#include <cstring>
#include <utility>
#include <vector>

#include "ftp/data_address.h"
#include "ftp/id_exceptions.h"
#include "ftp/id_ftp.h"
#include "ftp/remote_names.h"
#include "platform/files.h"
#include "platform/read_only_file.h"
#include "util/errors.h"

namespace tovra {

void TIdFTP::SendOnly(const std::vector<std::string>& commands) {
  // One write for them all: written one by one, each after the first would
  // wait for the acknowledgement of the one before (Nagle's rule), a round
  // trip apiece across a distance.
  std::string bytes;
  for (const auto& command : commands) {
    if (command.empty()) continue;
    CheckCommandArgument(command);
    bytes += command + "\r\n";
  }
  for (const auto& command : commands) {
    if (!command.empty()) Trace('>', MaskedCommand(command));
  }
  Write(bytes);
}

void TIdFTP::OpenDataConnection(std::string* portCommand) {
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
  if (portCommand == nullptr) {
    SendCommand(port, {200});
  } else {
    *portCommand = port;
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

std::string TIdFTP::PassiveCommand() const {
  // EPSV first (the only choice on IPv6); a refusal makes PASV the answer
  // for the rest of the connection, and so does a feature list without it.
  if (!epsvRefused_ && (IsIPv6() || !featuresAnswered_ || HasFeature("EPSV"))) return "EPSV";
  return "PASV";
}

std::optional<int> TIdFTP::PassiveReplyPort(const std::string& command, int code) {
  if (command == "EPSV") {
    if (code == 229) {
      if (auto port = ParseEpsvReply(LastReply.Message())) {
        epsvAnswered_ = true;
        return port;
      }
      throw EIdProtocolReplyError(code, LastReply.Message());
    }
    if (IsIPv6() || code < 500) throw EIdProtocolReplyError(code, LastReply.Message());
    epsvRefused_ = true;
    return std::nullopt;
  }
  if (code != 227) throw EIdProtocolReplyError(code, LastReply.Message());
  if (auto port = ParsePasvReply(LastReply.Message())) return port;
  throw EIdProtocolReplyError(227, LastReply.Message());
}

void TIdFTP::AwaitPortAhead(const std::string& command) {
  // The file is confirmed by now: a failure here must not fail it. The
  // connection closes instead, and the next store logs in afresh.
  try {
    nextPassivePort_ = PassiveReplyPort(command, ReadReply({}));
  } catch (const std::exception&) {
    nextPassivePort_.reset();
    CloseSession();
  }
}

int TIdFTP::PassivePort() {
  for (;;) {
    const std::string command = PassiveCommand();
    if (auto port = PassiveReplyPort(command, SendCommand(command, {}))) return *port;
  }
}

void TIdFTP::OpenPassiveConnection() {
  // A port asked for ahead is used once; a server that has closed it
  // meanwhile is asked again.
  std::optional<int> ahead = std::exchange(nextPassivePort_, std::nullopt);
  for (;;) {
    const int port = ahead ? *ahead : PassivePort();
    try {
      ConnectPassive(port);
      return;
    } catch (const EIdSocketError&) {
      if (!ahead) throw;
      ahead.reset();
    }
  }
}

void TIdFTP::ConnectPassive(int port) {
  passiveData_ = std::make_unique<TIdTCPClient>();
  ShareSettingsWith(*passiveData_);
  passiveData_->ConnectTimeout = ConnectTimeout;
  // The address a 227 names is ignored: behind NAT it is often private, and
  // following it would let a server send the client to any host.
  passiveData_->Host = PeerAddress();
  passiveData_->Port = port;
  try {
    passiveData_->Connect();
  } catch (...) {
    passiveData_.reset();
    throw;
  }
}

void TIdFTP::SendStore(const std::string& stor) {
  // Only where EPSV has worked on this connection: a refused one would
  // leave the STOR without a port.
  if (PipelineStore && Passive && !nextPassivePort_ && epsvAnswered_ && !epsvRefused_) {
    ReleaseDataConnection();
    abortSent_ = false;
    SendOnly({"EPSV", stor});
    // The STOR's reply is unread: the caller drops the connection on a failure.
    ConnectPassive(AheadPort("EPSV"));
    return;
  }
  OpenDataConnection();
  SendOnly({stor});
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
  Store(localPath, remoteName, nullptr);
}

bool TIdFTP::StoreAndRename(const std::string& localPath, const std::string& remoteName, const std::string& renameTo) {
  if (!PipelineStore) {
    Store(localPath, remoteName, nullptr);
    return RenameRemote(remoteName, renameTo);
  }
  return Store(localPath, remoteName, &renameTo);
}

void TIdFTP::WriteFileData(TReadOnlyFile& file) {
  std::vector<char> block(SendBufferSize > 0 ? SendBufferSize : kBlockSize);
  Data()->BeginWork(TWorkMode::wmWrite, file.Size());
  std::int64_t sent = 0;
  while (sent < file.Size()) {
    std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(file.Size() - sent, block.size()));
    std::size_t got = file.Read(block.data(), want);
    if (got == 0) throw EIdNoDataToRead();
    Data()->Write(std::string_view(block.data(), got));
    sent += static_cast<std::int64_t>(got);
  }
  Data()->EndWork(TWorkMode::wmWrite);
}

bool TIdFTP::Store(const std::string& localPath, const std::string& remoteName, const std::string* renameTo) {
  CheckCommandArgument("STOR " + remoteName);
  const std::string wireName = ToServerName(remoteName, utf8Names_);
  std::string rnfr, rnto;
  if (renameTo != nullptr) {
    rnfr = "RNFR " + wireName;
    rnto = "RNTO " + ToServerName(*renameTo, utf8Names_);
    CheckCommandArgument(rnto);
  }
  TReadOnlyFile file(localPath);
  try {
    // Pipelining saves the PORT round trip. The data waits for the STOR
    // reply in either mode: a server that has taken the data connection
    // before the STOR can take an early end of the data for an empty file.
    if (PipelineStore && !Passive) {
      std::string port;
      OpenDataConnection(&port);
      SendOnly({port, "STOR " + wireName});
      // A refused PORT leaves the STOR reply unread: the caller drops the
      // connection on any failure. A server that answers PORT only once it
      // has connected may answer STOR first.
      if (ReadReply({200, 125, 150}) == 200) {
        ReadReply({125, 150});
      } else {
        ReadReply({200});
      }
    } else {
      SendStore("STOR " + wireName);
      ReadReply({125, 150});
    }
    AcceptDataConnection();
    WriteFileData(file);
    if (Data()->Tls() == nullptr) ReleaseDataConnection();
  } catch (...) {
    ReleaseDataConnection();
    throw;
  }
  // Once the file is confirmed, the rename and the next store's passive
  // port go out together: one round trip for both. (Nothing is sent before
  // the confirmation: a server that reads commands during a transfer would
  // rename a file not yet whole.)
  bool renamed = false;
  auto settle = [&] {
    ReadStoreReplies();
    if (renameTo == nullptr) return;
    const std::string passive = Passive && !abortSent_ ? PassiveCommand() : std::string();
    SendOnly({rnfr, rnto, passive});
    renamed = ReadRenameReplies();
    if (!passive.empty()) AwaitPortAhead(passive);
  };
  if (Data() == nullptr) {
    settle();
    return renamed;
  }
  // TLS: the closing alert ends the file; the server's new session, sent
  // while the file went out, is read after its reply, then the socket closes.
  try {
    Data()->Tls()->Shutdown();
    settle();
  } catch (...) {
    ReleaseDataConnection();
    throw;
  }
  ReleaseDataConnection();
  return renamed;
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
