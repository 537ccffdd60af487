#include "upload/upload_job.h"

#include <unordered_set>

#include "html/dependencies.h"
#include "html/modern_dependencies.h"
#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/path_pieces.h"
#include "sites/dmConfig.h"
#include "upload/publish_record.h"
#include "upload/transfer_engine.h"
#include "upload/verify_after_run.h"
#include "util/char_string.h"

namespace tovra {

namespace {

constexpr int kTimerInterval = 500;
constexpr int kTimerResolution = 10;

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

void SetAsideOutsideSite(TStringList& list, int from, std::string_view siteRoot, TMissingFiles& outside) {
  const std::string realRoot = RealPath(siteRoot);
  for (int i = 0; i < list.Count();) {
    const bool under = IsUnderRoot(siteRoot, list[i]);
    const std::string real = under && !realRoot.empty() ? RealPath(list[i]) : std::string();
    const bool leaves = under ? !real.empty() && !IsUnderRoot(realRoot, real) : i >= from;
    if (!leaves) {
      ++i;
      continue;
    }
    outside.Add(list[i], TMissingReason::OutsideSite);
    list.Delete(i);
    if (i < from) --from;
  }
}

TStringList UniqueSelection(const TStringList& selection) {
  TStringList unique;
  std::unordered_set<std::string> seen;
  for (const std::string& entry : selection) {
    std::string folded = FoldDotPieces(entry);
    if (folded.empty()) folded = entry;
    if (seen.insert(kFileNamesCaseSensitive ? folded : CharLowerCase(folded)).second) unique.Add(folded);
  }
  return unique;
}

TUploadJob::TUploadJob(const TRunHooks& hooks, IUploadView& view, std::function<void()> finishSiteUpdates)
    : hooks_(hooks), view_(view), finishSiteUpdates_(std::move(finishSiteUpdates)) {
  if (hooks_.cancel == nullptr) hooks_.cancel = &ownCancel_;
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
    uploadList_ = UniqueSelection(selection);
    TMissingFiles missing;
    CollectAndCheck(uploadList_.Count(), options, site, missing);
    if (missing.Count() > 0) {
      if (!view_.ConfirmMissingFiles(missing)) {
        uploadList_.Clear();
        view_.SetUploadEnabled(true);
        return false;
      }
      view_.AppendStatus("Uploas cancel files");  // the given status text, spelt as it has always been
      for (const auto& line : missing.Lines()) view_.AppendStatus(line);
    }
    // Rewriting may append support files; they are visited too.
    for (int i = 0; i < uploadList_.Count(); ++i) {
      if (IsPagePath(uploadList_[i])) RewritePage(uploadList_[i], options.rewrite, uploadList_, view_);
    }
    view_.AppendStatus("Uploadファイル確定");
    for (const auto& entry : uploadList_) view_.AppendStatus(entry);
    view_.AppendStatus("*********************");
    SaveLines(UploadLogPath(), uploadList_);
    plan_ = BuildUploadPlan(uploadList_, site, options, missing);
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

void TUploadJob::CollectAndCheck(int selected, const TUploadOptions& options, const TUploadSite& site,
                                 TMissingFiles& dropped) {
  TMissingFiles aside;
  if (!options.cxOnly) {
    view_.AppendStatus("依存ファイル確認中");
    const TPageEncoding encoding = options.rewrite.pageEncoding;
    if (site.extended.References() == TReferenceMode::Modern) {
      TModernDependencies modern(site.root, encoding, site.webUrl);
      for (int i = 0; i < selected; ++i) {
        if (IsPagePath(uploadList_[i])) modern.Collect(uploadList_, std::string(uploadList_[i]), aside);
      }
    } else {
      for (int i = 0; i < selected; ++i) {
        if (IsPagePath(uploadList_[i])) {
          CollectDependencies(uploadList_, site.root, std::string(uploadList_[i]), encoding, &aside);
        }
      }
    }
  }
  SetAsideOutsideSite(uploadList_, options.cxOnly ? uploadList_.Count() : selected, site.root, aside);
  TStringList missing;
  RemoveMissingFiles(uploadList_, missing);
  for (const auto& path : missing) dropped.Add(path, TMissingReason::NotOnDisk);
  for (const auto& entry : aside.Entries()) dropped.Add(entry);
}

void TUploadJob::Abort() { hooks_.cancel->store(1, std::memory_order_relaxed); }

void TUploadJob::MMTimer1Timer() {
  timer_.SetEnabled(false);
  // Cleared before the run is marked, so that an owner going away sees
  // either no run (which then never starts) or a run it can abort.
  hooks_.cancel->store(0, std::memory_order_relaxed);
  running_.store(true);
  if (closing_.load()) return;
  TRunOutcome outcome = TRunOutcome::Failed;
  std::string error;
  try {
    outcome = RunPlan(*plan_);
  } catch (const std::exception& e) {
    error = view_.FailureText(e);
  }
  if (outcome == TRunOutcome::Completed) VerifyAfterRun(*plan_, view_, *hooks_.cancel);
  if (outcome == TRunOutcome::Failed) {
    // The run defines no report of its own for a failure: one status line,
    // the window back to idle, the text shown (the run has closed its connections).
    view_.AppendStatus("転送エラー: " + error);
    view_.SetAbortEnabled(false);
  }
  view_.SetUploadEnabled(true);
  if (finishSiteUpdates_) finishSiteUpdates_();
  running_.store(false);
  view_.RunEnded(outcome, error);
}

TRunOutcome TUploadJob::RunTransfer(const TUploadPlan& plan) {
  hooks_.cancel->store(0, std::memory_order_relaxed);
  return RunPlan(plan);
}

TRunOutcome TUploadJob::RunPlan(const TUploadPlan& plan) {
  TTransferEngine engine(plan, hooks_, view_);
  if (!plan.extended.AtomicUpload() || plan.siteName.empty()) return engine.Run();
  // Temporary names a run cut short leaves on the server go into the site's
  // publish record, so that the next publish removes them. The upload does
  // not depend on it: a record that cannot be read or written is passed over.
  TPublishRecord record(PublishRecordFileName(plan.siteName));
  auto quietly = [](auto write) {
    try {
      write();
    } catch (const std::exception&) {
    }
  };
  engine.OnStoreBegun = [&](std::size_t, const std::string& path) { quietly([&] { record.StoreBegun(path); }); };
  engine.OnStoreEnded = [&](std::size_t, const std::string& path) { quietly([&] { record.StoreEnded(path); }); };
  // Rewritten whole afterwards, as the file holds it then (a publish of the
  // site may have added to it meanwhile): names that ended leave no lines.
  auto compact = [&] {
    quietly([&] {
      TPublishRecord now(record.FileName());
      now.Load();
      now.Save();
    });
  };
  TRunOutcome outcome = TRunOutcome::Failed;
  try {
    outcome = engine.Run();
  } catch (...) {
    compact();
    throw;
  }
  compact();
  return outcome;
}

}  // namespace tovra
