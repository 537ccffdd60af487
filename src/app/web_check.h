// The web check: the public URL of the page selected in the file list,
// built from the site URL, the site's local root and the page's path. Qt-free.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "util/messenger.h"

namespace tovra {

// The URL of `path` (a local file below `root`) on the site `url`: exactly
// one slash at the joint, the path's first CharLength(root) characters cut,
// every path separator turned into "/". No percent-encoding.
std::string WebCheckUrl(const std::string& url, const std::string& root, const std::string& path);

// btnWebCheckClick: refuses zero or several selected files with a warning;
// otherwise opens the URL of folder + separator + the one name. Returns the
// URL opened, or empty.
std::string WebCheck(const std::vector<std::string>& selectedNames, const std::string& treeFolder,
                     const std::string& webUrl, const std::string& localRoot, IMessenger& messenger,
                     const std::function<void(const std::string&)>& openUrl);

// The opener of the window: the URL in the user's browser; a browser that
// cannot be started is reported with the URL, so that it can be copied.
void OpenInBrowserOrSay(const std::string& url, IMessenger& messenger);

}  // namespace tovra
