#include "platform/encoding.h"

#include <dirent.h>
#include <iconv.h>
#include <langinfo.h>
#include <sys/stat.h>

#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "util/errors.h"

namespace tovra {

namespace {

// The codeset of the environment's locale, looked up once. "C"/"POSIX"
// locales report ANSI_X3.4-1968; names there are treated as UTF-8, which is
// what a modern Linux file system holds.
const std::string& OsCodeset() {
  static const std::string codeset = [] {
    const char* previous = std::setlocale(LC_CTYPE, nullptr);
    std::string saved = previous ? previous : "C";
    std::setlocale(LC_CTYPE, "");
    std::string name = nl_langinfo(CODESET);
    std::setlocale(LC_CTYPE, saved.c_str());
    if (name.empty() || name == "ANSI_X3.4-1968" || name == "ASCII") name = "UTF-8";
    return name;
  }();
  return codeset;
}

// CP932 and UTF-8 agree on every byte below 0x80 (0x5C and 0x7E included,
// as glibc maps them), so plain ASCII text, most file names among them, needs
// no conversion descriptor.
bool AsciiIdentical(const char* to, const char* from, std::string_view text) {
  auto either = [](std::string_view a, std::string_view b, std::string_view x, std::string_view y) {
    return (a == x && b == y) || (a == y && b == x);
  };
  if (!either(to, from, "CP932", "UTF-8")) return false;
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Converts text; returns false on a sequence without mapping. With `lossy`,
// such bytes become '?' instead.
bool Convert(const char* to, const char* from, std::string_view text, std::string& out, bool lossy) {
  out.clear();
  if (text.empty()) return true;
  if (AsciiIdentical(to, from, text)) {
    out.assign(text);
    return true;
  }
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.resize(text.size() * 4 + 16);
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  char* dst = out.data();
  std::size_t outLeft = out.size();
  bool ok = true;
  while (inLeft > 0) {
    if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) {
      std::size_t used = static_cast<std::size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      outLeft = out.size() - used;
      continue;
    }
    if (!lossy) {
      ok = false;
      break;
    }
    if (outLeft == 0) {
      std::size_t used = static_cast<std::size_t>(dst - out.data());
      out.resize(out.size() * 2);
      dst = out.data() + used;
      outLeft = out.size() - used;
    }
    *dst++ = '?';
    --outLeft;
    ++in;
    --inLeft;
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
  out.resize(static_cast<std::size_t>(dst - out.data()));
  return ok;
}

[[noreturn]] void ThrowUnconvertible(std::string_view shown) {
  throw EEncodingError(std::string("文字コードを変換できません: ") + std::string(shown));
}

// Bytes of the UTF-8 sequence at i when it is well formed (no overlong
// forms, no surrogates, nothing above U+10FFFF); 0 otherwise.
std::size_t Utf8SequenceAt(std::string_view s, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || s.size() - i < n) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
  }
  if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) > 0x9F) || (c == 0xF0 && b(1) < 0x90) ||
      (c == 0xF4 && b(1) > 0x8F))
    return 0;
  return n;
}

unsigned CodePointOf(std::string_view seq) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned>(static_cast<unsigned char>(seq[k])); };
  if (seq.size() == 1) return b(0);
  if (seq.size() == 2) return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
  if (seq.size() == 3) return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
  return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
}

std::string Utf8Of(unsigned code) {
  std::string out;
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
  return out;
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t i = 0; i < bytes.size();) {
    // Runs of ASCII are passed eight bytes at a time.
    std::uint64_t word;
    if (bytes.size() - i >= 8 && (std::memcpy(&word, bytes.data() + i, 8), (word & 0x8080808080808080ULL) == 0)) {
      i += 8;
      continue;
    }
    const std::size_t n = Utf8SequenceAt(bytes, i);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string Utf8ForDisplay(std::string_view utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = Utf8SequenceAt(utf8, i);
    char shown[16];
    if (n == 0) {
      std::snprintf(shown, sizeof shown, "[%02X]", static_cast<unsigned char>(utf8[i]));
      out += shown;
      ++i;
      continue;
    }
    std::string cp932;
    if (TryUtf8ToCp932(utf8.substr(i, n), cp932)) {
      out += cp932;
    } else {
      std::snprintf(shown, sizeof shown, "[U+%04X]", CodePointOf(utf8.substr(i, n)));
      out += shown;
    }
    i += n;
  }
  return out;
}

