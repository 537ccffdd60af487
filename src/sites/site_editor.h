// TSiteEditor: what the site information dialog decides when it is closed
// with OK (Button1Click: delete, refuse, rename, create or save a site) or
// with Cancel (Button2Click: throw the edits away), without a window. It asks
// and tells through IMessenger, so the dialog and tovra-cli share every
// refusal and message. Used on the UI thread only.
#pragma once

#include <string>

#include "sites/site_profile.h"
#include "util/messenger.h"
#include "util/string_list.h"

namespace tovra {

// How the dialog ends: None keeps it open.
enum class TModalResult { None = 0, Ok = 1, Cancel = 2 };

class TSiteEditor {
 public:
  // profile and messenger must outlive the editor.
  TSiteEditor(TSiteProfile& profile, IMessenger& messenger) : profile_(profile), messenger_(messenger) {}

  // The list the dialog edits (the site selector's items), handed in before
  // each opening; it must outlive the opening.
  void SetSiteList(TStringList* list) { siteList_ = list; }
  // Records the name every later decision is taken against (on showing).
  void FormShow() { oldName_ = profile_.CurrentSiteName(); }
  const std::string& OldName() const { return oldName_; }

  // OK. After Ok, a blank CurrentSiteName means OldName was deleted (and
  // removed from the list); any other name was saved, and a newly created
  // one is not yet in the list (AddCreatedSite). Failures of the file
  // system are thrown and leave the dialog open.
  TModalResult Button1Click();
  // Cancel: reloads OldName, dropping every edit (a missing root folder
  // included, see LoadProfileKeepingMissingRoot).
  TModalResult Button2Click();

 private:
  TModalResult DeleteSite();
  // False when the user declined or the new name is taken.
  bool RenameSite(const std::string& name);
  // Whether name is in the list, or names the same profile file as another entry.
  bool NameInUse(const std::string& name) const;
  void Refuse(const std::string& text);

  TSiteProfile& profile_;
  IMessenger& messenger_;
  TStringList* siteList_ = nullptr;
  std::string oldName_;
};

}  // namespace tovra
