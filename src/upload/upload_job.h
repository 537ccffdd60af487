// One upload from button press to the last status line: the preparation of
// the upload list (UI thread), which ends in an upload plan, the hand-over
// through the one-shot timer, and the transfer run of that plan on the
// timer's thread. Shared by the window and tovra-cli; the form's handlers
// delegate here.
// Threading: Start and Abort on the UI thread; MMTimer1Timer and
// RunTransfer on the timer thread. The run reads only its plan, which the
// preparation hands over whole before the timer starts.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "html/missing_files.h"
#include "platform/mm_timer.h"
#include "upload/page_rewriter.h"
#include "upload/run_hooks.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"
#include "util/string_list.h"

namespace tovra {

class TUploadJob {
 public:
  // hooks are handed to every run (their objects must outlive the job);
  // without a cancel flag of the front end's the job uses its own.
  // finishSiteUpdates is the update check's hook after every run (and after
  // an empty preparation); it is called on the thread that ends the upload.
  TUploadJob(const TRunHooks& hooks, IUploadView& view, std::function<void()> finishSiteUpdates);
  ~TUploadJob();

  // BitBtn1Click: with cxOnly, asks first; then PrepareUpload. Returns true
  // when a run was handed to the timer. site is read by the front end at
  // the press; the run keeps it even when another site is chosen meanwhile.
  bool Start(const TStringList& selection, const TUploadOptions& options, const TUploadSite& site);
  bool PrepareUpload(const TStringList& selection, const TUploadOptions& options, const TUploadSite& site);
  // btnAbortClick: sets the run's cancel flag; the run then disables
  // the button, says so and cuts its connections.
  void Abort();
  std::atomic<std::uint8_t>& CancelFlag() { return *hooks_.cancel; }
  const TRunHooks& Hooks() const { return hooks_; }

  // The timer tick and the run it starts (public for tests). RunTransfer
  // clears the cancel flag, then returns Completed or Aborted and throws a
  // failure.
  void MMTimer1Timer();
  TRunOutcome RunTransfer(const TUploadPlan& plan);

  const TStringList& UploadList() const { return uploadList_; }
  TMMTimer& Timer() { return timer_; }

 private:
  TRunOutcome RunPlan(const TUploadPlan& plan);
  // Appends the dependencies of the selected pages (uploadList_ holds the
  // selection) and takes out what cannot be sent, into `dropped`.
  void CollectAndCheck(int selected, const TUploadOptions& options, const TUploadSite& site, TMissingFiles& dropped);

  std::atomic<std::uint8_t> ownCancel_{0};
  TRunHooks hooks_;
  IUploadView& view_;
  std::function<void()> finishSiteUpdates_;
  TStringList uploadList_;                   // UI thread only
  std::shared_ptr<const TUploadPlan> plan_;  // handed to the timer thread with the tick
  std::atomic<bool> closing_{false};
  std::atomic<bool> running_{false};
  TMMTimer timer_;
};

// Deletes, last entry first, every entry whose file does not exist and
// appends its path to `missing` (which is cleared first): the missing files
// come out in reverse list order, the rest keep their order.
void RemoveMissingFiles(TStringList& list, TStringList& missing);

// Takes out of the list every entry from index `from` on that does not lie
// under the site root (IsUnderRoot), and every entry at all whose real path
// (its symbolic links resolved) leaves the site root's real path, and adds
// it to `outside` as OutsideSite: such a file is shown to the user and never
// sent. An entry before `from` (the user's own selection) that lies outside
// the root as written stays (the run counts it as outside the site). The rest
// keep their order.
void SetAsideOutsideSite(TStringList& list, int from, std::string_view siteRoot, TMissingFiles& outside);

// The selection with "." and ".." pieces folded and each file once (the
// first spelling kept), compared as the file system compares names.
TStringList UniqueSelection(const TStringList& selection);

// Whether the path's extension is exactly ".htm" or ".html" (letter case
// counts: "INDEX.HTM" is not a page here).
bool IsPagePath(const std::string& path);

// The upload log file of the application folder.
std::string UploadLogPath();

}  // namespace tovra
