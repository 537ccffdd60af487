// TSftpRemoteSession: a remote session over SFTP for the transfer run. The
// sessions of one run share their host key decision (TSharedHostKey), so the
// user is asked about an unknown key at most once; folders are looked up
// level by level and made when missing; files are written by path. The
// run's cancel flag cuts the connection at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "sftp/sftp_session.h"
#include "sftp/shared_host_key.h"
#include "upload/remote_session.h"

namespace tovra {

class TSftpRemoteSession : public IRemoteSession {
 public:
  // hostKey, prompt (may be null) and runCancel (may be null) must outlive
  // the session.
  TSftpRemoteSession(TSftpSettings settings, TSharedHostKey& hostKey, IHostKeyPrompt* prompt,
                     const std::atomic<std::uint8_t>* runCancel);

  void Connect() override;
  bool IsConnected() const override { return session_.Connected(); }
  std::string Home() const override { return session_.HomeDir(); }
  void EnterFolder(const std::string& folder) override;
  void Store(const std::string& localPath, const std::string& remoteName) override;
  std::vector<TRemoteEntry> List(const std::string& folder) override;
  bool Rename(const std::string& from, const std::string& to) override { return session_.Rename(from, to); }
  bool Delete(const std::string& path) override { return session_.Remove(path); }
  bool RemoveFolder(const std::string& path) override { return session_.RemoveFolder(path); }
  void Abort() override { session_.Abort(); }
  void Close() override;

 private:
  TSftpSettings settings_;
  TSharedHostKey& hostKey_;
  TSftpSession session_;
  std::string folder_;  // entered, ending in "/"
};

}  // namespace tovra
