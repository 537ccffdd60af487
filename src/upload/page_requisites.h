// The files a page needs from the server, found in the page's bytes as the
// server gives them: its references, and those of the style sheets it names
// (fetched through a callback, followed to the sheets they import). Paths
// are below the site root, "/"-separated, in CP932. Functions keep no state
// and run on their caller's thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {

struct TRequisite {
  std::string path;      // below the site root, "/"-separated
  std::string neededBy;  // the page or style sheet that names it
};

// A style sheet's bytes as the server gives them; nothing when it does not
// answer 200.
using TStyleSheetFetch = std::function<std::optional<std::string>(const std::string& pathBelowRoot)>;

// The collection a verify run uses: from a page's bytes and its path below
// the site root to the files it needs, each once.
using TRequisiteFinder = std::function<std::vector<TRequisite>(std::string_view pageBytes, const std::string& pagePath,
                                                               const TStyleSheetFetch& fetchStyleSheet)>;

// The built-in collection: the page's references (link extraction, the
// page's own encoding) that stay on the site, pages and the page itself
// left out; every style sheet among them is fetched and its url(...) and
// @import references are added, sheet by sheet, each sheet read once.
std::vector<TRequisite> FindPageRequisites(std::string_view pageBytes, const std::string& pagePath,
                                           const TStyleSheetFetch& fetchStyleSheet);

// The url(...) and @import references of a style sheet, in order.
std::vector<std::string> StyleSheetReferences(std::string_view css);

// The path below the site root that a reference made in the file `from`
// (below the site root) names: a fragment and query dropped, %XX decoded,
// "." and ".." folded. Empty for a reference to another site (a scheme or
// "//"), one that climbs above the site root, or one that names nothing.
std::string ResolveSiteReference(std::string_view from, std::string_view reference);

}  // namespace tovra
