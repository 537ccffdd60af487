#include "ftp/dmFtp.h"

#include "ftp/id_exceptions.h"
#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {

TFTP::TFTP() {
  // Every wait of the client and its data connections ends on an abort.
  IdFTP1.CancelFlag = &CancelRequested;
  IdFTP1.OnWork = [this](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    IdFTP1Work(sender, mode, count);
  };
  IdFTP1.OnStatus = [this](const std::string& line) { AddMessage(line); };
  IdFTP1.OnUntrustedCertificate = [this](const TCertificateInfo& certificate) { return AskTrust(certificate); };
}

void TFTP::ApplyConnectionSettings(const TFtpConnectionSettings& settings) {
  IdFTP1.Passive = settings.passive;
  IdFTP1.Encryption = settings.encryption;
  IdFTP1.PinnedSha256 = settings.certificateSha256;
  IdFTP1.NameEncoding = settings.nameEncoding;
}

bool TFTP::AskTrust(const TCertificateInfo& certificate) {
  if (CertificateTrust == nullptr) return false;
  // The host connected to: a run connects with its plan's records, not HostInfo.
  TTrustAnswer answer = CertificateTrust->AskTrust(IdFTP1.Host, certificate);
  if (answer == TTrustAnswer::Reject) return false;
  // Asked once: the rest of the run trusts the same certificate.
  IdFTP1.PinnedSha256 = certificate.Sha256;
  return true;
}

void TFTP::AddMessage(const std::string& text) {
  if (MessageLines != nullptr) MessageLines->Add(text);
  if (OnMessage) OnMessage(text);
}

void TFTP::ConnectTo(const THostInfo& host, const THostInfo& proxy) {
  if (Cancelled()) {
    AddMessage("connectユーザキャンセル");
    return;
  }
  IdFTP1.Host = host.HostName;
  IdFTP1.Port = host.Port;
  IdFTP1.Username = host.UserName;
  IdFTP1.Password = host.Password;
  // A proxy is carried along but never used: the connection stays direct.
  if (proxy.Port != 0) {
    IdFTP1.ProxySettings.Host = proxy.HostName;
    IdFTP1.ProxySettings.Port = proxy.Port;
  }
  IdFTP1.OpenSession();
  if (Cancelled()) AddMessage("コネクト中断");
  HomeDir = IdFTP1.QueryWorkingDir();
}

void TFTP::Disconnect() {
  if (Cancelled()) {
    AddMessage("切断ユーザキャンセル");
    return;
  }
  IdFTP1.CloseSession();
  if (Cancelled()) AddMessage("切断異常終了");
}

void TFTP::GetRemoteFileInfo(const std::string& /*mask*/) {
  if (Cancelled()) {
    AddMessage("リモートファイル情報取得ユーザキャンセル");
    return;
  }
  TStringList lines;
  IdFTP1.ListDirectory(&lines);
  // The given status text, spelt as it has always been.
  if (Cancelled()) AddMessage("リーもとファイル情報取得ユーザキャンセル");
}

bool TFTP::EnterExistingFolder(const std::string& piece, bool& listedAsFile) {
  listedAsFile = false;
  for (const auto& item : IdFTP1.ParsedListing()) {
    if (item.FileName == piece && item.ItemType == TIdDirItemType::ditDirectory) {
      IdFTP1.ChangeWorkingDir(piece);
      return true;
    }
    if (item.FileName == piece && item.ItemType == TIdDirItemType::ditFile) listedAsFile = true;
  }
  return false;
}

void TFTP::MakeOrEnterFolder(const std::string& piece, bool listedAsFile) {
  try {
    IdFTP1.MakeRemoteDir(piece);
  } catch (const EIdProtocolReplyError&) {
    // A folder the listing did not show (a dot folder, a linked folder, a
    // listing the parser cannot read) refuses MKD but can be entered. A
    // plain file of that name cannot: its refusal stands.
    if (listedAsFile || !TryChangeWorkingDir(piece)) throw;
    return;
  }
  IdFTP1.ChangeWorkingDir(piece);
}

bool TFTP::TryChangeWorkingDir(const std::string& piece) {
  try {
    IdFTP1.ChangeWorkingDir(piece);
    return true;
  } catch (const EIdProtocolReplyError&) {
    return false;
  }
}

void TFTP::AdjustRemoteDir(const std::string& path) {
  // Every piece becomes a command argument: refuse a line break before the
  // walk has sent anything.
  CheckCommandArgument("CWD " + path);
  TStringList pieces;
  int i = SplitString(pieces, HomeDir, "/");
  SplitString(pieces, path, "/");
  ChangeRemoteDir(HomeDir);
  while (i < pieces.Count()) {
    if (Cancelled()) {
      AddMessage("リモートディレクトリ調整ユーザキャンセル");
      return;
    }
    GetRemoteFileInfo("*.*");
    bool listedAsFile = false;
    if (EnterExistingFolder(pieces[i], listedAsFile)) {
      ++i;
      continue;
    }
    // From the first missing level on, nothing below is listed: each level
    // is made (or, when it exists unlisted, entered).
    MakeOrEnterFolder(pieces[i], listedAsFile);
    for (++i; i < pieces.Count(); ++i) MakeOrEnterFolder(pieces[i], false);
    return;
  }
}

void TFTP::ChangeRemoteDir(const std::string& path) {
  if (!Cancelled()) IdFTP1.ChangeWorkingDir(path);
}

void TFTP::PutFile(const std::string& localPath) {
  if (Cancelled()) return;
  IdFTP1.StoreFile(localPath, RemoteNameOf(localPath));
}

void TFTP::IdFTP1Work(TIdTCPConnection& /*sender*/, TWorkMode /*mode*/, std::int64_t /*count*/) {
  if (Cancelled()) IdFTP1.AbortTransfer();
}

std::string RemoteNameOf(const std::string& localPath) {
  std::string_view text = TextOf(localPath);
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t n = CharBytesAt(text, i);
    // ':' ends a drive name only where paths use '\'; elsewhere it is part of the name.
    if (n == 1 && (text[i] == kPathSep || (kPathSep == '\\' && text[i] == ':'))) start = i + 1;
    i += n;
  }
  return std::string(text.substr(start));
}

}  // namespace tovra
