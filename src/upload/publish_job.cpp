#include "upload/publish_job.h"

#include "upload/publish_run.h"
#include "upload/verify_after_run.h"

namespace tovra {

TPublishJob::~TPublishJob() {
  if (!thread_.joinable()) return;
  Abort();
  thread_.join();
}

bool TPublishJob::Start(const TUploadSite& site, TPublishPlan plan, std::unique_ptr<TPublishRecord> record,
                        bool deleteRemoved) {
  if (running_.load()) return false;
  if (thread_.joinable()) thread_.join();
  site_ = site;
  plan_ = std::move(plan);
  record_ = std::move(record);
  view_.SetUploadEnabled(false);
  hooks_.cancel->store(0, std::memory_order_relaxed);
  running_.store(true);
  thread_ = std::thread([this, deleteRemoved] { Run(deleteRemoved); });
  return true;
}

void TPublishJob::Run(bool deleteRemoved) {
  TRunOutcome outcome = TRunOutcome::Failed;
  std::string error;
  try {
    outcome = TPublishRun(site_, hooks_, view_, *record_).Run(plan_, deleteRemoved);
    if (outcome == TRunOutcome::Completed) VerifyAfterRun(site_, FilesSent(plan_), view_, *hooks_.cancel);
  } catch (const std::exception& e) {
    error = view_.FailureText(e);
    view_.AppendStatus("転送エラー: " + error);
    view_.SetAbortEnabled(false);
  }
  view_.SetUploadEnabled(true);
  running_.store(false);
  view_.RunEnded(outcome, error);
}

}  // namespace tovra
