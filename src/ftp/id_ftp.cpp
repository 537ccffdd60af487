#include "ftp/id_ftp.h"

#include "ftp/id_exceptions.h"
#include "ftp/remote_names.h"

namespace tovra {

TIdFTP::~TIdFTP() { ReleaseDataConnection(); }

void TIdFTP::OpenSession() {
  if (IsConnected()) throw EIdAlreadyConnected();
  // The arguments are checked before the connection opens, so a refused user
  // name or password never reaches the server.
  CheckCommandArgument("USER " + Username);
  CheckCommandArgument("PASS " + Password);
  Features.clear();
  featuresAnswered_ = false;
  epsvRefused_ = false;
  epsvAnswered_ = false;
  readsDuringTransfer_ = TReadsDuringTransfer::Unknown;
  nextPassivePort_.reset();
  dataTls_ = false;
  sessions_.clear();
  certificate_ = TCertificateInfo();
  try {
    Connect();
    if (Encryption == TFtpEncryption::Implicit) SecureControlConnection();
    ReadReply({220});
    WelcomeReply = LastReply;
    // Names in the server's encoding (auto) are decided by FEAT too.
    if (Passive || Encryption != TFtpEncryption::None || NameEncoding == TRemoteNameEncoding::Auto) AskFeatures();
    if (Encryption == TFtpEncryption::Explicit || Encryption == TFtpEncryption::ExplicitIfAvailable) {
      NegotiateExplicitTls();
    }
    if (Encrypted()) {
      SendCommand("PBSZ 0", {200});
      SendCommand("PROT P", {200});
      dataTls_ = true;
    }
    if (SendCommand("USER " + Username, {230, 331}) == 331) SendCommand("PASS " + Password, {230});
    LoginReply = LastReply;
    SendCommand(TransferType == TIdFTPTransferType::ftBinary ? "TYPE I" : "TYPE A", {200});
    if (SendCommand("SYST", {200, 215, 500}) == 500) {
      ServerSystem = "不明";
    } else {
      ServerSystem = LastReply.Text.Count() > 0 ? LastReply.Text[0] : std::string();
    }
    AgreeNameEncoding();
  } catch (...) {
    CloseSession();
    throw;
  }
}

void TIdFTP::AgreeNameEncoding() {
  utf8Names_ = NameEncoding == TRemoteNameEncoding::Utf8;
  // A server without FEAT, or whose FEAT does not list UTF8, keeps CP932 names.
  if (NameEncoding != TRemoteNameEncoding::Auto || !HasFeature("UTF8")) return;
  utf8Names_ = true;
  // Some servers switch their names to UTF-8 only when asked; the others
  // refuse or ignore it, and their FEAT has said UTF-8 all the same.
  SendCommand("OPTS UTF8 ON", {});
}

std::string TIdFTP::QueryWorkingDir() {
  SendCommand("PWD", {257});
  std::string line = LastReply.Text.Count() > 0 ? LastReply.Text[0] : std::string();
  std::optional<std::string> folder = QuotedReplyName(line);
  // An empty home would put every file under the server's root.
  if (!folder || folder->empty()) {
    throw EIdUnreadableReply("PWD の応答からフォルダ名を読み取れません: " + LastReply.TextCode + " " + line);
  }
  return ServerNameToCp932(*folder, utf8Names_);
}

void TIdFTP::ChangeWorkingDir(const std::string& path) {
  nextPassivePort_.reset();
  SendCommand("CWD " + ToServerName(path, utf8Names_), {200, 250});
}

void TIdFTP::MakeRemoteDir(const std::string& name) {
  nextPassivePort_.reset();
  SendCommand("MKD " + ToServerName(name, utf8Names_), {257});
}

namespace {

// Runs one command exchange; a permanent refusal gives false.
template <typename F>
bool UnlessRefused(F exchange) {
  try {
    exchange();
    return true;
  } catch (const EIdProtocolReplyError& e) {
    if (e.ReplyErrorCode() >= 500 && e.ReplyErrorCode() < 600) return false;
    throw;
  }
}

}  // namespace

bool TIdFTP::RenameRemote(const std::string& from, const std::string& to) {
  const std::string rnfr = "RNFR " + ToServerName(from, utf8Names_);
  const std::string rnto = "RNTO " + ToServerName(to, utf8Names_);
  nextPassivePort_.reset();
  if (!PipelineStore) {
    return UnlessRefused([&] {
      SendCommand(rnfr, {350});
      SendCommand(rnto, {250});
    });
  }
  // Both go out together, one round trip for the two; a refused RNFR makes
  // the server refuse the RNTO that follows it as out of sequence.
  CheckCommandArgument(rnto);
  SendOnly({rnfr, rnto});
  return ReadRenameReplies();
}

bool TIdFTP::ReadRenameReplies() {
  const int first = ReadReply({});
  const std::string firstText = LastReply.Message();
  const int second = ReadReply({});
  if (first == 350 && second == 250) return true;
  const int refused = first != 350 ? first : second;
  if (refused >= 500 && refused < 600) return false;
  throw EIdProtocolReplyError(refused, first != 350 ? firstText : LastReply.Message());
}

bool TIdFTP::DeleteRemoteFile(const std::string& name) {
  nextPassivePort_.reset();
  return UnlessRefused([&] { SendCommand("DELE " + ToServerName(name, utf8Names_), {250}); });
}

bool TIdFTP::RemoveRemoteDir(const std::string& name) {
  nextPassivePort_.reset();
  return UnlessRefused([&] { SendCommand("RMD " + ToServerName(name, utf8Names_), {250}); });
}

const TIdFTPListItems& TIdFTP::ParsedListing() {
  if (!parsed_) {
    parsed_ = BuildParsedListing(utf8Names_ ? ServerLinesToCp932(listingLines_) : listingLines_, Today());
  }
  return *parsed_;
}

}  // namespace tovra
