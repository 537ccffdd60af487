// TSftpSession: one SSH connection with its SFTP channel, the transport of a
// site whose Protocol is sftp. Connect checks the server's host key right
// after the key exchange, before any password or key is offered (the pin,
// else known_hosts, else the prompt), then logs in with the password or the
// private key (its passphrase is the password) and opens the SFTP channel.
// Paths are absolute CP932 strings; they travel as the site's remote name
// encoding asks (UTF-8, or CP932 bytes as stored).
//
// Threads: every operation runs on one thread at a time. CancelRequested
// (and the run's flag, when attached) may be set and Abort called from any
// thread: the connection is then cut at once and the waiting call raises
// EIdCancelled. Every wait is bounded by Settings.timeoutMs of silence
// (EIdReadTimeout). Errors are the EIdException family; local file errors
// are EFileError.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/socket.h"
#include "sftp/connection_watchdog.h"
#include "sftp/host_key.h"

namespace tovra {

struct TSftpSettings {
  std::string host;
  int port = 22;
  std::string user;
  std::string password;        // the login password, or the private key's passphrase
  std::string hostKeyPin;      // HostKeySha256; "" for none
  std::string privateKeyFile;  // CP932 path; "" for a password login
  std::string knownHostsFile;  // CP932 path; "" for ~/.ssh/known_hosts
  bool utf8Names = true;       // false: names go as the CP932 bytes they are
  int timeoutMs = 60000;
};

struct TSftpEntry {
  std::string name;  // CP932; characters it cannot hold shown as [U+XXXX]
  char type = '-';   // 'd' folder, 'l' link, '-' anything else
  std::int64_t size = 0;
};

// A failure the server or the SSH layer reported.
class ESftpError : public EIdException {
 public:
  explicit ESftpError(const std::string& message) : EIdException(message) {}
};

class TSftpSession {
 public:
  TSftpSession();
  ~TSftpSession();
  TSftpSession(const TSftpSession&) = delete;
  TSftpSession& operator=(const TSftpSession&) = delete;

  TSftpSettings Settings;
  IHostKeyPrompt* Prompt = nullptr;  // not owned; none: an unknown key is refused
  std::atomic<std::uint8_t> CancelRequested{0};
  // Another flag that also cancels (the run's), not owned; may be null.
  const std::atomic<std::uint8_t>* RunCancel = nullptr;
  // Bytes of the current store sent so far, after each block.
  std::function<void(std::int64_t)> OnProgress;

  // Connects, checks the host key, logs in and opens the SFTP channel.
  // On failure nothing stays open.
  void Connect();
  // Connects as far as the key exchange and gives the server's host key
  // without judging it or logging in.
  THostKey FetchHostKey();
  bool Connected() const;
  // The login folder (CP932), set by Connect.
  const std::string& HomeDir() const { return home_; }
  const THostKey& HostKey() const { return hostKey_; }

  // Makes the absolute folder exist, level by level: each level below the
  // login folder is looked up (stat) and made when missing. Folders this
  // session made or found are remembered and not looked up again.
  void MakeFolders(const std::string& folder);
  // Writes the local file whole to the absolute remote path.
  void StoreFile(const std::string& localPath, const std::string& remotePath);
  std::vector<TSftpEntry> List(const std::string& folder);
  // Renames, removes a file, removes an empty folder (absolute paths).
  // False when the server refused (the connection stays usable); a lost
  // connection raises. A rename onto an existing file is refused by many
  // servers.
  bool Rename(const std::string& from, const std::string& to);
  bool Remove(const std::string& path);
  bool RemoveFolder(const std::string& path);
  // Cuts the connection at once (any thread). The session must be closed.
  void Abort() { watchdog_.Cut(); }
  void Close();

 private:
  struct TSsh;  // the libssh handles, kept out of this header
  bool Cancelled() const;
  void OpenSocket();
  void Handshake();
  void CheckHostKey();
  void Authenticate();
  void OpenChannel();
  [[noreturn]] void Fail(const std::string& what);
  [[noreturn]] void FailSftp(const std::string& what, const std::string& path);
  bool IsFolder(const std::string& path, bool& exists);
  // Whether a call's result is the server's refusal; a lost connection raises.
  bool Lost(int code) const;  // the SFTP error code means the connection is gone
  bool Refused(int result, const std::string& what, const std::string& path);
  std::string Wire(const std::string& cp932) const;
  std::string Local(const std::string& wire) const;

  std::unique_ptr<TSsh> ssh_;
  TSocket socket_;
  TConnectionWatchdog watchdog_;
  std::string home_;
  THostKey hostKey_;
  std::set<std::string> folders_;
};

}  // namespace tovra
