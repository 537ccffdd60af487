// What the upload needs of a front end: the status memo, the upload and
// abort buttons, the missing-files dialog, message boxes, and word that a
// run has ended. The window implements it with widgets, tovra-cli with the
// terminal, tests with a recording fake.
// Threading: the preparation calls it on the UI thread; the transfer run
// calls AppendStatus, SetAbortEnabled, SetUploadEnabled, ShowProgress,
// ShowSummary and RunEnded from its own threads, one call at a time. An
// implementation must deliver those calls to its UI in the order they were
// made (the window queues them onto its event loop).
#pragma once

#include <exception>
#include <string>

#include "html/missing_files.h"
#include "upload/transfer_progress.h"
#include "util/messenger.h"
#include "util/string_list.h"

namespace tovra {

enum class TRunOutcome { Completed, Aborted, Failed };

class IUploadView : public IMessenger {
 public:
  // Appends one line to the status memo (lines are never removed).
  virtual void AppendStatus(const std::string& line) = 0;
  virtual void SetUploadEnabled(bool enabled) = 0;  // BitBtn1
  virtual void SetAbortEnabled(bool enabled) = 0;   // btnAbort
  // The missing-dependency dialog listing the files that cannot be sent,
  // each with its reason (one line each, TMissingFile::Line): true to skip
  // them and go on, false to stop the upload.
  virtual bool ConfirmMissingFiles(const TMissingFiles& missing) = 0;
  // The run is over and the window is idle again. For a failure, `error` is
  // the failure's text, which the front end reports to the user.
  virtual void RunEnded(TRunOutcome outcome, const std::string& error) = 0;
  // Files and bytes done of the run so far, at most every 100 ms and at
  // each file's end; the counts never go back, and the last event of a run
  // that completed is at the totals.
  virtual void ShowProgress(const TTransferProgress& /*progress*/) {}
  // The run's one summary line (sent, skipped, failed), before RunEnded.
  virtual void ShowSummary(const std::string& /*line*/) {}
  // The text of a failure (of a file, or the one that ended a run) for the
  // status memo and RunEnded; a front end may explain the error's kind
  // before its text. Called from the run's threads: it must not touch the UI.
  virtual std::string FailureText(const std::exception& error) { return error.what(); }
};

}  // namespace tovra
