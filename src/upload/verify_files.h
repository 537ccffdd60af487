// Which files a verify run checks when none are named: those of the last
// upload (its upload log) that lie below the site root, those of the last
// publish, or every file below the site root. Run on their caller's thread; they keep no state.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovra {

// The entries of the upload log (UploadLogPath) below the site root, in
// their order; empty when there is no log.
std::vector<std::string> LastUploadFiles(std::string_view siteRoot);

// Every file a first publish of the site would send (the publish's own walk
// and exclusions: no version control folders, no linked folders), non-pages
// first, each group in path order.
std::vector<std::string> WholeSiteFiles(std::string_view siteRoot);

// The files of the site's publish record, as local paths below the site
// root, in path order; every file below the root (WholeSiteFiles) when the
// site was never published.
std::vector<std::string> PublishedSiteFiles(const std::string& siteName, std::string_view siteRoot);

}  // namespace tovra
