// What the update check needs from the rest of the program: the sites and
// their profiles, and the main window's site selector and update panel. The
// window implements these with its widgets and the site dialog, tovra-cli
// with the terminal, tests with recording fakes. Called on the UI thread only.
#pragma once

#include <string>

#include "util/string_list.h"

namespace tovra {

class ISiteProfiles {
 public:
  virtual ~ISiteProfiles() = default;
  // The site list in its order, the reserved last entry included.
  virtual TStringList SiteNames() = 0;
  // Loads the profile of the site into the profile holder (LoadProfile) and
  // returns its local root folder. Raises whatever loading raises (a root
  // folder that no longer exists, for one).
  virtual std::string LoadRootDir(const std::string& siteName) = 0;
};

class IUpdateView {
 public:
  virtual ~IUpdateView() = default;
  // The site selector: index of the selected site, -1 when none.
  virtual int SelectedSiteIndex() = 0;
  virtual void SelectSiteIndex(int index) = 0;
  // Switches the window to the profile the holder has just loaded.
  virtual void ApplySiteProfile() = 0;

  // The update panel. Showing it hides the folder tree, file list and
  // splitter, disables the site selector, the edit button, the mask selector
  // and the web check button, and lists `files`, all unticked, under
  // `caption`. Hiding it undoes all of that.
  virtual void ShowUpdatePanel(const std::string& siteName, const std::string& caption, const TStringList& files) = 0;
  virtual void HideUpdatePanel() = 0;
  virtual bool UpdatePanelVisible() = 0;
  // The rows the user has ticked, in list order (the upload's selection).
  virtual TStringList CheckedUpdates() = 0;

  // Whether the site information dialog is showing.
  virtual bool SiteDialogVisible() = 0;
  // One line naming a site the check passed over (its root folder has gone).
  virtual void ReportSkippedSite(const std::string& /*line*/) {}
};

// A program without a window (the command line, benchmarks): no site is
// selected, and the panel never shows.
class THeadlessUpdateView : public IUpdateView {
 public:
  int SelectedSiteIndex() override { return -1; }
  void SelectSiteIndex(int) override {}
  void ApplySiteProfile() override {}
  void ShowUpdatePanel(const std::string&, const std::string&, const TStringList&) override {}
  void HideUpdatePanel() override {}
  bool UpdatePanelVisible() override { return false; }
  TStringList CheckedUpdates() override { return {}; }
  bool SiteDialogVisible() override { return false; }
};

}  // namespace tovra
