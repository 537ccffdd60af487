// TIdFTP: the FTP client. The control connection (login, commands, replies)
// plus active-mode data transfers (STOR, LIST) and the parsed listing.
// Blocking, used by one thread; the progress handler (OnWork) runs on that
// thread inside transfers and may call AbortTransfer.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ftp/ftp_list.h"
#include "ftp/simple_server.h"
#include "ftp/tcp_client.h"

namespace tovra {

enum class TIdFTPTransferType { ftASCII, ftBinary };
enum class TIdFtpProxyType { fpcmNone };

// Proxy settings: carried, never used; every connection goes to Host directly.
struct TIdFtpProxySettings {
  TIdFtpProxyType ProxyType = TIdFtpProxyType::fpcmNone;
  std::string Host;
  std::string UserName;
  std::string Password;
  int Port = 0;
};

class TIdFTP : public TIdTCPClient {
 public:
  TIdFTP() = default;
  ~TIdFTP() override;

  std::string Username;
  std::string Password;
  TIdFTPTransferType TransferType = TIdFTPTransferType::ftBinary;
  TIdFtpProxySettings ProxySettings;
  // The wait for the server's data connection, passed to each data connection.
  int AcceptTimeout = kDefaultAcceptTimeoutMs;
  int AcceptPollInterval = kDefaultAcceptPollMs;
  // When set, a store sends PORT and STOR together and then reads both
  // replies: one round trip less per file across a distance. Every server
  // reads commands in order, but the single-session sequence keeps its
  // one-command-one-reply rhythm; the engine sets this for its reused and
  // parallel sessions only.
  bool PipelineStore = false;
  // The date relative listing dates are read against (tests fix it).
  std::function<TListDate()> Today = TodayLocal;

  TIdRFCReply WelcomeReply;
  TIdRFCReply LoginReply;
  std::string ServerSystem;

  // TCP connect, greeting 220, USER/PASS, TYPE, SYST. Any failure closes the
  // connection and raises the same error again.
  void OpenSession();
  void CloseSession() { CloseSocket(); }
  std::string QueryWorkingDir();
  void ChangeWorkingDir(const std::string& path);
  void MakeRemoteDir(const std::string& name);

  // Uploads the local file (CP932 path) whole as remoteName. The file is
  // opened before anything is sent; its errors are EFileError.
  void StoreFile(const std::string& localPath, const std::string& remoteName);
  // The bare LIST of the current folder; fills lines (if given) and ListingLines.
  void ListDirectory(TStringList* lines = nullptr);
  // ABOR on the control connection (reply not read) and the data socket closed.
  void AbortTransfer();

  const TStringList& ListingLines() const { return listingLines_; }
  // Built from ListingLines on first access after each listing.
  const TIdFTPListItems& ParsedListing();

 private:
  // Listens for the server's data connection and sends PORT; reads its
  // reply unless readReply is false (the caller reads it later).
  void OpenDataConnection(bool readReply = true);
  // Writes a command without waiting for its reply.
  void SendOnly(const std::string& command);
  void AcceptDataConnection();
  void ReleaseDataConnection();
  void ReadTransferReplies();
  std::string ReceiveListing();

  std::unique_ptr<TIdSimpleServer> data_;
  TStringList listingLines_;
  std::optional<TIdFTPListItems> parsed_;
};

}  // namespace tovra
