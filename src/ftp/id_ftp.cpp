#include "ftp/id_ftp.h"

#include "ftp/id_exceptions.h"

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
  dataTls_ = false;
  sessions_.clear();
  certificate_ = TCertificateInfo();
  try {
    Connect();
    if (Encryption == TFtpEncryption::Implicit) SecureControlConnection();
    ReadReply({220});
    WelcomeReply = LastReply;
    if (Passive || Encryption != TFtpEncryption::None) AskFeatures();
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
  } catch (...) {
    CloseSession();
    throw;
  }
}

std::string TIdFTP::QueryWorkingDir() {
  SendCommand("PWD", {257});
  std::string line = LastReply.Text.Count() > 0 ? LastReply.Text[0] : std::string();
  std::size_t open = line.find('"');
  if (open == std::string::npos) return {};
  std::size_t close = line.find('"', open + 1);
  return line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

void TIdFTP::ChangeWorkingDir(const std::string& path) { SendCommand("CWD " + path, {200, 250}); }

void TIdFTP::MakeRemoteDir(const std::string& name) { SendCommand("MKD " + name, {257}); }

const TIdFTPListItems& TIdFTP::ParsedListing() {
  if (!parsed_) parsed_ = BuildParsedListing(listingLines_, Today());
  return *parsed_;
}

}  // namespace tovra
