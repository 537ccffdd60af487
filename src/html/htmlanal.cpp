#include "html/htmlanal.h"

#include <array>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

// Where the reference of a tag may stand, in the order in which they are
// examined: of the names present in a tag, the last in this order decides.
constexpr std::array<std::string_view, 6> kSources = {
    " src", " href", " background", " tracingsrc", "background-image:", "list-style-image:",
};
constexpr std::size_t kFirstStyleSource = 4;

inline char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::size_t StepAt(std::string_view text, std::size_t i) {
  return (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ? 2 : 1;
}

// Byte offset of the first character that is the single byte c (an ASCII
// byte, never a lead byte) at or after the character boundary `from`.
std::size_t FindCharByte(std::string_view text, char c, std::size_t from) {
  std::size_t i = from;
  const std::size_t n = text.size();
  while (i < n) {
    const char b = text[i];
    if (b == c) return i;
    i += (IsLeadByte(static_cast<unsigned char>(b)) && i + 1 < n) ? 2 : 1;
  }
  return kNone;
}

// CharTrim without copying: the trimmed text is a contiguous part of s.
// `endsWithGt` tells whether its last character is the single byte ">".
std::string_view TrimView(std::string_view s, bool* endsWithGt = nullptr) {
  std::size_t i = 0;
  while (i < s.size() && IsBlankAt(s, i)) i += StepAt(s, i);
  const std::size_t start = i;
  std::size_t end = i;
  std::size_t lastStart = kNone;
  while (i < s.size()) {
    const std::size_t n = StepAt(s, i);
    const unsigned char b = static_cast<unsigned char>(s[i]);
    // Fast path for the common printable ASCII byte, which is never a blank.
    if ((b > 0x20 && b < 0x7F) || !IsBlankAt(s, i)) {
      lastStart = i;
      end = i + n;
    }
    i += n;
  }
  if (endsWithGt != nullptr) *endsWithGt = lastStart != kNone && end - lastStart == 1 && s[lastStart] == '>';
  return s.substr(start, end - start);
}

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

// Index in kSources of the source that decides for this tag and the byte
// offset of its first occurrence; kNone when the tag names none of them.
std::size_t DecidingSource(std::string_view tag, std::size_t& at) {
  std::array<std::size_t, kSources.size()> first;
  first.fill(kNone);
  const std::size_t n = tag.size();
  std::size_t i = 0;
  while (i < n) {
    const char b = LowerAscii(tag[i]);
    if (b == ' ') {
      for (std::size_t s = 0; s < kFirstStyleSource; ++s) {
        if (first[s] == kNone && MatchesLowered(tag, i, kSources[s])) first[s] = i;
      }
    } else if (b == 'b') {
      if (first[4] == kNone && MatchesLowered(tag, i, kSources[4])) first[4] = i;
    } else if (b == 'l') {
      if (first[5] == kNone && MatchesLowered(tag, i, kSources[5])) break;  // nothing outranks it
    }
    i += StepAt(tag, i);
  }
  if (i < n) {
    at = i;
    return 5;
  }
  for (std::size_t s = kFirstStyleSource + 1; s-- > 0;) {
    if (first[s] != kNone) {
      at = first[s];
      return s;
    }
  }
  return kNone;
}

// The reference that a value of the form `= "text"` gives, as a part of
// `value`; empty when it gives none.
std::string_view ReferenceOf(std::string_view value) {
  if (value.empty() || value[0] != '=') return {};
  value = TrimView(value.substr(1));
  if (value.empty() || (value[0] != '"' && value[0] != '\'')) return {};
  const char quote = value[0];
  value.remove_prefix(1);
  const std::size_t close = FindCharByte(value, quote, 0);
  if (close == kNone) return {};
  value = value.substr(0, close);
  if (value.starts_with("http://") || value.starts_with("file://")) return {};
  // The fragment is cut at the first '#' byte, as a split at "#" would cut it.
  if (FindCharByte(value, '#', 0) != kNone) value = value.substr(0, value.find('#'));
  const std::size_t query = FindCharByte(value, '?', 0);
  if (query != kNone) value = value.substr(0, query);
  if (value.starts_with("mailto:")) return {};
  return value;
}

// The value of a style property: the text between the first "(" of the tag
// and the next ")", read like a quoted attribute value.
std::string StylePropertyValue(std::string_view tag) {
  const std::size_t open = FindCharByte(tag, '(', 0);
  std::string_view inner = open == kNone ? tag : tag.substr(open + 1);
  const std::size_t close = FindCharByte(inner, ')', 0);
  inner = close == kNone ? std::string_view() : inner.substr(0, close);
  std::string value;
  value.reserve(inner.size() + 3);
  value += "=\"";
  value += inner;
  value += '"';
  return value;
}

void AddTagLink(std::string_view token, TStringList& links) {
  if (token.empty() || token[0] != '<') return;
  std::size_t at = 0;
  const std::size_t source = DecidingSource(token, at);
  if (source == kNone) return;
  std::string_view reference;
  std::string styleValue;
  if (source < kFirstStyleSource) {
    reference = ReferenceOf(TrimView(token.substr(at + kSources[source].size())));
  } else {
    styleValue = StylePropertyValue(token);
    reference = ReferenceOf(styleValue);
  }
  if (!reference.empty()) links.Add(std::string(reference));
}

// Cuts one joined text into tokens.
template <typename OnToken>
void SplitText(std::string_view text, OnToken& onToken) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end;
    if (text[pos] == '<') {
      const std::size_t close = FindCharByte(text, '>', pos + 1);
      end = close == kNone ? text.size() : close + 1;  // an unclosed tag takes the rest
    } else {
      end = FindCharByte(text, '<', pos);
      if (end == kNone) end = text.size();
    }
    onToken(text.substr(pos, end - pos));
    pos = end;
  }
}

