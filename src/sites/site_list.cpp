#include "sites/site_list.h"

#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "sites/site_profile.h"

namespace tovra {

std::string SiteListFileName() { return JoinPath(AppFolder(), "サイトリスト.txt"); }

TStringList LoadSiteList(std::string_view path) {
  TStringList list;
  if (!LoadLinesIfExists(path, list)) list = TStringList{std::string(kNewSiteName)};
  return list;
}

TStringList LoadSiteList() { return LoadSiteList(SiteListFileName()); }

void SaveSiteList(const TStringList& list, std::string_view path) { SaveLines(path, list); }

void SaveSiteList(const TStringList& list) { SaveSiteList(list, SiteListFileName()); }

void AddCreatedSite(TStringList& list, const std::string& name) {
  if (list.Contains(name)) return;
  list.Insert(list.Empty() ? 0 : list.Count() - 1, name);
}

EUnknownSiteError::EUnknownSiteError(const std::string& name)
    : ETovraError("サイト名称「" + name + "」は登録されていません。") {}

std::string LoadNamedSite(TSiteProfile& profile, const TStringList& list, std::string_view name) {
  int index = list.IndexOf(name);
  if (index < 0) throw EUnknownSiteError(std::string(name));
  profile.LoadProfile(list[index]);
  return list[index];
}

std::string LoadNamedSite(TSiteProfile& profile, std::string_view name) {
  return LoadNamedSite(profile, LoadSiteList(), name);
}

}  // namespace tovra
