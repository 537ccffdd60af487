// Sites for tests: a profile saved in the application folder (TOVRA_APP_FOLDER)
// and its name added to the site list, as creating it in the site dialog does.
#pragma once

#include <string>

#include "sites/extended_settings.h"

namespace tovra::test {

struct TestSite {
  std::string name;
  std::string root;  // must exist
  int port = 21;
  std::string password = "secret";  // user "tovra", host 127.0.0.1
  std::string url;
};

// The extended settings are saved as given: by default the profile has
// none, as a site saved before they existed.
void SaveTestSite(const TestSite& site, const TExtendedSettings& extended = {});

}  // namespace tovra::test
