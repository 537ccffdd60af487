#include "upload/upload_job.h"

#include "ftp/dmFtp.h"
#include "html/dependencies.h"
#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "util/char_string.h"

namespace tovra {

namespace {

constexpr int kTimerInterval = 500;
constexpr int kTimerResolution = 10;

// The bytes before the last separator (a trail byte never counts).
std::string FolderOf(const std::string& path) {
  std::string name = ExtractFileName(path);
  return path.substr(0, path.size() - name.size() - (name.size() < path.size() ? 1 : 0));
}

void CloseIfConnected(TFTP& ftp) {
  if (ftp.IdFTP1.IsConnected()) ftp.IdFTP1.CloseSession();
}

}  // namespace

bool IsPagePath(const std::string& path) {
  std::string name = ExtractFileName(path);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string ext = name.substr(dot);
  return ext == ".htm" || ext == ".html";
}

std::string UploadLogPath() { return JoinPath(AppFolder(), "uplog.txt"); }

void RemoveMissingFiles(TStringList& list, TStringList& missing) {
  missing.Clear();
  for (int i = list.Count() - 1; i >= 0; --i) {
    if (FileExists(list[i])) continue;
    missing.Add(list[i]);
    list.Delete(i);
  }
}

void SetAsideOutsideSite(TStringList& list, int from, std::string_view siteRoot, TStringList& outside) {
  for (int i = from; i < list.Count();) {
    if (IsUnderRoot(siteRoot, list[i])) {
      ++i;
      continue;
    }
    outside.Add(list[i] + kOutsideSiteMark);
    list.Delete(i);
  }
}

TUploadJob::TUploadJob(TFTP& ftp, IUploadView& view, std::function<std::string()> siteRoot,
                       std::function<void()> finishSiteUpdates)
    : ftp_(ftp), view_(view), siteRoot_(std::move(siteRoot)), finishSiteUpdates_(std::move(finishSiteUpdates)) {
  timer_.SetInterval(kTimerInterval);
  timer_.SetResolution(kTimerResolution);
  timer_.OnTimer = [this](TMMTimer&) { MMTimer1Timer(); };
}

TUploadJob::~TUploadJob() { timer_.SetEnabled(false); }

bool TUploadJob::Start(const TStringList& selection, const TUploadOptions& options) {
  if (options.cxOnly && !view_.ConfirmOkAbort("選択されたファイルだけをUPします。")) return false;
  return PrepareUpload(selection, options);
}

bool TUploadJob::PrepareUpload(const TStringList& selection, const TUploadOptions& options) {
  view_.SetUploadEnabled(false);
  try {
    uploadList_.Clear();
    for (const auto& entry : selection) uploadList_.Add(entry);
    TStringList outside;
    if (!options.cxOnly) {
      view_.AppendStatus("依存ファイル確認中");
      const std::string root = siteRoot_();
      for (const auto& entry : selection) {
        if (IsPagePath(entry)) {
          CollectDependencies(uploadList_, root, entry, options.rewrite.pageEncoding, &outside);
        }
      }
      SetAsideOutsideSite(uploadList_, selection.Count(), root, outside);
    }
    TStringList missing;
    RemoveMissingFiles(uploadList_, missing);
    for (const auto& line : outside) missing.Add(line);
    if (missing.Count() > 0) {
      if (!view_.ConfirmMissingFiles(missing)) {
        uploadList_.Clear();
        view_.SetUploadEnabled(true);
        return false;
      }
      view_.AppendStatus("Uploas cancel files");
      for (const auto& line : missing) view_.AppendStatus(line);
    }
    // Rewriting may append support files; they are visited too.
    for (int i = 0; i < uploadList_.Count(); ++i) {
      if (IsPagePath(uploadList_[i])) RewritePage(uploadList_[i], options.rewrite, uploadList_, view_);
    }
    view_.AppendStatus("Uploadファイル確定");
    for (const auto& entry : uploadList_) view_.AppendStatus(entry);
    view_.AppendStatus("*********************");
    SaveLines(UploadLogPath(), uploadList_);
  } catch (...) {
    view_.SetUploadEnabled(true);
    throw;
  }
  if (uploadList_.Count() > 0) {
    timer_.SetEnabled(true);
    return true;
  }
  view_.SetUploadEnabled(true);
  if (finishSiteUpdates_) finishSiteUpdates_();
  return false;
}

void TUploadJob::Abort() { ftp_.CancelRequested.store(1, std::memory_order_relaxed); }

void TUploadJob::MMTimer1Timer() {
  timer_.SetEnabled(false);
  const std::string root = siteRoot_();
  TRunOutcome outcome = TRunOutcome::Failed;
  std::string error;
  try {
    outcome = RunTransfer(uploadList_, root);
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (outcome == TRunOutcome::Failed) {
    // The run defines no report of its own for a failure: one status line,
    // the window back to idle, the connection closed, the text shown.
    view_.AppendStatus("転送エラー: " + error);
    view_.SetAbortEnabled(false);
    try {
      CloseIfConnected(ftp_);
    } catch (const std::exception&) {
      // Closing a broken connection may fail again; the run is over anyway.
    }
  }
  view_.SetUploadEnabled(true);
  if (finishSiteUpdates_) finishSiteUpdates_();
  view_.RunEnded(outcome, error);
}

TRunOutcome TUploadJob::RunTransfer(const TStringList& list, const std::string& siteRoot) {
  ftp_.CancelRequested.store(0, std::memory_order_relaxed);
  view_.SetAbortEnabled(true);
  for (const auto& entry : list) {
    if (ftp_.CancelRequested.load(std::memory_order_relaxed) == 1) {
      view_.AppendStatus("転送中断");
      view_.SetAbortEnabled(false);
      CloseIfConnected(ftp_);
      return TRunOutcome::Aborted;
    }
    ftp_.Connect();
    view_.AppendStatus(ExtractFileName(entry) + " 転送中");
    std::string remote = RemotePathOf(siteRoot, FolderOf(entry) + kPathSep, ftp_.HomeDir);
    // A home folder of "/" would otherwise give a path starting with "//".
    if (CharCopy(remote, 1, 2) == "//") CharDelete(remote, 1, 1);
    if (!remote.empty()) {
      ftp_.AdjustRemoteDir(remote);
      ftp_.ChangeRemoteDir(remote);
      ftp_.PutFile(entry);
    }
    ftp_.Disconnect();
  }
  view_.SetAbortEnabled(false);
  view_.AppendStatus("転送完了");
  return TRunOutcome::Completed;
}

}  // namespace tovra
