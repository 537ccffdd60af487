#include "html/references.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "html/css_references.h"
#include "html/page_encoding.h"
#include "html/reference_text.h"
#include "html/tag_scan.h"
#include "util/string_list.h"

namespace tovra {
namespace {

enum class TValueKind { File, StyleSheet, Srcset, Style };

// Where a reference stands: the encoding its percent escapes fall back to,
// the folder it is resolved against, its referrer and the site's address.
struct TContext {
  bool shiftJis = false;
  std::string_view referrer;
  std::string_view webUrl;
};

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsHtmlBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsHtmlBlank(text.back())) text.remove_suffix(1);
  return text;
}

// A name of exactly ".htm" or ".html": a page, which travels only when selected.
bool IsPageName(std::string_view path) { return path.ends_with(".htm") || path.ends_with(".html"); }

// A reference already in UTF-8 with its character references decoded.
std::optional<TPageReference> Resolve(std::string_view text, const TContext& at) {
  std::string reference(TrimBlanks(text));
  std::replace(reference.begin(), reference.end(), '\\', '/');  // as browsers read a backslash
  std::string_view ref = WithoutFragmentAndQuery(reference);
  if (ref.empty()) return std::nullopt;  // "#top", "?a=1": the page itself
  std::optional<std::string> own = BelowSiteUrl(ref, at.webUrl);
  if (!own && HasUrlScheme(ref)) return std::nullopt;
  const std::string decoded = DecodePercentEscapes(own ? std::string_view(*own) : ref, at.shiftJis);
  const TResolvedUrl url = ResolveUrlPath(decoded, UrlFolderOf(at.referrer));
  if (url.folder) return std::nullopt;
  return TPageReference{url.path, std::string(at.referrer), url.outside, false};
}

// Every candidate URL of a srcset value: a URL, then descriptors up to the
// next comma.
void ForEachSrcsetCandidate(std::string_view set, const std::function<void(std::string_view)>& found) {
  std::size_t i = 0;
  while (i < set.size()) {
    while (i < set.size() && (IsHtmlBlank(set[i]) || set[i] == ',')) ++i;
    const std::size_t start = i;
    while (i < set.size() && !IsHtmlBlank(set[i])) ++i;
    std::string_view url = set.substr(start, i - start);
    const bool ended = url.ends_with(',');
    while (url.ends_with(',')) url.remove_suffix(1);
    if (!url.empty()) found(url);
    if (ended) continue;
    int depth = 0;
    for (; i < set.size() && (depth > 0 || set[i] != ','); ++i) {
      depth += set[i] == '(' ? 1 : (set[i] == ')' && depth > 0 ? -1 : 0);
    }
  }
}

// Whether a link's rel names something the browser loads; `styleSheet` is
// set for a style sheet.
bool LoadsLink(std::string_view rel, bool& styleSheet) {
  bool loads = false;
  std::size_t i = 0;
  while (i < rel.size()) {
    while (i < rel.size() && IsHtmlBlank(rel[i])) ++i;
    const std::size_t start = i;
    while (i < rel.size() && !IsHtmlBlank(rel[i])) ++i;
    const std::string_view token = rel.substr(start, i - start);
    if (SameTextNoCase(token, "stylesheet")) styleSheet = loads = true;
    for (std::string_view kind : {"icon", "apple-touch-icon", "mask-icon", "manifest", "preload", "modulepreload"}) {
      if (SameTextNoCase(token, kind)) loads = true;
    }
  }
  return loads;
}

bool TagIs(const TStartTag& tag, std::initializer_list<std::string_view> names) {
  return std::any_of(names.begin(), names.end(), [&](std::string_view n) { return SameTextNoCase(tag.name, n); });
}

// The values of a start tag that load something, with what they are.
void ForEachLoadingValue(const TStartTag& tag, const std::function<void(std::string_view, TValueKind)>& emit) {
  for (const auto& a : tag.attributes) {
    if (SameTextNoCase(a.name, "style")) emit(a.value, TValueKind::Style);
    if (SameTextNoCase(a.name, "background") || SameTextNoCase(a.name, "tracingsrc") ||
        SameTextNoCase(a.name, "poster")) {
      emit(a.value, TValueKind::File);
    }
  }
  auto value = [&](std::string_view name, TValueKind kind) {
    if (const TTagAttribute* a = tag.Find(name)) emit(a->value, kind);
  };
  if (TagIs(tag, {"img", "source"})) {
    value("src", TValueKind::File);
    value("srcset", TValueKind::Srcset);
    value("data-src", TValueKind::File);
    value("data-srcset", TValueKind::Srcset);
  } else if (TagIs(tag, {"script", "audio", "video", "track", "embed"})) {
    value("src", TValueKind::File);
  } else if (TagIs(tag, {"input"})) {
    const TTagAttribute* type = tag.Find("type");
    if (type != nullptr && SameTextNoCase(TrimBlanks(type->value), "image")) value("src", TValueKind::File);
  } else if (TagIs(tag, {"object"})) {
    value("data", TValueKind::File);
  } else if (TagIs(tag, {"link"})) {
    const TTagAttribute* rel = tag.Find("rel");
    bool styleSheet = false;
    if (rel != nullptr && LoadsLink(rel->value, styleSheet)) {
      value("href", styleSheet ? TValueKind::StyleSheet : TValueKind::File);
    }
  } else if (TagIs(tag, {"use", "image"})) {
    value("href", TValueKind::File);
    value("xlink:href", TValueKind::File);
  }
  // A frame's or an iframe's source is a page: never collected.
}

