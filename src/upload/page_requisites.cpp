#include "upload/page_requisites.h"

#include <optional>

#include "platform/encoding.h"

namespace tovra {

namespace {

// A URL path of the collection ("/img/a.png", UTF-8) as a path below the
// site root in CP932; nothing when CP932 cannot hold it.
std::optional<std::string> SitePath(std::string_view urlPath) {
  if (urlPath.starts_with('/')) urlPath.remove_prefix(1);
  std::string cp932;
  if (urlPath.empty() || !TryUtf8ToCp932(urlPath, cp932)) return std::nullopt;
  return cp932;
}

}  // namespace

std::vector<TRequisite> FindPageRequisites(std::string_view pageBytes, const std::string& pagePath,
                                           std::string_view webUrl, const TStyleSheetFetch& fetchStyleSheet) {
  const std::string pageUrlPath = "/" + Cp932ToUtf8(pagePath);
  TStyleSheetFetch fetch = [&fetchStyleSheet](const std::string& urlPath) -> std::optional<std::string> {
    const std::optional<std::string> path = SitePath(urlPath);
    if (!path || !fetchStyleSheet) return std::nullopt;
    return fetchStyleSheet(*path);
  };
  std::vector<TRequisite> found;
  const TPageSource page{pageBytes, pageUrlPath, TPageEncoding::Auto, webUrl};
  for (const TPageReference& reference : CollectPageReferences(page, fetch)) {
    if (reference.outside || reference.path == pageUrlPath) continue;
    std::optional<std::string> path = SitePath(reference.path);
    if (!path) continue;
    found.push_back({std::move(*path), SitePath(reference.referrer).value_or(pagePath)});
  }
  return found;
}

}  // namespace tovra
