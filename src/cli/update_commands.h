// The update check on the command line: the site list and profiles of the
// application folder in place of the window's site dialog, a view without a
// panel, and the managed file list kept the way a terminal user expects.
// Shared by check-updates and upload --changed; single-threaded.
#pragma once

#include <string>

#include "cli/cli_messenger.h"
#include "sites/dmConfig.h"
#include "sites/site_profile.h"
#include "update/update_check.h"

namespace tovra::cli {

// The sites of the application folder's site list, loaded into a profile
// holder of their own.
class TCliSiteProfiles : public ISiteProfiles {
 public:
  TStringList SiteNames() override;
  std::string LoadRootDir(const std::string& siteName) override;

 private:
  TConfigFile config_;
  TSiteProfile profile_{config_};
};

// One check over every site, as the update check button runs it.
class TCliUpdateCheck {
 public:
  TCliUpdateCheck() = default;
  TCliUpdateCheck(const TCliUpdateCheck&) = delete;
  TCliUpdateCheck& operator=(const TCliUpdateCheck&) = delete;

  // Scans every site and compares the scan with the saved list.
  void Run();
  // What the window says when a check found nothing, on stderr; with
  // hintSave, also how to record a first list when none has been saved.
  void ReportNothingFound(bool hintSave);
  TUpdateCheck& Check() { return check_; }

  // Writes the list after the files taken from the pending ones went to the
  // server: every file of the scan with its time now, except the changes
  // still pending (not uploaded), which keep the time of the saved list, or
  // stay out of it when they are new, so that the next check reports them.
  void SaveAfterUpload();

 private:
  TCliSiteProfiles sites_;
  THeadlessUpdateView view_;
  TCliMessenger messenger_;
  TUpdateCheck check_{sites_, view_, messenger_};
};

}  // namespace tovra::cli
