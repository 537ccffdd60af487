// The check at the public address that follows a completed run when the
// site's VerifyAfterUpload is on: the files the run sent are requested at
// the site's WebURL; each file that differs is a status line, the counts are
// the summary under the progress bar, and a difference is a warning box.
// Uploads and publishes, from the window and from the command line, all end
// in the same check.
// Threading: called on the run's thread; it talks to the view as the run does.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace tovra {

class IUploadView;
struct TPublishPlan;
struct TUploadPlan;
struct TUploadSite;

// Does nothing unless the site has VerifyAfterUpload on, or when the run
// sent nothing. files: the local paths the run sent (below the site root).
// A WebURL that cannot be checked, or a check that cannot run, is one status
// line. The cancel flag (the abort button) cuts the check short. Returns
// whether anything differed.
bool VerifyAfterRun(const TUploadSite& site, const std::vector<std::string>& files, IUploadView& view,
                    const std::atomic<std::uint8_t>& cancel);
// The same for an upload: the plan's files inside the site root.
bool VerifyAfterRun(const TUploadPlan& plan, IUploadView& view, const std::atomic<std::uint8_t>& cancel);

// The local paths a publish plan sends, in sending order.
std::vector<std::string> FilesSent(const TPublishPlan& plan);

}  // namespace tovra
