// One upload from button press to the last status line: the preparation of
// the upload list (UI thread), the hand-over through the one-shot timer, and
// the transfer run on the timer's thread. Shared by the window and
// tovra-cli; the form's handlers delegate here.
// Threading: Start and Abort on the UI thread; MMTimer1Timer and
// RunTransfer on the timer thread. The upload list is touched by the timer
// thread only between the hand-over and the end of the run, while the upload
// button is disabled.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/mm_timer.h"
#include "upload/page_rewriter.h"
#include "upload/upload_view.h"
#include "util/string_list.h"

namespace tovra {

class TFTP;

// The option check boxes of the main window.
struct TUploadOptions {
  bool cxOnly = false;     // the selection only, without dependency analysis
  RewriteOptions rewrite;  // page rewriting steps
};

class TUploadJob {
 public:
  // siteRoot reads the site root (the profile's LocalRootDir) when asked: at
  // preparation and again at tick time. finishSiteUpdates is the update
  // check's hook after every run (and after an empty preparation); it is
  // called on the thread that ends the upload.
  TUploadJob(TFTP& ftp, IUploadView& view, std::function<std::string()> siteRoot,
             std::function<void()> finishSiteUpdates);
  ~TUploadJob();

  // BitBtn1Click: with cxOnly, asks first; then PrepareUpload. Returns true
  // when a run was handed to the timer.
  bool Start(const TStringList& selection, const TUploadOptions& options);
  bool PrepareUpload(const TStringList& selection, const TUploadOptions& options);
  // btnAbortClick: only sets the session's cancel flag.
  void Abort();

  // The timer tick and the run it starts (public for tests).
  void MMTimer1Timer();
  TRunOutcome RunTransfer(const TStringList& list, const std::string& siteRoot);

  const TStringList& UploadList() const { return uploadList_; }
  TMMTimer& Timer() { return timer_; }

 private:
  TFTP& ftp_;
  IUploadView& view_;
  std::function<std::string()> siteRoot_;
  std::function<void()> finishSiteUpdates_;
  TStringList uploadList_;
  TMMTimer timer_;
};

// Deletes, last entry first, every entry whose file does not exist and
// appends its path to `missing` (which is cleared first): the missing files
// come out in reverse list order, the rest keep their order.
void RemoveMissingFiles(TStringList& list, TStringList& missing);

// The mark that follows a path outside the site root wherever such a path is
// shown with the missing files.
inline constexpr char kOutsideSiteMark[] = " (サイトの外: 送信しません)";

// Takes out of the list every entry from index `from` on that does not lie
// under the site root (IsUnderRoot) and appends it, followed by
// kOutsideSiteMark, to `outside`: a page's reference that leads out of the
// site is shown to the user and never sent. Entries before `from` (the
// user's own selection) are left alone. The rest keep their order.
void SetAsideOutsideSite(TStringList& list, int from, std::string_view siteRoot, TStringList& outside);

// Whether the path's extension is exactly ".htm" or ".html" (letter case
// counts: "INDEX.HTM" is not a page here).
bool IsPagePath(const std::string& path);

// The upload log file of the application folder.
std::string UploadLogPath();

}  // namespace tovra