std::string Cp932ToUtf8(std::string_view cp932) {
  std::string out;
  if (!Convert("UTF-8", "CP932", cp932, out, false)) ThrowUnconvertible(cp932);
  return out;
}

std::string Utf8ToCp932(std::string_view utf8) {
  std::string out;
  if (!Convert("CP932", "UTF-8", utf8, out, false)) {
    std::string shown;
    Convert("CP932", "UTF-8", utf8, shown, true);
    ThrowUnconvertible(shown);
  }
  return out;
}

bool TryUtf8ToCp932(std::string_view utf8, std::string& cp932) {
  std::string back;
  return Convert("CP932", "UTF-8", utf8, cp932, false) && Convert("UTF-8", "CP932", cp932, back, false) && back == utf8;
}

bool TryCp932ToUtf8(std::string_view cp932, std::string& utf8) {
  std::string back;
  return Convert("UTF-8", "CP932", cp932, utf8, false) && Convert("CP932", "UTF-8", utf8, back, false) && back == cp932;
}

namespace {

// The composed form of a kana and a combining mark (0x3099 voiced, 0x309A
// semi-voiced); 0 when they do not compose.
char32_t ComposedKana(char32_t base, char32_t mark) {
  const bool katakana = base >= 0x30A1 && base <= 0x30FE;
  const char32_t b = katakana ? base - 0x60 : base;
  if (mark == 0x309A) return (b >= 0x306F && b <= 0x307B && (b - 0x306F) % 3 == 0) ? base + 2 : 0;
  if ((b >= 0x304B && b <= 0x3062 && b % 2 == 1) || (b >= 0x3064 && b <= 0x3068 && b % 2 == 0) ||
      (b >= 0x306F && b <= 0x307B && (b - 0x306F) % 3 == 0) || b == 0x309D) {
    return base + 1;
  }
  if (base == 0x3046) return 0x3094;
  if (base == 0x30A6) return 0x30F4;
  if (base >= 0x30EF && base <= 0x30F2) return base + 8;
  if (base == 0x30FD) return 0x30FE;
  return 0;
}

// The three-byte UTF-8 character at text[i] in U+3000..U+30FF, or 0.
char32_t KanaAt(std::string_view text, std::size_t i) {
  if (text.size() - i < 3 || text[i] != '\xE3' || (static_cast<unsigned char>(text[i + 1]) & 0xFC) != 0x80) return 0;
  return 0x3000 + ((static_cast<unsigned char>(text[i + 1]) & 0x3F) << 6) +
         (static_cast<unsigned char>(text[i + 2]) & 0x3F);
}

void AppendKana(std::string& out, char32_t c) {
  out += '\xE3';
  out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (c & 0x3F));
}

}  // namespace

std::string ComposeVoicedMarks(std::string_view utf8) {
  if (utf8.find("\xE3\x82") == std::string_view::npos) return std::string(utf8);  // U+3099/309A are E3 82 99/9A
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t base = KanaAt(utf8, i);
    const char32_t mark = base != 0 && i + 3 < utf8.size() ? KanaAt(utf8, i + 3) : 0;
    const char32_t composed = (mark == 0x3099 || mark == 0x309A) ? ComposedKana(base, mark) : 0;
    if (composed != 0) {
      AppendKana(out, composed);
      i += 6;
      continue;
    }
    out += utf8[i++];
  }
  return out;
}

namespace {

// The name in `folder` that composes to `piece` (a file named in decomposed
// form, as some systems write names); "" when there is none.
std::string DecomposedEntry(const std::string& folder, std::string_view piece) {
  DIR* dir = ::opendir(folder.empty() ? "/" : folder.c_str());
  if (dir == nullptr) return {};
  std::string found;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.find("\xE3\x82\x99") == std::string_view::npos && name.find("\xE3\x82\x9A") == std::string_view::npos) {
      continue;
    }
    if (ComposeVoicedMarks(name) == piece) {
      found = name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

// A UTF-8 path with kana that names no file: the same path with the pieces
// that exist on the disk only in decomposed form spelt that way, or the path
// unchanged.
std::string DecomposedOnDisk(const std::string& path) {
  struct stat st;
  if (path.find('\xE3') == std::string::npos || ::lstat(path.c_str(), &st) == 0) return path;
  std::string out;
  std::size_t start = path.starts_with('/') ? 1 : 0;
  out = path.substr(0, start);
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string piece = path.substr(start, end - start);
    const std::string folder = out.empty() ? "." : (out.size() > 1 ? out.substr(0, out.size() - 1) : out);
    if (piece.find('\xE3') != std::string::npos && ::lstat((out + piece).c_str(), &st) != 0) {
      std::string entry = DecomposedEntry(folder, piece);
      if (entry.empty()) return path;
      piece = entry;
    }
    out += piece;
    if (end == path.size()) break;
    out += '/';
    start = end + 1;
  }
  return out;
}

}  // namespace

