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

inline constexpr std::size_t kMaxListingBytes = std::size_t{64} << 20;

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
  // opened before anything is sent; its errors are EFileError. A final
  // 426, 450 or 451 that no ABOR of ours asked for raises the reply error.
  void StoreFile(const std::string& localPath, const std::string& remoteName);
  // The bare LIST of the current folder; fills lines (if given) and
  // ListingLines. The whole listing must arrive within ReadTimeout and hold
  // at most kMaxListingBytes (EIdListingTooLong).
  void ListDirectory(TStringList* lines = nullptr);
  // ABOR on the control connection (reply not read) and the data socket closed.
  void AbortTransfer();

  const TStringList& ListingLines() const { return listingLines_; }
  // Built from ListingLines on first access after each listing.
  const TIdFTPListItems& ParsedListing();

 private:
  void OpenDataConnection();
  void AcceptDataConnection();
  void ReleaseDataConnection();
  void ReadTransferReplies();
  void ReadStoreReplies();
  std::string ReceiveListing();

  std::unique_ptr<TIdSimpleServer> data_;
  bool abortSent_ = false;  // ABOR written during the current transfer
  TStringList listingLines_;
  std::optional<TIdFTPListItems> parsed_;
};

}  // namespace tovra
