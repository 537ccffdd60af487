#include "util/char_string.h"

#include <cstring>

#include "util/string_list.h"

namespace tovra {

std::string_view TextOf(std::string_view s) {
  const void* nul = std::memchr(s.data(), 0, s.size());
  if (nul == nullptr) return s;
  return s.substr(0, static_cast<const char*>(nul) - s.data());
}

namespace {

// Walks up to n characters from byte offset `from`; returns the characters
// stepped and advances `from` over them.
int Walk(std::string_view text, std::size_t& from, int n) {
  int stepped = 0;
  while (stepped < n && from < text.size()) {
    from += CharBytesAt(text, from);
    ++stepped;
  }
  return stepped;
}

}  // namespace

int CharLength(std::string_view s) {
  std::string_view text = TextOf(s);
  std::size_t i = 0;
  int n = 0;
  while (i < text.size()) {
    i += CharBytesAt(text, i);
    ++n;
  }
  return n;
}

std::string CharCopy(std::string_view s, int pos, int count) {
  std::string_view text = TextOf(s);
  if (text.empty() || pos < 0 || count <= 0) return {};
  int skip = pos == 0 ? 0 : pos - 1;
  std::size_t at = 0;
  if (skip > 0 && Walk(text, at, skip) < skip) return {};
  if (at >= text.size()) return {};
  std::size_t end = at;
  Walk(text, end, count);
  return std::string(text.substr(at, end - at));
}

void CharDelete(std::string& s, int pos, int count) {
  std::string_view text = TextOf(s);
  if (text.empty() || pos <= 0 || count <= 0) return;
  std::size_t at = 0;
  if (Walk(text, at, pos - 1) < pos - 1) return;
  if (at >= text.size()) return;
  std::size_t end = at;
  Walk(text, end, count);
  std::string result;
  result.reserve(text.size() - (end - at));
  result.append(text.substr(0, at));
  result.append(text.substr(end));
  s = std::move(result);
}

void CharInsert(std::string_view sub, std::string& s, int pos) {
  std::string_view text = TextOf(s);
  std::string_view insert = TextOf(sub);
  std::size_t at = 0;
  if (pos > 1) Walk(text, at, pos - 1);
  std::string result;
  result.reserve(text.size() + insert.size());
  result.append(text.substr(0, at));
  result.append(insert);
  result.append(text.substr(at));
  s = std::move(result);
}

bool MatchesAt(std::string_view text, std::size_t i, std::string_view sub) {
  if (sub.empty() || i >= text.size() || text[i] != sub[0]) return false;
  std::size_t j = 0;
  while (j < sub.size()) {
    if (i >= text.size()) return false;
    std::size_t tn = CharBytesAt(text, i);
    std::size_t pn = CharBytesAt(sub, j);
    if (tn == 2 && pn == 2) {
      if (text[i] != sub[j] || text[i + 1] != sub[j + 1]) return false;
      i += 2;
      j += 2;
    } else {
      if (text[i] != sub[j]) return false;
      ++i;
      ++j;
    }
  }
  return true;
}

std::size_t CharFind(std::string_view text, std::string_view sub, std::size_t from) {
  if (sub.empty()) return std::string_view::npos;
  const char first = sub[0];
  std::size_t i = from;
  while (i < text.size()) {
    // Jump to the next candidate byte, then step characters up to it so a
    // match never starts at a trail byte. Lead bytes of 2-byte characters
    // are skipped over as whole characters.
    if (text[i] == first && MatchesAt(text, i, sub)) return i;
    i += CharBytesAt(text, i);
  }
  return std::string_view::npos;
}

int CharPos(std::string_view sub, std::string_view s) {
  std::string_view text = TextOf(s);
  std::string_view pattern = TextOf(sub);
  if (pattern.empty() || text.empty()) return 0;
  std::size_t i = 0;
  int position = 1;
  while (i < text.size()) {
    if (MatchesAt(text, i, pattern)) return position;
    i += CharBytesAt(text, i);
    ++position;
  }
  return 0;
}

namespace {
// Moves the single-byte letters from..from+25 by `shift`, character by character.
std::string ShiftLetters(std::string_view s, char from, int shift) {
  std::string_view text = TextOf(s);
  std::string result(text);
  std::size_t i = 0;
  while (i < result.size()) {
    std::size_t n = CharBytesAt(text, i);
    if (n == 1 && result[i] >= from && result[i] <= from + 25) result[i] = static_cast<char>(result[i] + shift);
    i += n;
  }
  return result;
}
}  // namespace

std::string CharLowerCase(std::string_view s) { return ShiftLetters(s, 'A', 'a' - 'A'); }

std::string CharUpperCase(std::string_view s) { return ShiftLetters(s, 'a', 'A' - 'a'); }

bool IsBlankAt(std::string_view text, std::size_t i) {
  std::size_t n = CharBytesAt(text, i);
  if (n == 2) return static_cast<unsigned char>(text[i]) == 0x81 && static_cast<unsigned char>(text[i + 1]) == 0x40;
  if (n == 0) return false;
  unsigned char b = static_cast<unsigned char>(text[i]);
  return (b >= 0x01 && b <= 0x20) || b == 0x7F;
}

std::string CharTrim(std::string_view s) {
  std::string_view text = TextOf(s);
  std::size_t i = 0;
  while (i < text.size() && IsBlankAt(text, i)) i += CharBytesAt(text, i);
  std::size_t end = i;  // end of the last non-blank character seen
  std::size_t j = i;
  while (j < text.size()) {
    std::size_t n = CharBytesAt(text, j);
    if (!IsBlankAt(text, j)) end = j + n;
    j += n;
  }
  return std::string(text.substr(i, end - i));
}

std::string ReplaceAll(std::string_view s, std::string_view find, std::string_view replace) {
  std::string_view text = TextOf(s);
  std::string_view pattern = TextOf(find);
  std::string_view with = TextOf(replace);
  if (pattern.empty() || text.empty()) return std::string(text);
  std::string result;
  result.reserve(with.size() <= pattern.size()
                     ? text.size() + 1
                     : (text.size() / pattern.size()) * with.size() + text.size() % pattern.size() + 1);
  std::size_t i = 0;
  while (i < text.size()) {
    if (MatchesAt(text, i, pattern)) {
      result.append(with);
      i += pattern.size();
    } else {
      std::size_t n = CharBytesAt(text, i);
      result.append(text.substr(i, n));
      i += n;
    }
  }
  return result;
}

int SplitString(TStringList& list, std::string_view s, std::string_view delim) {
  list.Clear();
  std::string_view rest = TextOf(s);
  std::string_view d = TextOf(delim);
  if (d.empty()) {
    if (!rest.empty()) list.Add(std::string(rest));
    return list.Count();
  }
  while (!rest.empty()) {
    std::size_t at = rest.find(d);
    if (at == std::string_view::npos) {
      list.Add(std::string(rest));
      break;
    }
    list.Add(std::string(rest.substr(0, at)));
    rest.remove_prefix(at + d.size());
  }
  return list.Count();
}

}  // namespace tovra
