#include "upload/ftp_remote_session.h"

#include "ftp/id_exceptions.h"

namespace tovra {

TFtpRemoteSession::TFtpRemoteSession(TFTP& ftp) : ftp_(ftp), savedOnWork_(ftp.IdFTP1.OnWork) {
  ftp_.IdFTP1.OnWork = [this](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    if (savedOnWork_) savedOnWork_(sender, mode, count);
    if (mode == TWorkMode::wmWrite && OnBytes) OnBytes(count);
  };
}

TFtpRemoteSession::~TFtpRemoteSession() { ftp_.IdFTP1.OnWork = savedOnWork_; }

void TFtpRemoteSession::EnterFolder(const std::string& folder) {
  ftp_.AdjustRemoteDir(folder);
  ftp_.ChangeRemoteDir(folder);
}

void TFtpRemoteSession::Store(const std::string& localPath, const std::string& remoteName) {
  // A store refused for a cancel must not pass for one that was made.
  if (ftp_.CancelRequested.load(std::memory_order_relaxed) == 1) throw EIdCancelled();
  ftp_.IdFTP1.StoreFile(localPath, remoteName);
}

std::vector<TRemoteEntry> TFtpRemoteSession::List(const std::string& folder) {
  ftp_.ChangeRemoteDir(folder);
  ftp_.GetRemoteFileInfo("*.*");
  std::vector<TRemoteEntry> entries;
  const TIdFTPListItems& items = ftp_.IdFTP1.ParsedListing();
  for (int i = 0; i < items.Count(); ++i) {
    const TIdFTPListItem& item = items[i];
    char type = item.ItemType == TIdDirItemType::ditDirectory      ? 'd'
                : item.ItemType == TIdDirItemType::ditSymbolicLink ? 'l'
                                                                   : '-';
    entries.push_back({item.FileName, type, item.Size});
  }
  return entries;
}

}  // namespace tovra
