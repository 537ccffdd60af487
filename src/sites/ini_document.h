// The text of one INI settings file held in memory: "[section]" lines and
// "key=value" lines, looked up without regard to ASCII letter case. Every line
// that a change does not touch (other keys, comments, blank lines, lines that
// are neither) is kept byte for byte. Not thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovra {

// Longest value a read returns, in bytes (the profile functions' buffer less
// its terminating NUL).
inline constexpr std::size_t kIniMaxValueBytes = 2047;

class TIniDocument {
 public:
  TIniDocument() = default;
  // Lines separated by CR LF, CR or LF. A NUL byte ends what a lookup sees
  // of its line; the line itself is kept as it was.
  explicit TIniDocument(std::string_view text);

  // The value of key in section with the blanks around it and one pair of
  // surrounding quote marks (double or single) dropped, cut at
  // kIniMaxValueBytes; false when the section or the key is absent.
  bool Find(std::string_view section, std::string_view key, std::string& value) const;

  // Replaces the key's line, or adds the key at the end of its section, or
  // adds the section at the end of the text. The caller makes sure the texts
  // pass IsStorableIniText.
  void Set(std::string_view section, std::string_view key, std::string_view value);

  // Takes the key's lines out of the section (every one, so that a lookup
  // finds it no more); false when there was none. The section stays.
  bool Erase(std::string_view section, std::string_view key);

  // Every line followed by CR LF.
  std::string Text() const;
  int LineCount() const { return static_cast<int>(lines_.size()); }

 private:
  // Line index of the section header, or -1.
  int FindSection(std::string_view section) const;
  // Line index of the key within the section starting at header, or -1.
  int FindKey(int header, std::string_view key) const;
  // Index just past the section's last non-blank line.
  int EndOfSection(int header) const;

  std::vector<std::string> lines_;
};

// The value that a read gives for the raw text after "key=": blanks around
// it and one pair of surrounding quote marks dropped, cut at
// kIniMaxValueBytes (what TIniDocument::Find returns).
std::string IniValueAsRead(std::string_view raw);

// Whether a section, key or value can be stored: no CR, LF or NUL; a key
// without "=" that does not open like a comment or a section; a section
// without "]". Empty names are refused.
bool IsStorableIniText(std::string_view section, std::string_view key, std::string_view value);

}  // namespace tovra
