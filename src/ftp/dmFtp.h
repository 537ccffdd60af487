// TFTP: the FTP session, the one object through which the system talks to
// the web server. It owns the client IdFTP1, the connection records, the
// cancel flag and the server's home directory, and offers coarse operations.
//
// How the transfer run drives it, per file:
//   if (ftp.CancelRequested.load(std::memory_order_relaxed) == 1) stop;
//   ftp.Connect();                    // then ftp.HomeDir holds the login folder
//   ftp.AdjustRemoteDir(remoteDir);   // enter remoteDir, creating what is missing
//   ftp.ChangeRemoteDir(remoteDir);
//   ftp.PutFile(localPath);           // STOR under the file's own name
//   ftp.Disconnect();
//
// Threads: every operation runs on the transfer thread, never two at once.
// CancelRequested is the only state shared with the UI thread: the UI stores
// 1 to cancel, the run stores 0 when it starts (relaxed atomics). Once it is
// 1, every operation is a no-op (with its status line where it has one), and
// a running store or listing is aborted at its next progress event. The
// client holds a pointer to the flag, so a wait for a connect, a reply or
// a data connection ends within a fraction of a second with EIdCancelled.
// Errors are never caught here: the client's EIdException family and the
// file system's EFileError reach the caller unchanged. Status lines go to
// MessageLines (if attached) and to OnMessage (if set), on the calling thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "ftp/certificate_trust.h"
#include "ftp/id_ftp.h"
#include "util/string_list.h"

namespace tovra {

class IHostKeyPrompt;

// How a site's connections are made; the defaults are plain FTP with active
// data connections. A plain value, so a plan of uploads can carry it.
struct TFtpConnectionSettings {
  bool passive = false;
  TFtpEncryption encryption = TFtpEncryption::None;
  std::string certificateSha256;  // pinned fingerprint; empty: none
  // The names the server keeps (TIdFTP::NameEncoding).
  TRemoteNameEncoding nameEncoding = TRemoteNameEncoding::Cp932;
  bool operator==(const TFtpConnectionSettings&) const = default;
};

// Connection parameters of a server or proxy (a plain record).
class THostInfo {
 public:
  std::string HostName;
  std::string UserName;
  std::string Password;  // plain text
  std::int32_t Port = 0;
};

class TFTP {
 public:
  TFTP();  // DataModuleCreate: the client's settings and its progress handler
  TFTP(const TFTP&) = delete;
  TFTP& operator=(const TFTP&) = delete;

  TIdFTP IdFTP1;
  std::atomic<std::uint8_t> CancelRequested{0};
  THostInfo HostInfo;
  THostInfo ProxyInfo;                                // Port 0: the site uses no proxy
  std::string HomeDir;                                // the working folder right after the last Connect
  TStringList* MessageLines = nullptr;                // not owned
  std::function<void(const std::string&)> OnMessage;  // sees every status line
  // Asked about a certificate that neither the system store nor the pin
  // trusts (on the transfer thread); nullptr: such a certificate is refused.
  ICertificateTrust* CertificateTrust = nullptr;
  // Asked about an SFTP host key that neither the pin nor known_hosts
  // vouches for, when the site uses SFTP (the transfer run carries it to
  // its SFTP sessions); nullptr: such a key is refused.
  IHostKeyPrompt* HostKeyPrompt = nullptr;

  // Passive mode, encryption and pin for the next connections.
  void ApplyConnectionSettings(const TFtpConnectionSettings& settings);

  void AddMessage(const std::string& text);

  // Connects to HostInfo, logs in (binary type) and sets HomeDir.
  void Connect() { ConnectTo(HostInfo, ProxyInfo); }
  // The same with records handed in: the transfer run connects with the
  // records of its upload plan and never reads HostInfo.
  void ConnectTo(const THostInfo& host, const THostInfo& proxy);
  // Closes the control connection (no QUIT); left open after a cancel.
  void Disconnect();
  // LIST of the current remote folder into IdFTP1's listing. The mask is
  // not sent: the listing command carries no argument.
  void GetRemoteFileInfo(const std::string& mask);
  // Makes the absolute remote folder path (which begins with HomeDir) the
  // current one, level by level: an existing folder costs one LIST and one
  // CWD, from the first missing one on every level costs MKD and CWD.
  void AdjustRemoteDir(const std::string& path);
  void ChangeRemoteDir(const std::string& path);
  // Uploads the local file into the current remote folder under its name.
  void PutFile(const std::string& localPath);
  // Progress handler of IdFTP1: aborts the running transfer on cancel.
  void IdFTP1Work(TIdTCPConnection& sender, TWorkMode mode, std::int64_t count);

 private:
  bool Cancelled() const { return CancelRequested.load(std::memory_order_relaxed) == 1; }
  bool EnterExistingFolder(const std::string& piece, bool& listedAsFile);
  void MakeOrEnterFolder(const std::string& piece, bool listedAsFile);
  bool TryChangeWorkingDir(const std::string& piece);
  bool AskTrust(const TCertificateInfo& certificate);
};

// The remote name of a local file: the part after the last path separator
// that is not the second byte of a double-byte character, bytes unchanged.
std::string RemoteNameOf(const std::string& localPath);

}  // namespace tovra
