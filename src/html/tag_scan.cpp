#include "html/tag_scan.h"

#include <algorithm>
#include <cstring>

#include "util/string_list.h"

namespace tovra {
namespace {

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::size_t SkipBlanks(std::string_view page, std::size_t i) {
  while (i < page.size() && IsHtmlBlank(page[i])) ++i;
  return i;
}

std::size_t EndOf(std::string_view page, std::size_t found, std::size_t length) {
  return found == std::string_view::npos ? page.size() : found + length;
}

// The first "</name" at or after i, letter case ignored; npos when none.
std::size_t FindEndTag(std::string_view page, std::size_t i, std::string_view name) {
  while (true) {
    const std::size_t hit = page.find("</", i);
    if (hit == std::string_view::npos) return hit;
    if (page.size() - hit - 2 >= name.size() && SameTextNoCase(page.substr(hit + 2, name.size()), name)) return hit;
    i = hit + 2;
  }
}

// Reads the attributes of a start tag from i (behind its name) up to and
// including its ">"; returns the position behind it.
std::size_t ReadAttributes(std::string_view page, std::size_t i, std::vector<TTagAttribute>& attributes) {
  while (true) {
    while (i < page.size() && (IsHtmlBlank(page[i]) || page[i] == '/')) ++i;
    if (i >= page.size()) return i;
    if (page[i] == '>') return i + 1;
    const std::size_t nameStart = i;
    ++i;  // a name may begin with any character but a blank, "/" or ">"
    while (i < page.size() && !IsHtmlBlank(page[i]) && page[i] != '=' && page[i] != '>' && page[i] != '/') ++i;
    TTagAttribute attribute{page.substr(nameStart, i - nameStart), {}};
    const std::size_t afterName = i;
    i = SkipBlanks(page, i);
    if (i >= page.size() || page[i] != '=') {
      i = afterName;
      attributes.push_back(attribute);
      continue;
    }
    i = SkipBlanks(page, i + 1);
    if (i < page.size() && (page[i] == '"' || page[i] == '\'')) {
      const std::size_t close = page.find(page[i], i + 1);
      const std::size_t end = close == std::string_view::npos ? page.size() : close;
      attribute.value = page.substr(i + 1, end - i - 1);
      i = std::min(end + 1, page.size());
    } else {
      const std::size_t start = i;
      while (i < page.size() && !IsHtmlBlank(page[i]) && page[i] != '>') ++i;
      attribute.value = page.substr(start, i - start);
    }
    attributes.push_back(attribute);
  }
}

}  // namespace

const TTagAttribute* TStartTag::Find(std::string_view attribute) const {
  for (const auto& a : attributes) {
    if (SameTextNoCase(a.name, attribute)) return &a;
  }
  return nullptr;
}

namespace {

// inScript: the text of a script, where "<!--" and "-->" only hide the code
// from old browsers and the markup the code writes stands between them.
void ScanTags(std::string_view page, const TTagSink& sink, bool inScript) {
  TStartTag tag;
  std::size_t i = 0;
  while (i < page.size()) {
    const void* hit = std::memchr(page.data() + i, '<', page.size() - i);
    if (hit == nullptr) return;
    i = static_cast<std::size_t>(static_cast<const char*>(hit) - page.data()) + 1;
    if (i >= page.size()) return;
    if (page.substr(i, 3) == "!--") {
      i = inScript ? i + 3 : EndOf(page, page.find("-->", i + 3), 3);
      continue;
    }
    if (page[i] == '!' || page[i] == '?' || page[i] == '/') {
      i = EndOf(page, page.find('>', i), 1);
      continue;
    }
    if (!IsLetter(page[i])) continue;
    const std::size_t nameStart = i;
    while (i < page.size() && !IsHtmlBlank(page[i]) && page[i] != '>' && page[i] != '/') ++i;
    tag.name = page.substr(nameStart, i - nameStart);
    tag.attributes.clear();
    i = ReadAttributes(page, i, tag.attributes);
    if (sink.tag) sink.tag(tag);
    const bool style = SameTextNoCase(tag.name, "style");
    if (style || SameTextNoCase(tag.name, "script")) {
      const std::size_t end = FindEndTag(page, i, tag.name);
      const std::size_t stop = end == std::string_view::npos ? page.size() : end;
      if (style && sink.styleBlock) sink.styleBlock(page.substr(i, stop - i));
      // A script may write markup into the page (document.write('<img ...>')),
      // which the browser then loads: the tags in its text count as the page's.
      if (!style && sink.tag) ScanTags(page.substr(i, stop - i), TTagSink{sink.tag, nullptr}, true);
      i = stop;
    }
  }
}

}  // namespace

void ScanStartTags(std::string_view page, const TTagSink& sink) { ScanTags(page, sink, false); }

}  // namespace tovra
