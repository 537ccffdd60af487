// Fast character-aligned scanning of page text, the building blocks of link
// extraction, for both page encodings. Shift-JIS (Sjis): each function steps
// by characters exactly as the character string functions do (a lead byte
// 0x81-0x9F / 0xE0-0xFC pairs with the next byte), so nothing ever starts at
// a trail byte, and runs of plain ASCII are skipped eight bytes at a time.
// UTF-8 (Utf8): every byte of a multi-byte character is 0x80 or above, so an
// ASCII byte is always a character of its own and the scanner may step byte
// by byte; only the full-width space (E3 80 80) is a multi-byte blank. The
// functions take the encoding as a template argument. Stateless, thread-safe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "util/char_string.h"

namespace tovra::scan {

inline constexpr std::size_t kNone = std::string_view::npos;

// The lead-byte test of the string functions, as a table for the scanner's
// inner loops.
inline constexpr std::array<bool, 256> kLead = [] {
  std::array<bool, 256> lead{};
  for (int b = 0; b < 256; ++b) lead[b] = IsLeadByte(static_cast<unsigned char>(b));
  return lead;
}();

inline bool IsLead(char b) { return kLead[static_cast<unsigned char>(b)]; }

struct Sjis {
  static constexpr bool kUtf8 = false;
};
struct Utf8 {
  static constexpr bool kUtf8 = true;
};

// Bytes of the character at byte offset i (i < text.size()); in UTF-8 a
// byte at a time (see above).
template <typename E = Sjis>
inline std::size_t Step(std::string_view text, std::size_t i) {
  if constexpr (E::kUtf8) return 1;
  return (IsLead(text[i]) && i + 1 < text.size()) ? 2 : 1;
}

// Whether the UTF-8 full-width space E3 80 80 starts at byte offset i.
inline bool IsWideSpaceUtf8(std::string_view text, std::size_t i) {
  return text.size() - i >= 3 && text[i] == '\xE3' && text[i + 1] == '\x80' && text[i + 2] == '\x80';
}

namespace swar {
inline constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr std::uint64_t kHighs = 0x8080808080808080ULL;
inline std::uint64_t Load(const char* p) {
  std::uint64_t w;
  std::memcpy(&w, p, sizeof w);
  return w;
}
// Whether some byte of w is below n (n <= 128); bytes >= 0x80 never count.
inline bool HasLess(std::uint64_t w, unsigned n) { return ((w - kOnes * n) & ~w & kHighs) != 0; }
inline bool HasByte(std::uint64_t w, unsigned char c) { return HasLess(w ^ (kOnes * c), 1); }
}  // namespace swar

// Byte offset of the first character that is the ASCII byte c, searching
// from the character boundary `from`; kNone when there is none.
template <typename E = Sjis>
inline std::size_t FindChar(std::string_view text, char c, std::size_t from) {
  if constexpr (E::kUtf8) {
    if (from >= text.size()) return kNone;
    const void* hit = std::memchr(text.data() + from, c, text.size() - from);
    return hit == nullptr ? kNone : static_cast<std::size_t>(static_cast<const char*>(hit) - text.data());
  }
  const char* p = text.data();
  const std::size_t n = text.size();
  std::size_t i = from;
  while (i < n) {
    std::size_t stop = n;
    if (i + 8 <= n) {
      const std::uint64_t w = swar::Load(p + i);
      if ((w & swar::kHighs) == 0 && !swar::HasByte(w, static_cast<unsigned char>(c))) {
        i += 8;
        continue;
      }
      stop = i + 8;
    }
    while (i < stop) {
      if (p[i] == c) return i;
      i += (IsLead(p[i]) && i + 1 < n) ? 2 : 1;
    }
  }
  return kNone;
}

// Whether the character at i is a blank: 0x01-0x20, 0x7F or the full-width
// space 0x81 0x40.
inline bool IsBlank(std::string_view text, std::size_t i, std::size_t step) {
  const unsigned char b = static_cast<unsigned char>(text[i]);
  if (step == 2) return b == 0x81 && static_cast<unsigned char>(text[i + 1]) == 0x40;
  return (b >= 0x01 && b <= 0x20) || b == 0x7F;
}

// The text without its leading blanks.
template <typename E = Sjis>
inline std::string_view TrimLeading(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    if constexpr (E::kUtf8) {
      if (IsWideSpaceUtf8(s, i)) {
        i += 3;
        continue;
      }
    }
    const std::size_t step = Step<E>(s, i);
    if (!IsBlank(s, i, step)) break;
    i += step;
  }
  return s.substr(i);
}

// Whether byte offset i is a character boundary, given that `origin` (<= i)
// is one. Looks backwards only: the byte before a run of lead-range bytes
// ends a character, and the run pairs up from there. Costs the length of
// that run, so the end of a long line is found without walking the line.
inline bool IsBoundary(std::string_view s, std::size_t origin, std::size_t i) {
  std::size_t k = i;
  while (k > origin && IsLead(s[k - 1])) --k;
  return (i - k) % 2 == 0;
}

// The text without leading and trailing blanks (a part of s, not a copy);
// `endsWithGt` tells whether its last character is the single byte '>'.
template <typename E = Sjis>
inline std::string_view Trim(std::string_view s, bool& endsWithGt) {
  const std::string_view rest = TrimLeading<E>(s);
  const std::size_t start = s.size() - rest.size();
  std::size_t end = s.size();
  while (end > start) {
    if constexpr (E::kUtf8) {
      if (end - start >= 3 && IsWideSpaceUtf8(s, end - 3)) {
        end -= 3;
        continue;
      }
      if (!IsBlank(s, end - 1, 1)) {
        endsWithGt = s[end - 1] == '>';
        return s.substr(start, end - start);
      }
      --end;
      continue;
    }
    // The last character of s[start, end): one byte, or two when the byte
    // before end is a trail byte.
    const std::size_t last = IsBoundary(s, start, end - 1) ? end - 1 : end - 2;
    if (!IsBlank(s, last, end - last)) {
      endsWithGt = end - last == 1 && s[last] == '>';
      return s.substr(start, end - start);
    }
    end = last;
  }
  endsWithGt = false;
  return {};
}

template <typename E = Sjis>
inline std::string_view Trim(std::string_view s) {
  bool ignored;
  return Trim<E>(s, ignored);
}

// Byte offset of the first CR, LF or NUL at or after i (bytes, not
// characters: lines are separated before characters are read); n when none.
inline std::size_t FindLineBreak(const char* p, std::size_t i, std::size_t n) {
  while (i < n) {
    std::size_t stop = n;
    if (i + 8 <= n) {
      // Only a word with a byte below 0x0E can hold one.
      if (!swar::HasLess(swar::Load(p + i), 0x0E)) {
        i += 8;
        continue;
      }
      stop = i + 8;
    }
    for (; i < stop; ++i) {
      if (p[i] == '\r' || p[i] == '\n' || p[i] == '\0') return i;
    }
  }
  return n;
}

}  // namespace tovra::scan
