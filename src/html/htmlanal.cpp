#include "html/htmlanal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "html/page_encoding.h"
#include "html/page_scan.h"
#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {
namespace {

using scan::kNone;

// Where the reference of a tag may stand, in the order in which they are
// examined: of the names present in a tag, the last in this order decides.
constexpr std::array<std::string_view, 6> kSources = {
    " src", " href", " background", " tracingsrc", "background-image:", "list-style-image:",
};
constexpr std::size_t kFirstStyleSource = 4;
constexpr std::size_t kLastSource = 5;

// Whether the lower-cased text matches the ASCII name at byte offset i. A lead
// byte never equals a byte of the name, so a match never covers a double-byte
// character.
bool MatchesLowered(std::string_view text, std::size_t i, std::string_view name) {
  if (text.size() - i < name.size()) return false;
  for (std::size_t k = 0; k < name.size(); ++k) {
    if (LowerAscii(text[i + k]) != name[k]) return false;
  }
  return true;
}

// The attribute names all begin with a blank; the letter behind it tells
// which one can stand there.
constexpr std::size_t AttributeByLetter(char c) {
  return c == 's' ? 0 : c == 'h' ? 1 : c == 'b' ? 2 : c == 't' ? 3 : kNone;
}

// Index in kSources of the source that decides for this tag, and the byte
// offset of its first occurrence; kNone when the tag names none of them.
template <typename E>
std::size_t DecidingSource(std::string_view tag, std::size_t& at) {
  std::array<std::size_t, kSources.size()> first;
  first.fill(kNone);
  const auto note = [&](std::size_t source, std::size_t i) {
    if (first[source] == kNone && MatchesLowered(tag, i, kSources[source])) first[source] = i;
  };
  const char* p = tag.data();
  const std::size_t n = tag.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t stop = n;
    if (i + 8 <= n) {
      // Skip eight bytes at once when none can begin a name (in Shift-JIS
      // only ASCII ones: a trail byte must not be taken for a letter).
      const std::uint64_t w = scan::swar::Load(p + i);
      const std::uint64_t lowered = w | (scan::swar::kOnes * 0x20);
      if ((E::kUtf8 || (w & scan::swar::kHighs) == 0) && !scan::swar::HasByte(w, ' ') &&
          !scan::swar::HasByte(lowered, 'b') && !scan::swar::HasByte(lowered, 'l')) {
        i += 8;
        continue;
      }
      stop = i + 8;
    }
    for (; i < stop; i += scan::Step<E>(tag, i)) {
      const char b = LowerAscii(p[i]);
      if (b == ' ' && i + 1 < n) {
        const std::size_t source = AttributeByLetter(LowerAscii(p[i + 1]));
        if (source != kNone) note(source, i);
      } else if (b == 'b') {
        note(4, i);
      } else if (b == 'l' && MatchesLowered(tag, i, kSources[kLastSource])) {
        at = i;  // nothing outranks it
        return kLastSource;
      }
    }
  }
  for (std::size_t s = kLastSource; s-- > 0;) {
    if (first[s] != kNone) {
      at = first[s];
      return s;
    }
  }
  return kNone;
}

// The quoted text of an attribute value of the form `= "text"` (blanks
// around "=" allowed, apostrophes or double quotes); false when the value is
// not of that form. Trailing blanks never matter (a quote is not a blank), so
// only leading ones are skipped: the rest of a long tag is not walked.
template <typename E>
bool QuotedText(std::string_view value, std::string_view& text) {
  value = scan::TrimLeading<E>(value);
  if (value.empty() || value[0] != '=') return false;
  value = scan::TrimLeading<E>(value.substr(1));
  if (value.empty() || (value[0] != '"' && value[0] != '\'')) return false;
  const char quote = value[0];
  value.remove_prefix(1);
  const std::size_t close = scan::FindChar<E>(value, quote, 0);
  if (close == kNone) return false;
  text = value.substr(0, close);
  return true;
}

// The argument of a style property: the text between the first "(" of the
// tag and the next ")", read as the quoted value `="argument"` would be read,
// that is up to a double quote inside it. (The argument ends at a character
// boundary, so that closing quote always stands as a character of its own.)
template <typename E>
std::string_view StyleArgument(std::string_view tag) {
  const std::size_t open = scan::FindChar<E>(tag, '(', 0);
  const std::string_view inner = open == kNone ? tag : tag.substr(open + 1);
  const std::size_t close = scan::FindChar<E>(inner, ')', 0);
  if (close == kNone) return {};
  const std::string_view argument = inner.substr(0, close);
  return argument.substr(0, std::min(scan::FindChar<E>(argument, '"', 0), argument.size()));
}

