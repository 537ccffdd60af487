#include "sites/ini_document.h"

#include "util/char_string.h"
#include "util/string_list.h"

namespace tovra {

namespace {

bool IsIniBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimIniBlanks(std::string_view s) {
  std::size_t begin = 0;
  std::size_t end = s.size();
  while (begin < end && IsIniBlank(s[begin])) ++begin;
  // A trail byte is never a blank or a tab, so trimming bytes from the end
  // cannot split a double-byte character.
  while (end > begin && IsIniBlank(s[end - 1])) --end;
  return s.substr(begin, end - begin);
}

// Byte offset of the first character c in text (character-wise), or npos.
std::size_t FindChar(std::string_view text, char c) {
  for (std::size_t i = 0; i < text.size(); i += CharBytesAt(text, i)) {
    if (CharBytesAt(text, i) == 1 && text[i] == c) return i;
  }
  return std::string_view::npos;
}

// The name of a section header line, or false when the line is none.
bool SectionName(std::string_view rawLine, std::string_view& name) {
  std::string_view line = TrimIniBlanks(TextOf(rawLine));
  if (line.empty() || line[0] != '[') return false;
  line.remove_prefix(1);
  std::size_t close = FindChar(line, ']');
  name = TrimIniBlanks(line.substr(0, close));
  return true;
}

// The key and raw value of a "key=value" line, or false.
bool KeyLine(std::string_view rawLine, std::string_view& key, std::string_view& value) {
  std::string_view line = TextOf(rawLine);
  std::string_view trimmed = TrimIniBlanks(line);
  if (trimmed.empty() || trimmed[0] == ';' || trimmed[0] == '[') return false;
  std::size_t eq = FindChar(line, '=');
  if (eq == std::string_view::npos) return false;
  key = TrimIniBlanks(line.substr(0, eq));
  value = line.substr(eq + 1);
  return !key.empty();
}

std::string CleanValue(std::string_view raw) {
  std::string_view v = TrimIniBlanks(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  if (v.size() <= kIniMaxValueBytes) return std::string(v);
  // Cut on a character boundary, so the value never ends in a lone lead byte.
  std::size_t cut = 0;
  while (cut < v.size()) {
    std::size_t n = CharBytesAt(v, cut);
    if (cut + n > kIniMaxValueBytes) break;
    cut += n;
  }
  return std::string(v.substr(0, cut));
}

bool HasLineBreakOrNul(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

}  // namespace

std::string IniValueAsRead(std::string_view raw) { return CleanValue(raw); }

bool IsStorableIniText(std::string_view section, std::string_view key, std::string_view value) {
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) return false;
  std::string_view s = TrimIniBlanks(section);
  std::string_view k = TrimIniBlanks(key);
  if (s.empty() || k.empty() || s != section || k != key) return false;
  if (FindChar(section, ']') != std::string_view::npos) return false;
  if (FindChar(key, '=') != std::string_view::npos) return false;
  return k[0] != ';' && k[0] != '[';
}

TIniDocument::TIniDocument(std::string_view text) {
  // Lines are split here and not by TStringList::SetText, which would cut
  // each line at a NUL; an untouched line must be written back unchanged.
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    lines_.emplace_back(text.substr(i, end - i));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    i = end + 1;
  }
}

int TIniDocument::FindSection(std::string_view section) const {
  std::string_view name;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name) && SameTextNoCase(name, section)) return static_cast<int>(i);
  }
  return -1;
}

int TIniDocument::FindKey(int header, std::string_view key) const {
  std::string_view name, k, v;
  for (std::size_t i = static_cast<std::size_t>(header) + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name)) break;
    if (KeyLine(lines_[i], k, v) && SameTextNoCase(k, key)) return static_cast<int>(i);
  }
  return -1;
}

int TIniDocument::EndOfSection(int header) const {
  std::string_view name;
  int end = header + 1;
  for (std::size_t i = static_cast<std::size_t>(header) + 1; i < lines_.size(); ++i) {
    if (SectionName(lines_[i], name)) break;
    if (!TrimIniBlanks(TextOf(lines_[i])).empty()) end = static_cast<int>(i) + 1;
  }
  return end;
}

bool TIniDocument::Find(std::string_view section, std::string_view key, std::string& value) const {
  int header = FindSection(section);
  if (header < 0) return false;
  int line = FindKey(header, key);
  if (line < 0) return false;
  std::string_view k, raw;
  KeyLine(lines_[static_cast<std::size_t>(line)], k, raw);
  value = CleanValue(raw);
  return true;
}

void TIniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  std::string line = std::string(key) + "=" + std::string(value);
  int header = FindSection(section);
  if (header < 0) {
    if (!lines_.empty() && !TrimIniBlanks(TextOf(lines_.back())).empty()) lines_.emplace_back();
    lines_.push_back(std::string("[").append(section).append("]"));
    lines_.push_back(std::move(line));
    return;
  }
  int existing = FindKey(header, key);
  if (existing >= 0) {
    lines_[static_cast<std::size_t>(existing)] = std::move(line);
    return;
  }
  lines_.insert(lines_.begin() + EndOfSection(header), std::move(line));
}

bool TIniDocument::Erase(std::string_view section, std::string_view key) {
  int header = FindSection(section);
  if (header < 0) return false;
  bool erased = false;
  for (int line = FindKey(header, key); line >= 0; line = FindKey(header, key)) {
    lines_.erase(lines_.begin() + line);
    erased = true;
  }
  return erased;
}

std::string TIniDocument::Text() const {
  std::string text;
  for (const auto& line : lines_) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace tovra
