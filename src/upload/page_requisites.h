// The files a page needs from the server, found in the page's bytes as the
// server gives them by the modern reference collection: its references,
// and those of the style sheets it names (fetched through a callback,
// followed to the sheets they import). Paths are below the site root,
// "/"-separated, in CP932. Functions keep no state and run on their
// caller's thread.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "html/references.h"

namespace tovra {

struct TRequisite {
  std::string path;      // below the site root, "/"-separated
  std::string neededBy;  // the page or style sheet that names it
};

// The page's references that stay on the site, each once, pages and the
// page itself left out, every style sheet among them fetched (its path in
// CP932, below the site root) and followed. A reference to `webUrl` itself
// counts as one on the site; one that climbs above the site root, or whose
// name CP932 cannot hold, names no file here.
std::vector<TRequisite> FindPageRequisites(std::string_view pageBytes, const std::string& pagePath,
                                           std::string_view webUrl, const TStyleSheetFetch& fetchStyleSheet);

}  // namespace tovra
