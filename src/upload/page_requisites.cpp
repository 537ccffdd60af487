#include "upload/page_requisites.h"

#include <cctype>
#include <set>

#include "html/htmlanal.h"
#include "html/page_encoding.h"
#include "platform/encoding.h"
#include "util/char_string.h"
#include "util/string_list.h"

namespace tovra {

namespace {

bool HasExtension(std::string_view path, std::string_view ext) {
  return path.size() >= ext.size() && CharLowerCase(path.substr(path.size() - ext.size())) == ext;
}

bool IsPage(std::string_view path) { return HasExtension(path, ".htm") || HasExtension(path, ".html"); }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// A scheme is letters, digits, "+", "-" or "." before the first ":".
bool HasScheme(std::string_view reference) {
  const std::size_t colon = reference.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const unsigned char c = static_cast<unsigned char>(reference[i]);
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return true;
}

std::size_t SkipSpaces(std::string_view text, std::size_t i) {
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

// A quoted string or, for url(, the text up to ")"; `i` moves past it.
std::string ReadCssValue(std::string_view css, std::size_t& i, bool inUrl) {
  i = SkipSpaces(css, i);
  if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
    const char quote = css[i];
    const std::size_t end = css.find(quote, i + 1);
    if (end == std::string_view::npos) return "";
    std::string value(css.substr(i + 1, end - i - 1));
    i = end + 1;
    return value;
  }
  if (!inUrl) return "";
  const std::size_t end = css.find(')', i);
  if (end == std::string_view::npos) return "";
  std::string value(CharTrim(std::string(css.substr(i, end - i))));
  i = end + 1;
  return value;
}

void AddOnce(std::vector<TRequisite>& found, std::set<std::string>& seen, std::string path, const std::string& by) {
  if (path.empty() || !seen.insert(path).second) return;
  found.push_back({std::move(path), by});
}

}  // namespace

std::vector<std::string> StyleSheetReferences(std::string_view css) {
  std::vector<std::string> references;
  const std::string lower = CharLowerCase(css);
  std::size_t i = 0;
  while (i < lower.size()) {
    const std::size_t url = lower.find("url(", i);
    const std::size_t import = lower.find("@import", i);
    if (url == std::string::npos && import == std::string::npos) break;
    const bool isUrl = import == std::string::npos || (url != std::string::npos && url < import);
    i = isUrl ? url + 4 : import + 7;
    // "@import url(...)" is read by the url( branch next time round.
    if (!isUrl && lower.compare(SkipSpaces(lower, i), 4, "url(") == 0) continue;
    std::string value = ReadCssValue(css, i, isUrl);
    if (!value.empty()) references.push_back(std::move(value));
  }
  return references;
}

std::string ResolveSiteReference(std::string_view from, std::string_view reference) {
  std::string_view ref = reference.substr(0, reference.find_first_of("#?"));
  if (ref.empty() || HasScheme(ref) || ref.starts_with("//")) return "";
  const std::string decoded = PercentDecoded(ref);
  std::string joined;
  if (decoded[0] == '/') {
    joined = decoded.substr(1);
  } else {
    const std::size_t slash = from.rfind('/');
    joined = (slash == std::string_view::npos ? std::string() : std::string(from.substr(0, slash + 1))) + decoded;
  }
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start <= joined.size()) {
    std::size_t end = joined.find('/', start);
    if (end == std::string::npos) end = joined.size();
    const std::string piece = joined.substr(start, end - start);
    if (piece == "..") {
      if (pieces.empty()) return "";
      pieces.pop_back();
    } else if (!piece.empty() && piece != ".") {
      pieces.push_back(piece);
    }
    start = end + 1;
  }
  // A reference that ends in "/" names a folder's index, which is not a file here.
  if (pieces.empty() || joined.ends_with('/')) return "";
  std::string path;
  for (const auto& piece : pieces) path += (path.empty() ? "" : "/") + piece;
  return path;
}

std::vector<TRequisite> FindPageRequisites(std::string_view pageBytes, const std::string& pagePath,
                                           const TStyleSheetFetch& fetchStyleSheet) {
  const TPageEncoding encoding = ResolvePageEncoding(TPageEncoding::Auto, pageBytes);
  TStringList links;
  ExtractLinksFromText(links, pageBytes, encoding);
  std::vector<TRequisite> found;
  std::set<std::string> seen{pagePath};
  for (const std::string& link : links) {
    std::string cp932;
    if (!PageTextToCp932(link, encoding, cp932)) continue;
    std::string path = ResolveSiteReference(pagePath, cp932);
    if (!IsPage(path)) AddOnce(found, seen, std::move(path), pagePath);
  }
  // Style sheets are read in the order found; those they import join the end.
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (!HasExtension(found[i].path, ".css") || !fetchStyleSheet) continue;
    const std::string sheet = found[i].path;
    const std::optional<std::string> css = fetchStyleSheet(sheet);
    if (!css) continue;
    for (std::string reference : StyleSheetReferences(*css)) {
      // Style sheets are written in UTF-8 today; a name CP932 lacks is no file here.
      std::string cp932;
      if (IsValidUtf8(reference) && !TryUtf8ToCp932(reference, cp932)) continue;
      if (IsValidUtf8(reference)) reference = cp932;
      AddOnce(found, seen, ResolveSiteReference(sheet, reference), sheet);
    }
  }
  return found;
}

}  // namespace tovra
