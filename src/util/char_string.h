// Character-indexed functions over Shift-JIS (CP932) byte strings.
// Positions are 1-based and counted in characters; a lead byte (0x81-0x9F,
// 0xE0-0xFC) followed by any non-NUL byte is one character. A NUL byte ends
// the text for every function here. All functions are stateless and
// thread-safe; each makes one pass over its text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {

// A-Z lowered, every other byte (CP932 second bytes too) as it is.
inline constexpr char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline constexpr bool IsLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }

// The text as the functions see it: the bytes before the first NUL.
std::string_view TextOf(std::string_view s);

// Bytes of the character starting at byte offset i of text (1 or 2; 0 at the end).
inline std::size_t CharBytesAt(std::string_view text, std::size_t i) {
  if (i >= text.size()) return 0;
  if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) return 2;
  return 1;
}

int CharLength(std::string_view s);
std::string CharCopy(std::string_view s, int pos, int count);
void CharDelete(std::string& s, int pos, int count);
void CharInsert(std::string_view sub, std::string& s, int pos);
// Pattern first, searched text second. 0 when not found or either is empty.
int CharPos(std::string_view sub, std::string_view s);
std::string CharLowerCase(std::string_view s);
// A-Z to a-z and a-z to A-Z respectively; double-byte characters (whose trail
// bytes may look like letters) are left alone.
std::string CharUpperCase(std::string_view s);
std::string CharTrim(std::string_view s);
std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view replace);

// Byte offset of the first character-aligned occurrence of sub in text at or
// after byte offset `from` (which must be character-aligned); npos if none.
// The linear building block behind CharPos for callers that scan long texts.
std::size_t CharFind(std::string_view text, std::string_view sub, std::size_t from = 0);

// Whether sub matches text at byte offset i (character-wise, case-sensitive).
bool MatchesAt(std::string_view text, std::size_t i, std::string_view sub);

// Whether the character starting at byte offset i is a blank (0x01-0x20, 0x7F
// or the full-width space 0x81 0x40).
bool IsBlankAt(std::string_view text, std::size_t i);

class TStringList;
// Clears list and adds the pieces of s separated by delim; returns the count.
// The delimiter is searched byte by byte.
int SplitString(TStringList& list, std::string_view s, std::string_view delim);

}  // namespace tovra