// The reference a quoted text gives, as a part of it; empty when none.
template <typename E>
std::string_view CleanReference(std::string_view value) {
  if (value.starts_with("http://") || value.starts_with("file://")) return {};
  // The fragment is cut at the first '#' byte, as a split at "#" would cut it.
  if (scan::FindChar<E>(value, '#', 0) != kNone) value = value.substr(0, value.find('#'));
  const std::size_t query = scan::FindChar<E>(value, '?', 0);
  if (query != kNone) value = value.substr(0, query);
  if (value.starts_with("mailto:")) return {};
  return value;
}

template <typename E>
void AddTagLink(std::string_view token, TStringList& links) {
  if (token.empty() || token[0] != '<') return;
  std::size_t at = 0;
  const std::size_t source = DecidingSource<E>(token, at);
  if (source == kNone) return;
  std::string_view text;
  if (source >= kFirstStyleSource) {
    text = StyleArgument<E>(token);
  } else if (!QuotedText<E>(token.substr(at + kSources[source].size()), text)) {
    return;
  }
  const std::string_view reference = CleanReference<E>(text);
  if (!reference.empty()) links.Add(std::string(reference));
}

// Cuts one joined text into tokens.
template <typename E, typename OnToken>
void SplitText(std::string_view text, OnToken& onToken) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end;
    if (text[pos] == '<') {
      const std::size_t close = scan::FindChar<E>(text, '>', pos + 1);
      end = close == kNone ? text.size() : close + 1;  // an unclosed tag takes the rest
    } else {
      end = scan::FindChar<E>(text, '<', pos);
      if (end == kNone) end = text.size();
    }
    onToken(text.substr(pos, end - pos));
    pos = end;
  }
}

// Joins trimmed lines until one ends with ">", then cuts the joined text.
// A text that is a single line is cut in place, without copying.
template <typename E, typename OnToken>
class Tokenizer {
 public:
  explicit Tokenizer(OnToken& onToken) : onToken_(onToken) {}

  void AddLine(std::string_view line) {
    bool endsWithGt = false;
    const std::string_view text = scan::Trim<E>(line, endsWithGt);
    if (!joining_) {
      if (endsWithGt) {
        SplitText<E>(text, onToken_);
        return;
      }
      joined_.assign(text);
      joining_ = true;
      return;
    }
    joined_ += ' ';
    joined_ += text;
    if (endsWithGt) Finish();
  }

  void Finish() {
    if (!joining_) return;
    joining_ = false;
    SplitText<E>(joined_, onToken_);
  }

 private:
  OnToken& onToken_;
  std::string joined_;
  bool joining_ = false;
};

// Feeds the lines of page bytes to the tokenizer: separated by CR LF, CR or
// LF, each ending at its first NUL.
template <typename E, typename OnToken>
void TokenizeBytes(std::string_view bytes, Tokenizer<E, OnToken>& tokenizer) {
  const char* data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t end = scan::FindLineBreak(data, i, n);
    const std::string_view line(data + i, end - i);
    // A NUL ends its line; the rest of that line is dropped.
    while (end < n && data[end] == '\0') end = scan::FindLineBreak(data, end + 1, n);
    tokenizer.AddLine(line);
    if (end < n && data[end] == '\r' && end + 1 < n && data[end + 1] == '\n') ++end;
    i = end + 1;
  }
  tokenizer.Finish();
}

template <typename E>
void ExtractFrom(TStringList& links, std::string_view pageBytes) {
  auto onToken = [&links](std::string_view token) { AddTagLink<E>(token, links); };
  Tokenizer<E, decltype(onToken)> tokenizer(onToken);
  TokenizeBytes(pageBytes, tokenizer);
}

}  // namespace

void ExtractLinksFromText(TStringList& links, std::string_view pageBytes, TPageEncoding encoding) {
  if (encoding == TPageEncoding::Utf8) {
    ExtractFrom<scan::Utf8>(links, pageBytes);
  } else {
    ExtractFrom<scan::Sjis>(links, pageBytes);
  }
}

bool ExtractLinks(TStringList& links, std::string_view pageFile, TPageEncoding encoding) {
  const std::string bytes = ReadFileBytes(pageFile);
  ExtractLinksFromText(links, bytes, ResolvePageEncoding(encoding, bytes));
  return true;
}

void TokenizePage(const TStringList& lines, TStringList& tokens) {
  auto onToken = [&tokens](std::string_view token) { tokens.Add(std::string(token)); };
  Tokenizer<scan::Sjis, decltype(onToken)> tokenizer(onToken);
  for (const std::string& line : lines) tokenizer.AddLine(TextOf(line));
  tokenizer.Finish();
}

void ExtractTagLinks(const TStringList& tokens, TStringList& links) {
  for (const std::string& token : tokens) AddTagLink<scan::Sjis>(TextOf(token), links);
}

}  // namespace tovra
