// A page's start tags with their attributes, read as a browser reads them:
// attribute names are whole names, values quoted with " or ' or unquoted,
// a ">" inside a quoted value does not end the tag; comments, end tags and
// declarations are passed over; the text of a `<style>` element is not read
// for tags but handed over as a style sheet, and the text of a `<script>`
// element is read for the tags it may write into the page. Works on the page's bytes in either page encoding: every
// byte it looks for is below 0x40, which no Shift-JIS trail byte is.
// Stateless; thread-safe; linear in the page.
#pragma once

#include <functional>
#include <string_view>
#include <vector>

namespace tovra {

// The blanks between an HTML tag's parts and around its attribute values.
inline constexpr bool IsHtmlBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

struct TTagAttribute {
  std::string_view name;   // as written; compare without letter case
  std::string_view value;  // as written, character references not decoded
};

struct TStartTag {
  std::string_view name;  // as written
  std::vector<TTagAttribute> attributes;

  // The value of the first attribute of that name (letter case ignored), or
  // nothing.
  const TTagAttribute* Find(std::string_view attribute) const;
};

struct TTagSink {
  std::function<void(const TStartTag&)> tag;
  std::function<void(std::string_view)> styleBlock;  // the text of a <style> element
};

void ScanStartTags(std::string_view page, const TTagSink& sink);

}  // namespace tovra
