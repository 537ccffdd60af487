#include "upload/upload_job.h"

#include "ftp/dmFtp.h"
#include "html/dependencies.h"
#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "upload/transfer_engine.h"
#include "upload/verify_after_run.h"
#include "util/char_string.h"

namespace tovra {

namespace {

constexpr int kTimerInterval = 500;
constexpr int kTimerResolution = 10;

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

TUploadJob::TUploadJob(TFTP& ftp, IUploadView& view, std::function<void()> finishSiteUpdates)
    : ftp_(ftp), view_(view), finishSiteUpdates_(std::move(finishSiteUpdates)) {
  timer_.SetInterval(kTimerInterval);
  timer_.SetResolution(kTimerResolution);
  timer_.OnTimer = [this](TMMTimer&) { MMTimer1Timer(); };
}

TUploadJob::~TUploadJob() {
  // A run under way is cut short (its connections shut at once) rather
  // than waited for: the owner is going, with the window or the program.
  closing_.store(true);
  if (running_.load()) Abort();
  timer_.SetEnabled(false);
}

bool TUploadJob::Start(const TStringList& selection, const TUploadOptions& options, const TUploadSite& site) {
  if (options.cxOnly && !view_.ConfirmOkAbort("選択されたファイルだけをUPします。")) return false;
  return PrepareUpload(selection, options, site);
}

bool TUploadJob::PrepareUpload(const TStringList& selection, const TUploadOptions& options, const TUploadSite& site) {
  view_.SetUploadEnabled(false);
  try {
    uploadList_.Clear();
    for (const auto& entry : selection) uploadList_.Add(entry);
    TStringList outside;
    if (!options.cxOnly) {
      view_.AppendStatus("依存ファイル確認中");
      for (const auto& entry : selection) {
        if (IsPagePath(entry)) {
          CollectDependencies(uploadList_, site.root, entry, options.rewrite.pageEncoding, &outside);
        }
      }
      SetAsideOutsideSite(uploadList_, selection.Count(), site.root, outside);
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
      view_.AppendStatus("Uploas cancel files");  // the given status text, spelt as it has always been
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
    plan_ = BuildUploadPlan(uploadList_, site, options, missing.Count());
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
  // Cleared before the run is marked, so that an owner going away sees
  // either no run (which then never starts) or a run it can abort.
  ftp_.CancelRequested.store(0, std::memory_order_relaxed);
  running_.store(true);
  if (closing_.load()) return;
  TRunOutcome outcome = TRunOutcome::Failed;
  std::string error;
  try {
    outcome = RunPlan(*plan_);
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (outcome == TRunOutcome::Completed) {
    try {
      VerifyAfterRun(*plan_, view_, ftp_.CancelRequested);
    } catch (const std::exception& e) {
      // The files are on the server; a check that cannot run says so and no more.
      view_.AppendStatus("公開アドレスの確認: " + std::string(e.what()));
    }
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
  running_.store(false);
  view_.RunEnded(outcome, error);
}

TRunOutcome TUploadJob::RunTransfer(const TUploadPlan& plan) {
  ftp_.CancelRequested.store(0, std::memory_order_relaxed);
  return RunPlan(plan);
}

TRunOutcome TUploadJob::RunPlan(const TUploadPlan& plan) {
  TTransferEngine engine(plan, ftp_, view_);
  return engine.Run();
}

}  // namespace tovra
