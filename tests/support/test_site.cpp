#include "support/test_site.h"

#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"

namespace tovra::test {

void SaveTestSite(const TestSite& site, const TExtendedSettings& extended) {
  TConfigFile config;
  TSiteProfile profile(config);
  profile.LoadProfile(std::string(kNewSiteName));
  profile.edName = site.name;
  profile.FolderTree().SelectFolder(site.root);
  profile.WebHostName = "127.0.0.1";
  profile.WebUserName = "tovra";
  profile.WebPasswd = site.password;
  profile.WebPort = site.port;
  profile.WebURL = site.url;
  profile.Extended = extended;
  profile.SaveProfile();
  TStringList list = LoadSiteList();
  AddCreatedSite(list, site.name);
  SaveSiteList(list);
}

}  // namespace tovra::test
