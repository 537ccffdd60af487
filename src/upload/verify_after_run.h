// The check at the public address that follows a completed run when the
// site's VerifyAfterUpload is on: the run's files are requested at the
// site's WebURL; each file that differs is a status line, the counts are
// the summary under the progress bar, and a difference is a warning box.
// Threading: called on the run's thread; it talks to the view as the run does.
#pragma once

#include <atomic>
#include <cstdint>

namespace tovra {

class IUploadView;
struct TUploadPlan;

// Does nothing unless the plan's site has VerifyAfterUpload on. A WebURL
// that cannot be checked is one status line. The cancel flag (the abort
// button) cuts the check short. Returns whether anything differed.
bool VerifyAfterRun(const TUploadPlan& plan, IUploadView& view, const std::atomic<std::uint8_t>& cancel);

}  // namespace tovra