// Joins trimmed lines until one ends with ">", then cuts the joined text.
// A text that is a single line is cut in place, without copying.
template <typename OnToken>
class Tokenizer {
 public:
  explicit Tokenizer(OnToken& onToken) : onToken_(onToken) {}

  void AddLine(std::string_view line) {
    bool endsWithGt = false;
    const std::string_view text = TrimView(line, &endsWithGt);
    if (!joining_) {
      if (endsWithGt) {
        SplitText(text, onToken_);
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
    SplitText(joined_, onToken_);
  }

 private:
  OnToken& onToken_;
  std::string joined_;
  bool joining_ = false;
};

// Feeds the lines of page bytes to the tokenizer: separated by CR LF, CR or
// LF, each ending at its first NUL.
template <typename OnToken>
void TokenizeBytes(std::string_view bytes, Tokenizer<OnToken>& tokenizer) {
  const char* data = bytes.data();
  const std::size_t n = bytes.size();
  std::size_t i = 0;
  while (i < n) {
    std::size_t end = i;
    while (end < n && (static_cast<unsigned char>(data[end]) > '\r' || (data[end] != '\r' && data[end] != '\n'))) {
      ++end;
    }
    std::string_view line(data + i, end - i);
    if (const void* nul = std::memchr(line.data(), 0, line.size())) {
      line = line.substr(0, static_cast<const char*>(nul) - line.data());
    }
    tokenizer.AddLine(line);
    if (end < n && data[end] == '\r' && end + 1 < n && data[end + 1] == '\n') ++end;
    i = end + 1;
  }
  tokenizer.Finish();
}

}  // namespace

void ExtractLinksFromText(TStringList& links, std::string_view pageBytes) {
  auto onToken = [&links](std::string_view token) { AddTagLink(token, links); };
  Tokenizer<decltype(onToken)> tokenizer(onToken);
  TokenizeBytes(pageBytes, tokenizer);
}

bool ExtractLinks(TStringList& links, std::string_view pageFile) {
  const std::string bytes = ReadFileBytes(pageFile);
  ExtractLinksFromText(links, bytes);
  return true;
}

void TokenizePage(const TStringList& lines, TStringList& tokens) {
  auto onToken = [&tokens](std::string_view token) { tokens.Add(std::string(token)); };
  Tokenizer<decltype(onToken)> tokenizer(onToken);
  for (const std::string& line : lines) tokenizer.AddLine(TextOf(line));
  tokenizer.Finish();
}

void ExtractTagLinks(const TStringList& tokens, TStringList& links) {
  for (const std::string& token : tokens) AddTagLink(TextOf(token), links);
}

}  // namespace tovra