std::string ToOsPath(std::string_view cp932Path) {
  std::string out;
  if (HasNameMarks(cp932Path)) {
    if (OsCodeset() != "UTF-8" || !TryMarkedToUtf8(cp932Path, out)) ThrowUnconvertible(MarkedForDisplay(cp932Path));
    return DecomposedOnDisk(out);
  }
  if (!Convert(OsCodeset().c_str(), "CP932", cp932Path, out, false)) ThrowUnconvertible(cp932Path);
  return OsCodeset() == "UTF-8" ? DecomposedOnDisk(out) : out;
}

bool TryFromOsPath(std::string_view osPath, std::string& cp932Path) {
  // A name written in decomposed form is the composed name to the system.
  if (OsCodeset() == "UTF-8") return TryUtf8ToCp932(ComposeVoicedMarks(osPath), cp932Path);
  return Convert("CP932", OsCodeset().c_str(), osPath, cp932Path, false);
}

bool TryFromOsPathMarked(std::string_view osPath, std::string& cp932Path) {
  if (TryFromOsPath(osPath, cp932Path)) return true;
  if (OsCodeset() != "UTF-8" || !IsValidUtf8(osPath)) return false;
  const std::string utf8 = ComposeVoicedMarks(osPath);
  cp932Path.clear();
  std::string held;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t n = Utf8SequenceAt(utf8, i);
    if (TryUtf8ToCp932(std::string_view(utf8).substr(i, n), held)) {
      cp932Path += held;
    } else {
      char mark[16];
      std::snprintf(mark, sizeof mark, "%c[U+%04X]", kNameMark, CodePointOf(std::string_view(utf8).substr(i, n)));
      cp932Path += mark;
    }
    i += n;
  }
  return true;
}

bool TryMarkedToUtf8(std::string_view marked, std::string& utf8) {
  utf8.clear();
  std::string piece;
  std::size_t start = 0;
  while (start < marked.size()) {
    std::size_t mark = marked.find(kNameMark, start);
    if (mark == std::string_view::npos) mark = marked.size();
    if (!Convert("UTF-8", "CP932", marked.substr(start, mark - start), piece, false)) return false;
    utf8 += piece;
    if (mark == marked.size()) break;
    // kNameMark "[U+" hex digits "]": a code point CP932 does not hold.
    const std::size_t close = marked.find(']', mark);
    if (close == std::string_view::npos || marked.substr(mark + 1, 3) != "[U+" || close - mark < 8 ||
        close - mark > 10) {
      return false;
    }
    unsigned code = 0;
    for (char c : marked.substr(mark + 4, close - mark - 4)) {
      const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      code = code * 16 + static_cast<unsigned>(digit);
    }
    if (code < 0x80 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    utf8 += Utf8Of(code);
    start = close + 1;
  }
  return true;
}

std::string MarkedForDisplay(std::string_view marked) {
  std::string out;
  for (char c : marked) {
    if (c != kNameMark) out += c;
  }
  return out;
}

std::string FromOsPath(std::string_view osPath) {
  std::string out;
  if (!TryFromOsPath(osPath, out)) {
    std::string shown;
    Convert("CP932", OsCodeset().c_str(), osPath, shown, true);
    ThrowUnconvertible(shown);
  }
  return out;
}

std::string ToTerminal(std::string_view cp932) {
  std::string out;
  if (HasNameMarks(cp932)) {
    // A marked name is shown as the disk has it where the terminal can.
    if (OsCodeset() == "UTF-8" && TryMarkedToUtf8(cp932, out)) return out;
    Convert(OsCodeset().c_str(), "CP932", MarkedForDisplay(cp932), out, true);
    return out;
  }
  Convert(OsCodeset().c_str(), "CP932", cp932, out, true);
  return out;
}

std::string FromTerminal(std::string_view text) {
  std::string out;
  if (!Convert("CP932", OsCodeset().c_str(), text, out, false)) ThrowUnconvertible(text);
  return out;
}

}  // namespace tovra
