#include "html/reference_text.h"

#include <cstdint>

#include "platform/encoding.h"
#include "util/string_list.h"

namespace tovra {
namespace {

void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }

// The numeric reference behind "&#" at text[i..]: its code point and length,
// or length 0 when it is none.
std::size_t NumericReference(std::string_view text, std::size_t i, std::uint32_t& cp) {
  std::size_t j = i + 2;
  const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
  if (hex) ++j;
  const std::size_t digits = j;
  cp = 0;
  for (; j < text.size(); ++j) {
    const int v = hex ? HexValue(text[j]) : (IsAsciiDigit(text[j]) ? text[j] - '0' : -1);
    if (v < 0) break;
    cp = cp > 0x10FFFF ? cp : cp * (hex ? 16 : 10) + static_cast<std::uint32_t>(v);
  }
  if (j == digits) return 0;
  return (j < text.size() && text[j] == ';') ? j + 1 - i : j - i;
}

struct NamedReference {
  std::string_view name;
  std::uint32_t cp;
};
constexpr NamedReference kNamed[] = {{"amp;", '&'},  {"lt;", '<'},    {"gt;", '>'},
                                     {"quot;", '"'}, {"apos;", '\''}, {"nbsp;", 0xA0}};

// A decoded run of percent escapes: kept when it is UTF-8, else read as the
// source's own encoding.
void AppendEscapedRun(std::string& out, const std::string& run, bool shiftJisSource) {
  if (IsValidUtf8(run) || !shiftJisSource) {
    out += run;
    return;
  }
  std::string utf8;
  out += TryCp932ToUtf8(run, utf8) ? utf8 : run;
}

}  // namespace

std::string DecodeCharacterReferences(std::string_view text) {
  if (text.find('&') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    std::uint32_t cp = 0;
    std::size_t length = 0;
    if (i + 1 < text.size() && text[i + 1] == '#') {
      length = NumericReference(text, i, cp);
    } else {
      for (const auto& named : kNamed) {
        if (text.substr(i + 1, named.name.size()) == named.name) {
          cp = named.cp;
          length = named.name.size() + 1;
        }
      }
    }
    if (length == 0) {
      out += text[i++];
      continue;
    }
    AppendUtf8(out, cp);
    i += length;
  }
  return out;
}

std::string DecodePercentEscapes(std::string_view text, bool shiftJisSource) {
  if (text.find('%') == std::string_view::npos) return std::string(text);
  std::string out;
  std::string run;
  for (std::size_t i = 0; i < text.size();) {
    const bool escape =
        text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0;
    if (escape) {
      run += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 3;
      continue;
    }
    if (!run.empty()) AppendEscapedRun(out, run, shiftJisSource);
    run.clear();
    out += text[i++];
  }
  if (!run.empty()) AppendEscapedRun(out, run, shiftJisSource);
  return out;
}

std::string SourceTextToUtf8(std::string_view text, bool shiftJisSource) {
  if (!shiftJisSource || IsValidUtf8(text)) return std::string(text);
  std::string utf8;
  return TryCp932ToUtf8(text, utf8) ? utf8 : std::string(text);
}

bool HasUrlScheme(std::string_view reference) {
  if (reference.starts_with("//") || reference.starts_with("\\\\")) return true;
  if (reference.empty() || !IsAsciiLetter(reference[0])) return false;
  for (std::size_t i = 1; i < reference.size(); ++i) {
    const char c = reference[i];
    if (c == ':') return true;
    if (!IsAsciiLetter(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

std::optional<std::string> BelowSiteUrl(std::string_view reference, std::string_view webUrl) {
  const std::size_t schemeEnd = webUrl.find("://");
  if (webUrl.empty() || schemeEnd == std::string_view::npos) return std::nullopt;
  std::size_t hostEnd = webUrl.find('/', schemeEnd + 3);
  if (hostEnd == std::string_view::npos) hostEnd = webUrl.size();
  std::string_view base = webUrl.substr(hostEnd);
  if (base.ends_with('/')) base.remove_suffix(1);
  if (reference.size() < hostEnd || !SameTextNoCase(reference.substr(0, hostEnd), webUrl.substr(0, hostEnd))) {
    return std::nullopt;
  }
  std::string_view rest = reference.substr(hostEnd);
  if (!rest.starts_with(base)) return std::nullopt;
  rest.remove_prefix(base.size());
  if (!rest.empty() && rest[0] != '/') return std::nullopt;  // "/site2" does not lie below "/site"
  return "/" + std::string(rest.empty() ? rest : rest.substr(1));
}

std::string_view WithoutFragmentAndQuery(std::string_view reference) {
  return reference.substr(0, reference.find_first_of("#?"));
}

TResolvedUrl ResolveUrlPath(std::string_view reference, std::string_view baseFolder) {
  TResolvedUrl result;
  std::string joined =
      reference.starts_with('/') ? std::string(reference) : std::string(baseFolder) + std::string(reference);
  std::vector<std::string_view> pieces;
  std::string_view rest(joined);
  bool lastIsName = false;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view piece = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    lastIsName = slash == std::string_view::npos && !piece.empty() && piece != "." && piece != "..";
    if (piece.empty() || piece == ".") continue;
    if (piece != "..") {
      pieces.push_back(piece);
      continue;
    }
    if (pieces.empty()) {
      result.outside = true;
      result.path = std::string(reference);
      return result;
    }
    pieces.pop_back();
  }
  for (const auto& piece : pieces) {
    result.path += '/';
    result.path += piece;
  }
  result.folder = !lastIsName;
  if (result.path.empty()) result.path = "/";
  return result;
}

std::string_view UrlFolderOf(std::string_view path) { return path.substr(0, path.rfind('/') + 1); }

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && SameTextNoCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace tovra
