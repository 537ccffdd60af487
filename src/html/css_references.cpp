#include "html/css_references.h"

#include <string>

#include "html/reference_text.h"
#include "util/string_list.h"

namespace tovra {
namespace {

bool IsCssBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }

std::size_t SkipBlanks(std::string_view css, std::size_t i) {
  while (i < css.size() && IsCssBlank(css[i])) ++i;
  return i;
}

bool IsHex(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// A value with its CSS escapes undone: "\" and a character stands for that
// character; "\" and up to six hex digits (and one blank) for a code point,
// kept as a numeric character reference's text would be.
std::string Unescape(std::string_view value) {
  if (value.find('\\') == std::string_view::npos) return std::string(value);
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    std::size_t j = i + 1;
    while (j < value.size() && j < i + 7 && IsHex(value[j])) ++j;
    if (j == i + 1) {
      out += value[++i];
      continue;
    }
    out += DecodeCharacterReferences("&#x" + std::string(value.substr(i + 1, j - i - 1)) + ";");
    if (j < value.size() && IsCssBlank(value[j])) ++j;
    i = j - 1;
  }
  return out;
}

// The quoted string starting at css[i] (a quote): its end (behind the
// closing quote, or the text's end) and its content.
std::size_t QuotedEnd(std::string_view css, std::size_t i, std::string_view& content) {
  const char quote = css[i];
  std::size_t j = i + 1;
  while (j < css.size() && css[j] != quote && css[j] != '\n') j += (css[j] == '\\' && j + 1 < css.size()) ? 2 : 1;
  content = css.substr(i + 1, std::min(j, css.size()) - i - 1);
  return j < css.size() ? j + 1 : css.size();
}

// "url(" at css[i - 4]: the value and where the scan goes on.
std::size_t UrlValue(std::string_view css, std::size_t i, std::string_view& value) {
  i = SkipBlanks(css, i);
  if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
    const std::size_t end = QuotedEnd(css, i, value);
    const std::size_t close = css.find(')', end);
    return close == std::string_view::npos ? css.size() : close + 1;
  }
  std::size_t close = css.find(')', i);
  if (close == std::string_view::npos) close = css.size();
  std::size_t end = close;
  while (end > i && IsCssBlank(css[end - 1])) --end;
  value = css.substr(i, end - i);
  return close + 1;
}

bool MatchesNoCaseAt(std::string_view css, std::size_t i, std::string_view word) {
  return css.size() - i >= word.size() && SameTextNoCase(css.substr(i, word.size()), word);
}

}  // namespace

void ScanStyleSheet(std::string_view css, const std::function<void(std::string_view)>& found) {
  std::size_t i = 0;
  while (i < css.size()) {
    const std::size_t hit = css.find_first_of("/uU@", i);
    if (hit == std::string_view::npos) return;
    i = hit;
    if (css[i] == '/' && i + 1 < css.size() && css[i + 1] == '*') {
      const std::size_t end = css.find("*/", i + 2);
      i = end == std::string_view::npos ? css.size() : end + 2;
    } else if (css[i] != '@' && css[i] != '/' && MatchesNoCaseAt(css, i, "url(")) {
      std::string_view value;
      i = UrlValue(css, i + 4, value);
      if (!value.empty()) found(Unescape(value));
    } else if (css[i] == '@' && MatchesNoCaseAt(css, i, "@import")) {
      i = SkipBlanks(css, i + 7);
      if (i < css.size() && (css[i] == '"' || css[i] == '\'')) {
        std::string_view value;
        i = QuotedEnd(css, i, value);
        if (!value.empty()) found(Unescape(value));
      }
      // "@import url(...)" is found by the url( branch on the next turn.
    } else {
      ++i;
    }
  }
}

bool StyleSheetIsShiftJis(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return false;
  constexpr std::string_view kRule = "@charset \"";
  if (!bytes.starts_with(kRule)) return false;
  const std::size_t end = bytes.find('"', kRule.size());
  if (end == std::string_view::npos) return false;
  const std::string_view name = bytes.substr(kRule.size(), end - kRule.size());
  for (std::string_view sjis : {"shift_jis", "shift-jis", "windows-31j", "cp932", "sjis", "x-sjis", "ms_kanji"}) {
    if (SameTextNoCase(name, sjis)) return true;
  }
  return false;
}

}  // namespace tovra
