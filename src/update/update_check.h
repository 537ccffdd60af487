// The update check: scans every site's root folder for pages and movies,
// compares the scan with the managed file list saved at the last
// deactivation or closing, and shows the new and changed files site by site
// in the update panel. Owned by the main window (or tovra-cli) for its whole
// life; runs on the UI thread only.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "update/FindFile.h"
#include "update/strings_list.h"
#include "update/update_view.h"
#include "util/messenger.h"
#include "util/string_list.h"

namespace tovra {

// The managed file list in the application folder.
std::string ManagedFileListPath();

// A decimal integer as the list files hold it; EConvertError otherwise.
int StrToInt(std::string_view text);

// The files of one site that a check found new or changed.
struct TSiteUpdates {
  std::string site;
  TStringList files;
};

class TUpdateCheck {
 public:
  TUpdateCheck(ISiteProfiles& sites, IUpdateView& view, IMessenger& messenger,
               std::string listPath = ManagedFileListPath());
  TUpdateCheck(const TUpdateCheck&) = delete;
  TUpdateCheck& operator=(const TUpdateCheck&) = delete;

  // The search walking each site; the window sets its OnProcessMessages.
  TFindFile FindFile1;
  // Whether a scan passes over a site whose root folder has gone (the
  // window, where such a site is then repaired) instead of raising the
  // path error (the command line, whose check then fails).
  bool PassOverMissingRoots = false;

  const TStringsList& CurrentScan() const { return currentScan_; }
  // Full paths found new or changed and not yet shown, in scan order.
  const TStringList& PendingUpdates() const { return pendingUpdates_; }
  const std::string& ListPath() const { return listPath_; }

  // Rebuilds CurrentScan from the disk: a marker row (site, "0") per site,
  // then (path, packed last-write time) per page and movie under its root.
  // Returns false, doing nothing, when a scan is already running (a handler
  // run while the search yields). With PassOverMissingRoots a site whose
  // root folder has gone is passed over (SkippedSites); other failures to
  // load a profile are raised.
  bool ScanSites();
  // OnFind of FindFile1: records the file unless its path is listed already.
  void FindFile1Find(const std::string& fileName, const std::string& path, TSearchRec& search, bool& cancel);
  // Empties PendingUpdates, scans, and collects the files that are new or
  // whose time grew since the saved list. Without a saved list nothing is new.
  // Returns false, doing nothing, when a scan is already running.
  bool CheckUpdates();
  // Shows the pending files of the first site that has any in the update panel.
  void ShowSiteUpdates();
  // Leaves the update panel and shows the next site's files; nothing when the
  // panel is hidden. Called after every upload run and by the panel's Cancel.
  void FinishSiteUpdates();
  // Removes and returns the pending files under root, in order.
  TStringList TakePendingUnder(std::string_view root);
  // Takes every pending file, grouped site by site as the panel would show
  // them one after another (for the command line). Loads each site's profile.
  std::vector<TSiteUpdates> TakePendingBySite();

  // The window's handlers.
  void UpdateCheckClick();   // btnUpdateCheck
  void UpdateCancelClick();  // btUpdateCancel
  void SaveOnDeactivate();   // the application loses the focus
  void SaveOnClose();        // the main window closes
  // Writes CurrentScan whole to the managed file list.
  void SaveManagedFileList();
  // The files a run has sent: they are no longer kept pending.
  void MarkUploaded(const TStringList& files);
  // Sites the last scan passed over (their root folder has gone), one line each.
  const TStringList& SkippedSites() const { return skippedSites_; }

 private:
  void CompareWithSaved();
  void RestoreSelectedProfile(const TStringList& sites, int selected);
  // LoadRootDir of the site; false for a site whose root folder has gone.
  bool LoadRoot(const std::string& site, std::string& root);
  // Writes CurrentScan, with the saved time of every file found new or
  // changed and not uploaded since (a new one left out), so that the next
  // check lists it again; a site the scan passed over keeps its saved rows.
  void SaveKeepingUnsent();
  void CopySavedRowsOfSkipped(TStringsList& rows) const;

  ISiteProfiles& sites_;
  IUpdateView& view_;
  IMessenger& messenger_;
  std::string listPath_;
  TStringsList currentScan_;
  TStringList pendingUpdates_;
  // Found new or changed and not yet uploaded: path -> the time the saved
  // list held ("" when it did not list the file).
  std::map<std::string, std::string> unsent_;
  TStringList skippedSites_;
  TStringList skippedNames_;
  bool scanning_ = false;
};

}  // namespace tovra
