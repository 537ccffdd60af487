// TFtpRemoteSession: a remote session over the FTP session TFTP. Entering a
// folder is TFTP's own walk (list, change, make level by level), so FTP keeps
// its remote-folder behaviour exactly; a store goes into the folder entered,
// under the name given. Abort sets the session's cancel flag, which ends any
// wait of the client within a fraction of a second.
#pragma once

#include "ftp/dmFtp.h"
#include "upload/remote_session.h"

namespace tovra {

class TFtpRemoteSession : public IRemoteSession {
 public:
  // ftp must outlive this object; its progress handler is extended with
  // OnBytes while this object lives.
  explicit TFtpRemoteSession(TFTP& ftp);
  ~TFtpRemoteSession() override;
  TFtpRemoteSession(const TFtpRemoteSession&) = delete;
  TFtpRemoteSession& operator=(const TFtpRemoteSession&) = delete;

  void Connect() override { ftp_.Connect(); }
  bool IsConnected() const override { return ftp_.IdFTP1.IsConnected(); }
  std::string Home() const override { return ftp_.HomeDir; }
  void EnterFolder(const std::string& folder) override;
  void Store(const std::string& localPath, const std::string& remoteName) override;
  std::vector<TRemoteEntry> List(const std::string& folder) override;
  bool Rename(const std::string& from, const std::string& to) override { return ftp_.IdFTP1.RenameRemote(from, to); }
  bool Delete(const std::string& path) override { return ftp_.IdFTP1.DeleteRemoteFile(path); }
  bool RemoveFolder(const std::string& path) override { return ftp_.IdFTP1.RemoveRemoteDir(path); }
  void Abort() override { ftp_.CancelRequested.store(1, std::memory_order_relaxed); }
  void Close() override { ftp_.IdFTP1.CloseSession(); }

 private:
  TFTP& ftp_;
  TWorkEvent savedOnWork_;
};

}  // namespace tovra
