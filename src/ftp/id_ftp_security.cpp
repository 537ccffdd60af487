// FTP over TLS and the feature list of TIdFTP: AUTH TLS or implicit TLS on
// the control connection, the certificate check with its pin and the user's
// answer, and FEAT read as a whole.
#include <algorithm>

#include "ftp/id_exceptions.h"
#include "ftp/id_ftp.h"
#include "util/errors.h"
#include "util/string_list.h"

namespace tovra {

namespace {

// A FEAT reply may list many features; more lines than this is no FEAT reply.
constexpr std::size_t kMaxFeatureLines = 1000;

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string CertificateText(const TCertificateInfo& c) {
  return FormatMessage("主体: %s\r\n発行者: %s\r\n有効期間: %s - %s\r\nSHA-256 指紋: %s",
                       {c.Subject, c.Issuer, c.NotBefore, c.NotAfter, c.Sha256});
}

}  // namespace

ECertificateRejected::ECertificateRejected(const std::string& host, const TCertificateInfo& certificate)
    : EIdException(FormatMessage("%s のサーバー証明書は信頼されていません (%s)。ユーザ名を送らずに切断しました。\r\n%s",
                                 {host, certificate.Problem, CertificateText(certificate)})),
      certificate_(certificate) {}

bool TIdFTP::HasFeature(std::string_view name) const {
  std::string wanted = Upper(std::string(name));
  return std::any_of(Features.begin(), Features.end(),
                     [&](const std::string& line) { return line == wanted || line.rfind(wanted + " ", 0) == 0; });
}

void TIdFTP::AskFeatures() {
  std::string command = "FEAT";
  Trace('>', command);
  Write(command + "\r\n");
  // Read to the closing "211 " line: a short feature line ("211-" replies
  // list one feature per line, some only three letters long) is text.
  std::vector<std::string> lines;
  auto next = [this] {
    for (;;) {
      std::string raw = ReadLn();
      Trace('<', raw);
      std::string line = TrimReplyLine(raw);
      if (!line.empty()) return line;
    }
  };
  lines.push_back(next());
  if (OpensMultiLineReply(lines[0])) {
    std::string end = lines[0].substr(0, 3) + " ";
    for (;;) {
      std::string line = next();
      lines.push_back(line);
      if (line.size() >= 4 && SameTextNoCase(line.substr(0, 4), end)) break;
      if (lines.size() > kMaxFeatureLines) throw EIdProtocolReplyError(0, "FEAT の応答が長すぎます\r\n");
      Features.push_back(Upper(line));
    }
  }
  LastReply = ParseReply(lines);
  featuresAnswered_ = LastReply.NumericCode == 211;
  if (!featuresAnswered_) Features.clear();
}

bool TIdFTP::NegotiateExplicitTls() {
  const bool required = Encryption == TFtpEncryption::Explicit;
  // A server whose feature list leaves out AUTH TLS is taken at its word.
  const bool offered = !featuresAnswered_ || HasFeature("AUTH TLS") || HasFeature("AUTH");
  int code = 0;
  if (offered || required) code = SendCommand("AUTH TLS", {});
  if (code == 234) {
    SecureControlConnection();
    return true;
  }
  std::string answer = code != 0 ? LastReply.TextCode + " " + TrimReplyLine(LastReply.Message()) : "FEAT";
  if (required) {
    throw ETlsRefused(FormatMessage("%s は暗号化 (AUTH TLS) を受け付けませんでした (%s)。パスワードは送っていません。",
                                    {Host, answer}));
  }
  if (OnStatus) OnStatus(FormatMessage("%s は暗号化に対応していません。この接続は暗号化されていません。", {Host}));
  return false;
}

TCertificateInfo TIdFTP::FetchCertificate() {
  if (IsConnected()) throw EIdAlreadyConnected();
  try {
    Connect();
    if (Encryption != TFtpEncryption::Implicit) {
      ReadReply({220});
      if (SendCommand("AUTH TLS", {}) != 234) {
        throw ETlsRefused(FormatMessage("%s は暗号化 (AUTH TLS) を受け付けませんでした (%s)",
                                        {Host, LastReply.TextCode + " " + TrimReplyLine(LastReply.Message())}));
      }
    }
    StartTls(Host, nullptr);
    TCertificateInfo info = Tls()->Certificate();
    CloseSession();
    return info;
  } catch (...) {
    CloseSession();
    throw;
  }
}

void TIdFTP::SecureControlConnection() {
  StartTls(Host, nullptr);
  certificate_ = Tls()->Certificate();
  CheckCertificate(certificate_);
}

void TIdFTP::CheckCertificate(const TCertificateInfo& info) {
  if (info.Verified) return;
  std::string pin = CanonicalSha256(PinnedSha256);
  if (!pin.empty() && !info.Sha256.empty() && pin == info.Sha256) return;
  if (!info.Sha256.empty() && OnUntrustedCertificate && OnUntrustedCertificate(info)) return;
  throw ECertificateRejected(Host, info);
}

}  // namespace tovra
