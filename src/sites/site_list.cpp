#include "sites/site_list.h"

#include <map>
#include <mutex>
#include <optional>

#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/folder_lock.h"
#include "platform/line_file.h"
#include "sites/site_profile.h"

namespace tovra {

std::string SiteListFileName() { return JoinPath(AppFolder(), "サイトリスト.txt"); }

namespace {

// The site list as this process last read or wrote it, per file.
std::mutex knownMutex;
std::map<std::string, TStringList, std::less<>> knownLists;

void Remember(std::string_view path, const TStringList& list) {
  std::lock_guard<std::mutex> lock(knownMutex);
  knownLists.insert_or_assign(std::string(path), list);
}

std::optional<TStringList> Known(std::string_view path) {
  std::lock_guard<std::mutex> lock(knownMutex);
  auto it = knownLists.find(path);
  if (it == knownLists.end()) return std::nullopt;
  return it->second;
}

TStringList ReadSiteList(std::string_view path) {
  TStringList list;
  if (!LoadLinesIfExists(path, list)) list = TStringList{std::string(kNewSiteName)};
  return list;
}

}  // namespace

TStringList LoadSiteList(std::string_view path) {
  TStringList list = ReadSiteList(path);
  Remember(path, list);
  return list;
}

TStringList LoadSiteList() { return LoadSiteList(SiteListFileName()); }

void SaveSiteList(const TStringList& list, std::string_view path) {
  TFolderLock lock(ExtractFileDir(path));
  TStringList merged = list;
  if (std::optional<TStringList> base = Known(path)) {
    merged = MergeSiteList(*base, list, ReadSiteList(path),
                           [](const std::string& name) { return FileExists(ProfileFileName(name)); });
  }
  SaveLines(path, merged);
  Remember(path, list);
}

TStringList MergeSiteList(const TStringList& base, const TStringList& mine, const TStringList& theirs,
                          const std::function<bool(const std::string&)>& keep) {
  TStringList merged;
  for (const auto& name : mine) {
    const bool removedByThem = base.Contains(name) && !theirs.Contains(name);
    if (removedByThem && name != kNewSiteName && !keep(name)) continue;
    merged.Add(name);
  }
  for (const auto& name : theirs) {
    if (!base.Contains(name) && !merged.Contains(name)) AddCreatedSite(merged, name);
  }
  return merged;
}

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
