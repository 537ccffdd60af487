// TPublishJob: a publish from the window's button to its last status line.
// The plan was built and confirmed on the UI thread; Start hands it, with
// the site's record, to a thread of the job's own, which runs TPublishRun
// and, when it completed, the check at the public address of the files it
// sent (VerifyAfterRun); then it tells the view the run is over exactly as
// an upload does (SetUploadEnabled(true), RunEnded). The abort button is the hooks' cancel
// flag, shared with the upload.
// Threads: Start, Abort and the destructor on the UI thread; the run on the
// job's thread, which the destructor cuts short and joins.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "upload/publish_plan.h"
#include "upload/publish_record.h"
#include "upload/run_hooks.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"

namespace tovra {

class TPublishJob {
 public:
  // hooks.cancel must be set; the hooks' objects and view outlive the job.
  TPublishJob(const TRunHooks& hooks, IUploadView& view) : hooks_(hooks), view_(view) {}
  ~TPublishJob();
  TPublishJob(const TPublishJob&) = delete;
  TPublishJob& operator=(const TPublishJob&) = delete;

  // False when a publish is still under way. The view's upload button goes
  // off before this returns.
  bool Start(const TUploadSite& site, TPublishPlan plan, std::unique_ptr<TPublishRecord> record, bool deleteRemoved);
  void Abort() { hooks_.cancel->store(1, std::memory_order_relaxed); }
  bool Running() const { return running_.load(); }

 private:
  void Run(bool deleteRemoved);

  TRunHooks hooks_;
  IUploadView& view_;
  TUploadSite site_;
  TPublishPlan plan_;
  std::unique_ptr<TPublishRecord> record_;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace tovra
