// TPublishRun: carries out a publish plan on the site's server. Temporary
// names left by a run that was cut short go first; then the transfer engine
// sends every file that is not a page and, once those are all there, the
// pages; deletions (only when asked) come after all uploads, followed by
// the folders they leave empty that are gone locally too. The record is
// brought up to date as the server confirms each file and saved whole at
// the end, so a run cut short anywhere resumes without sending a confirmed
// file again. A plan with nothing to do opens no connection.
// Threads: Run blocks the calling thread (the engine's sessions run on
// their own); Abort is the session's CancelRequested, set from any thread.
#pragma once

#include <string>

#include "ftp/dmFtp.h"
#include "upload/publish_plan.h"
#include "upload/publish_record.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"

namespace tovra {

class IRemoteSession;
class TSharedHostKey;

class TPublishRun {
 public:
  // ftp carries the site's connection settings and prompts (as for an
  // upload); all four must outlive the run.
  TPublishRun(const TUploadSite& site, TFTP& ftp, IUploadView& view, TPublishRecord& record)
      : site_(site), ftp_(ftp), view_(view), record_(record) {}

  // Completed or Aborted; a failure is thrown after the record is saved.
  TRunOutcome Run(const TPublishPlan& plan, bool deleteRemoved);

 private:
  bool Cancelled() const { return ftp_.CancelRequested.load(std::memory_order_relaxed) == 1; }
  TRunOutcome RunSteps(const TPublishPlan& plan, bool deleteRemoved);
  TRunOutcome Send(const TPublishPlan& plan, bool pages);
  void RemoveLeftovers(IRemoteSession& session);
  void Delete(IRemoteSession& session, const TPublishPlan& plan);
  void RemoveEmptyFolders(IRemoteSession& session, const TPublishPlan& plan);
  std::string OnServer(IRemoteSession& session, const std::string& below) const;

  const TUploadSite& site_;
  TFTP& ftp_;
  IUploadView& view_;
  TPublishRecord& record_;
};

// The plan's one line of counts: "新規 2 件、変更 3 件、削除 1 件、変更なし 10 件".
std::string PublishCountsLine(const TPublishPlan& plan);
// The plan as it is shown before it runs: a line per file ("新規 PATH",
// "変更 PATH", "削除 PATH"), in sending order, then the counts line.
std::vector<std::string> PublishPlanLines(const TPublishPlan& plan);

}  // namespace tovra
