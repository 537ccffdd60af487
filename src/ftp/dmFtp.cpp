#include "ftp/dmFtp.h"

#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {

TFTP::TFTP() {
  IdFTP1.OnWork = [this](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    IdFTP1Work(sender, mode, count);
  };
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
  if (Cancelled()) AddMessage("リーもとファイル情報取得ユーザキャンセル");
}

bool TFTP::EnterExistingFolder(const std::string& piece) {
  for (const auto& item : IdFTP1.ParsedListing()) {
    if (item.FileName == piece && item.ItemType == TIdDirItemType::ditDirectory) {
      IdFTP1.ChangeWorkingDir(piece);
      return true;
    }
  }
  return false;
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
    if (EnterExistingFolder(pieces[i])) {
      ++i;
      continue;
    }
    // From the first missing level on, nothing below can exist yet.
    for (; i < pieces.Count(); ++i) {
      IdFTP1.MakeRemoteDir(pieces[i]);
      IdFTP1.ChangeWorkingDir(pieces[i]);
    }
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
