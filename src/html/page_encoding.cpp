#include "html/page_encoding.h"

#include <algorithm>

#include "platform/encoding.h"
#include "platform/files.h"
#include "util/char_string.h"

namespace tovra {
namespace {

constexpr unsigned char kEscapeLead = 0xF0;

std::string LowerAsciiCopy(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

std::optional<TPageEncoding> EncodingOfCharset(std::string_view name) {
  const std::string lower = LowerAsciiCopy(name);
  if (lower == "utf-8" || lower == "utf8") return TPageEncoding::Utf8;
  for (const char* sjis :
       {"shift_jis", "shift-jis", "sjis", "x-sjis", "windows-31j", "cp932", "ms_kanji", "csshiftjis"}) {
    if (lower == sjis) return TPageEncoding::ShiftJis;
  }
  return std::nullopt;
}

// Where the head ends: the first "</head" or "<body", letter case ignored;
// the end of the page when neither stands in it.
std::size_t HeadEnd(std::string_view bytes) {
  const auto startsAt = [&](std::size_t at, std::string_view lowerName) {
    if (bytes.size() - at < lowerName.size()) return false;
    for (std::size_t k = 0; k < lowerName.size(); ++k) {
      if (LowerAscii(bytes[at + k]) != lowerName[k]) return false;
    }
    return true;
  };
  for (std::size_t at = bytes.find('<'); at != std::string_view::npos; at = bytes.find('<', at + 1)) {
    if (startsAt(at + 1, "/head") || startsAt(at + 1, "body")) return at;
  }
  return bytes.size();
}

// The charset name at `at` (behind "charset="), quotes and blanks around it
// skipped; it ends at a quote, blank, ';', '/' or '>'.
std::string_view CharsetNameAt(std::string_view tag, std::size_t at) {
  while (at < tag.size() && (tag[at] == ' ' || tag[at] == '"' || tag[at] == '\'')) ++at;
  std::size_t end = at;
  while (end < tag.size() && std::string_view(" \t\"';/>").find(tag[end]) == std::string_view::npos) ++end;
  return tag.substr(at, end - at);
}

}  // namespace

std::optional<TPageEncoding> DeclaredPageEncoding(std::string_view bytes) {
  // Only ASCII is looked at, so the page's own encoding does not matter
  // here. Only the head is lowered: a big page's body is not copied.
  const std::string lower = LowerAsciiCopy(bytes.substr(0, HeadEnd(bytes)));
  const std::size_t headEnd = lower.size();
  for (std::size_t at = lower.find("<meta"); at < headEnd; at = lower.find("<meta", at + 5)) {
    const std::size_t close = std::min(lower.find('>', at), headEnd);
    const std::string_view tag = std::string_view(lower).substr(at, close - at);
    const std::size_t charset = tag.find("charset=");
    if (charset == std::string_view::npos) continue;
    const auto encoding = EncodingOfCharset(CharsetNameAt(tag, charset + 8));
    if (encoding) return encoding;
  }
  return std::nullopt;
}

TPageEncoding ResolvePageEncoding(TPageEncoding setting, std::string_view bytes) {
  if (setting != TPageEncoding::Auto) return setting;
  if (bytes.starts_with("\xEF\xBB\xBF")) return TPageEncoding::Utf8;
  const bool utf8 = IsValidUtf8(bytes);
  // A page that declares UTF-8 but is not valid UTF-8 was saved in Shift-JIS
  // by an editor that kept the template's declaration: read it as written.
  if (const auto declared = DeclaredPageEncoding(bytes)) return utf8 ? *declared : TPageEncoding::ShiftJis;
  if (!utf8) return TPageEncoding::ShiftJis;
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return TPageEncoding::Utf8;
  }
  return TPageEncoding::ShiftJis;
}

std::string PageBytesToText(std::string_view bytes, TPageEncoding encoding) {
  if (encoding != TPageEncoding::Utf8) return std::string(bytes);
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
      out += c;
      continue;
    }
    out += static_cast<char>(kEscapeLead + ((b - 0x80) >> 6));
    out += static_cast<char>(0x80 + ((b - 0x80) & 0x3F));
  }
  return out;
}

std::string PageTextToBytes(std::string_view text, TPageEncoding encoding) {
  if (encoding != TPageEncoding::Utf8) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if ((b == kEscapeLead || b == kEscapeLead + 1) && i + 1 < text.size()) {
      out += static_cast<char>(0x80 + ((b - kEscapeLead) << 6) + (static_cast<unsigned char>(text[i + 1]) - 0x80));
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Cp932ToPageText(std::string_view cp932, TPageEncoding encoding) {
  if (encoding != TPageEncoding::Utf8) return std::string(cp932);
  return PageBytesToText(Cp932ToUtf8(cp932), encoding);
}

bool PageTextToCp932(std::string_view text, TPageEncoding encoding, std::string& cp932) {
  if (encoding != TPageEncoding::Utf8) {
    cp932.assign(text);
    return true;
  }
  return TryUtf8ToCp932(PageTextToBytes(text, encoding), cp932);
}

TPage PageFromBytes(std::string_view bytes, TPageEncoding setting) {
  TPage page;
  page.encoding = ResolvePageEncoding(setting, bytes);
  if (page.encoding == TPageEncoding::Utf8) {
    page.text = SplitPageLines(PageBytesToText(bytes, page.encoding));
    page.text.keepBreaks = true;
  } else {
    page.text = SplitPageLines(bytes);
  }
  return page;
}

TPage ReadPage(std::string_view path, TPageEncoding setting) { return PageFromBytes(ReadFileBytes(path), setting); }

std::string PageBytesOf(const TPage& page, const TStringList& edited, const std::vector<int>& origin) {
  return PageTextToBytes(JoinPageLines(page.text, edited, origin), page.encoding);
}

}  // namespace tovra
