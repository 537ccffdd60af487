#include "upload/sftp_remote_session.h"

namespace tovra {

TSftpRemoteSession::TSftpRemoteSession(TSftpSettings settings, TSharedHostKey& hostKey, IHostKeyPrompt* prompt,
                                       const std::atomic<std::uint8_t>* runCancel)
    : settings_(std::move(settings)), hostKey_(hostKey) {
  session_.Prompt = prompt;
  session_.RunCancel = runCancel;
  session_.OnProgress = [this](std::int64_t sent) {
    if (OnBytes) OnBytes(sent);
  };
}

void TSftpRemoteSession::Connect() {
  session_.Settings = settings_;
  folder_.clear();
  hostKey_.Connect(session_);
}

void TSftpRemoteSession::EnterFolder(const std::string& folder) {
  session_.MakeFolders(folder);
  folder_ = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
}

void TSftpRemoteSession::Store(const std::string& localPath, const std::string& remoteName) {
  if (folder_.empty()) throw ESftpError("SFTP: 書き込み先のフォルダが決まっていません");
  session_.StoreFile(localPath, folder_ + remoteName);
}

std::vector<TRemoteEntry> TSftpRemoteSession::List(const std::string& folder) {
  std::vector<TRemoteEntry> entries;
  for (auto& e : session_.List(folder)) entries.push_back({std::move(e.name), e.type, e.size});
  return entries;
}

void TSftpRemoteSession::Close() {
  session_.Close();
  folder_.clear();
}

}  // namespace tovra
