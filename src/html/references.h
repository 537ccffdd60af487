// The modern reference collection: what a browser loads to show a page.
// Every image, script, style sheet, icon, frame source and media file that
// the page's start tags name (each attribute that loads something, every
// srcset candidate), every url() and @import of its style attributes and
// <style> blocks, and, followed through, of every style sheet it collects
// (each style sheet once, so a cycle of @imports ends). References are
// decoded as a browser decodes them (character references, percent-encoding)
// and resolved to URL paths below the site root. Not files, so never
// returned: a reference with a URL scheme or beginning with "//" (unless it
// begins with the site's own address), a link to a folder, and a page (a
// frame's source, or a name ending in exactly ".htm" or ".html").
//
// This unit reads no file: the page comes as bytes and style sheets through
// a callback, so the same collection serves files on disk and pages fetched
// from a server. Stateless apart from a TReferenceCollector's cache of style
// sheets; a collector is used by one thread at a time.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "util/text_encodings.h"

namespace tovra {

// One reference of a page. `path` is the URL path below the site root in
// UTF-8 ("/img/a.png"); for a reference that climbs above the site root it
// is the decoded reference as written, and `outside` is set. `referrer` is
// the URL path of the page or style sheet that holds it.
struct TPageReference {
  std::string path;
  std::string referrer;
  bool outside = false;
  bool styleSheet = false;  // followed as a style sheet

  bool operator==(const TPageReference&) const = default;
};

// Gives the bytes of the style sheet at a URL path below the site root, or
// nothing when there is none (it is then not followed; it is still
// returned as a reference).
using TStyleSheetFetch = std::function<std::optional<std::string>(const std::string& path)>;

// The page and where it lies.
struct TPageSource {
  std::string_view bytes;
  std::string_view path;                         // URL path below the site root, UTF-8: "/doc/index.html"
  TPageEncoding encoding = TPageEncoding::Auto;  // Auto decides by the bytes
  std::string_view webUrl;                       // the site's own address ("" when none)
};

class TReferenceCollector {
 public:
  explicit TReferenceCollector(TStyleSheetFetch fetch) : fetch_(std::move(fetch)) {}

  // Every reference of the page, in document order, each path once (the
  // first referrer kept); the references of a style sheet follow it.
  std::vector<TPageReference> Collect(const TPageSource& page);

 private:
  struct Sheet {
    std::vector<TPageReference> references;  // direct references only
  };
  const Sheet& StyleSheet(const std::string& path, std::string_view webUrl);
  // The page's references in order, each style sheet followed by its own.
  std::vector<TPageReference> WithStyleSheets(const std::vector<TPageReference>& found, std::string_view webUrl);

  TStyleSheetFetch fetch_;
  std::map<std::string, Sheet> sheets_;  // read once per collector
};

// The entry point for one page: its references, style sheets fetched with
// `fetch` (see TReferenceCollector::Collect).
std::vector<TPageReference> CollectPageReferences(const TPageSource& page, const TStyleSheetFetch& fetch);

}  // namespace tovra