// The references of a style sheet's text (UTF-8) in order.
void StyleReferences(std::string_view css, const TContext& at, std::vector<TPageReference>& out) {
  ScanStyleSheet(css, [&](std::string_view value) {
    if (auto r = Resolve(value, at)) out.push_back(std::move(*r));
  });
}

}  // namespace

const TReferenceCollector::Sheet& TReferenceCollector::StyleSheet(const std::string& path, std::string_view webUrl) {
  auto it = sheets_.find(path);
  if (it != sheets_.end()) return it->second;
  Sheet& sheet = sheets_[path];
  const std::optional<std::string> bytes = fetch_ ? fetch_(path) : std::nullopt;
  if (!bytes) return sheet;
  const bool shiftJis = StyleSheetIsShiftJis(*bytes);
  std::string_view css(*bytes);
  if (css.starts_with("\xEF\xBB\xBF")) css.remove_prefix(3);
  StyleReferences(SourceTextToUtf8(css, shiftJis), TContext{shiftJis, path, webUrl}, sheet.references);
  return sheet;
}

std::vector<TPageReference> TReferenceCollector::Collect(const TPageSource& page) {
  const bool shiftJis = ResolvePageEncoding(page.encoding, page.bytes) == TPageEncoding::ShiftJis;
  const TContext at{shiftJis, page.path, page.webUrl};
  // The page's own references, each path once (a style sheet link wins
  // over a plain mention, so that it is followed).
  std::vector<TPageReference> found;
  std::unordered_map<std::string, std::size_t> where;
  auto keep = [&](std::vector<TPageReference>& refs) {
    for (auto& r : refs) {
      auto [it, added] = where.emplace(r.path, found.size());
      if (added) {
        found.push_back(std::move(r));
      } else if (r.styleSheet) {
        found[it->second].styleSheet = true;
      }
    }
    refs.clear();
  };
  std::vector<TPageReference> batch;
  auto emit = [&](std::string_view raw, TValueKind kind) {
    const std::string text = DecodeCharacterReferences(SourceTextToUtf8(raw, shiftJis));
    if (kind == TValueKind::Style) {
      StyleReferences(text, at, batch);
    } else if (kind == TValueKind::Srcset) {
      ForEachSrcsetCandidate(text, [&](std::string_view url) {
        if (auto r = Resolve(url, at)) batch.push_back(std::move(*r));
      });
    } else if (auto r = Resolve(text, at)) {
      r->styleSheet = kind == TValueKind::StyleSheet;
      batch.push_back(std::move(*r));
    }
    keep(batch);
  };
  ScanStartTags(page.bytes, TTagSink{[&](const TStartTag& tag) { ForEachLoadingValue(tag, emit); },
                                     [&](std::string_view block) {
                                       StyleReferences(SourceTextToUtf8(block, shiftJis), at, batch);
                                       keep(batch);
                                     }});

  return WithStyleSheets(found, page.webUrl);
}

std::vector<TPageReference> TReferenceCollector::WithStyleSheets(const std::vector<TPageReference>& found,
                                                                 std::string_view webUrl) {
  // Each path once; a style sheet is followed where it is first found, so
  // a cycle of @imports ends. A server that answers every address with a
  // sheet naming a deeper one has no end of new paths: sheets are followed
  // only so deep and so many, far beyond what a site has.
  constexpr int kDeepestSheet = 32;
  constexpr int kMostSheets = 512;
  std::vector<TPageReference> out;
  std::unordered_set<std::string> seen;
  std::vector<std::pair<TPageReference, int>> pending;
  for (auto r = found.rbegin(); r != found.rend(); ++r) pending.emplace_back(*r, 0);
  int followed = 0;
  while (!pending.empty()) {
    auto [r, depth] = std::move(pending.back());
    pending.pop_back();
    if (IsPageName(r.path) || !seen.insert(r.path).second) continue;
    r.styleSheet = !r.outside && (r.styleSheet || EndsWithNoCase(r.path, ".css"));
    out.push_back(r);
    if (!r.styleSheet || depth >= kDeepestSheet || ++followed > kMostSheets) continue;
    const Sheet& sheet = StyleSheet(r.path, webUrl);
    for (auto it = sheet.references.rbegin(); it != sheet.references.rend(); ++it) pending.emplace_back(*it, depth + 1);
  }
  return out;
}

std::vector<TPageReference> CollectPageReferences(const TPageSource& page, const TStyleSheetFetch& fetch) {
  TReferenceCollector collector(fetch);
  return collector.Collect(page);
}

}  // namespace tovra
