// TPublishRun: carries out a publish plan on the site's server. Temporary
// names left by a run that was cut short go first; then the transfer engine
// sends every file that is not a page and, once those are all there, the
// pages; deletions (only when asked) come after all uploads, followed by
// the folders they leave empty that are gone locally too. A file whose name
// CP932 cannot hold goes only to a server that keeps UTF-8 names (SFTP, or
// FTP set to UTF-8 or agreeing on it at login: then one session logs in
// before the engine to learn it); otherwise it is reported and not sent.
// The record is
// brought up to date as the server confirms each file and saved whole at
// the end, so a run cut short anywhere resumes without sending a confirmed
// file again. A plan with nothing to do opens no connection.
// Threads: Run blocks the calling thread (the engine's sessions run on
// their own); Abort is the hooks' cancel flag, set from any thread.
#pragma once

#include <memory>
#include <string>

#include "ftp/dmFtp.h"
#include "sftp/shared_host_key.h"
#include "upload/publish_plan.h"
#include "upload/publish_record.h"
#include "upload/run_certificate_trust.h"
#include "upload/run_hooks.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"

namespace tovra {

class IRemoteSession;

class TPublishRun {
 public:
  // hooks are the front end's, as for an upload (hooks.cancel must be set);
  // the site, the hooks' objects, view and record must outlive the run.
  TPublishRun(const TUploadSite& site, const TRunHooks& hooks, IUploadView& view, TPublishRecord& record);

  // Completed or Aborted; a failure is thrown after the record is saved.
  TRunOutcome Run(const TPublishPlan& plan, bool deleteRemoved);

 private:
  bool Cancelled() const { return hooks_.cancel->load(std::memory_order_relaxed) == 1; }
  void Remember(const std::string& key, const std::string& value);
  // The run's own session, for the leftovers and the deletions.
  std::unique_ptr<IRemoteSession> OpenSession();
  TRunOutcome RunSteps(const TPublishPlan& plan, bool deleteRemoved);
  TRunOutcome Send(const TPublishPlan& plan);
  void RemoveLeftovers(IRemoteSession& session);
  void Delete(IRemoteSession& session, const TPublishPlan& plan);
  void RemoveEmptyFolders(IRemoteSession& session, const TPublishPlan& plan);
  std::string OnServer(IRemoteSession& session, const std::string& below) const;
  // Whether a path of the plan can be named on the server: false for a
  // marked name when the server keeps CP932 names.
  bool Nameable(const std::string& path) const { return utf8Names_ || !NeedsUtf8Names(path); }

  const TUploadSite& site_;
  TRunHooks hooks_;
  IUploadView& view_;
  TPublishRecord& record_;
  TRunCertificateTrust trust_;
  TRunHostKeyPrompt hostKeyPrompt_;
  TSharedHostKey hostKey_;
  TFTP ftp_;  // the FTP connection of the run's own session
  // Whether the server keeps UTF-8 names; for FTP with RemoteNameEncoding
  // auto, as its first login agreed.
  bool utf8Names_ = false;
  bool namesKnown_ = false;
};

// How the site's server takes names CP932 cannot hold, by its settings.
TServerNames ServerNamesOf(const TExtendedSettings& extended);

// The plan's one line of counts: "新規 2 件、変更 3 件、削除 1 件、変更なし 10 件",
// with "、送信不可 N 件" for files whose names a CP932 server cannot hold.
std::string PublishCountsLine(const TPublishPlan& plan, TServerNames names = TServerNames::AtLogin);
// The plan as it is shown before it runs: a line per file ("新規 PATH",
// "変更 PATH", "削除 PATH"), in sending order, then the counts line. A file
// whose name CP932 cannot hold is "送信不可 PATH" with the reason for a
// CP932 server, and carries the condition when the server agrees at login.
std::vector<std::string> PublishPlanLines(const TPublishPlan& plan, TServerNames names = TServerNames::AtLogin);

}  // namespace tovra
