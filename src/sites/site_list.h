// The site list: the names of all sites in display order, kept in the
// application folder's "サイトリスト.txt" (CP932, CR LF), with the new-site
// entry last. Lookups ignore letter case. Not thread-safe.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "util/errors.h"
#include "util/string_list.h"

namespace tovra {

class TSiteProfile;

// The site list file of the application folder.
std::string SiteListFileName();

// The lines of the file as they stand; a missing file gives the list holding
// only the new-site entry. Throws EFileError when the file cannot be read.
// The process remembers the list read (per file) as the base of its next save.
TStringList LoadSiteList(std::string_view path);
TStringList LoadSiteList();
// The whole list, CR LF after every line, replacing the file. Under the lock
// of the file's folder the file is read again: when this process read the
// list before, what other writers changed since then is merged in
// (MergeSiteList), so no site another writer added or removed is lost.
void SaveSiteList(const TStringList& list, std::string_view path);
void SaveSiteList(const TStringList& list);

// mine (this writer's list, made from base) with the changes of theirs (the
// file now) since base: a name theirs added joins before the last entry, a
// name theirs removed goes unless keep says it stays (its profile still
// exists); the new-site entry always stays. The order is mine's.
TStringList MergeSiteList(const TStringList& base, const TStringList& mine, const TStringList& theirs,
                          const std::function<bool(const std::string&)>& keep);

// After a site was created: adds name just before the last entry (so the
// new-site entry stays last) unless the list already holds it.
void AddCreatedSite(TStringList& list, const std::string& name);

// "サイト名称「%s」は登録されていません。"
class EUnknownSiteError : public ETovraError {
 public:
  explicit EUnknownSiteError(const std::string& name);
};

// Loads the profile of the site named name (letter case ignored) into
// profile, under the name as the list spells it; returns that spelling.
// Throws EUnknownSiteError when the list does not hold the name.
std::string LoadNamedSite(TSiteProfile& profile, const TStringList& list, std::string_view name);
// The same with the site list of the application folder.
std::string LoadNamedSite(TSiteProfile& profile, std::string_view name);

}  // namespace tovra
