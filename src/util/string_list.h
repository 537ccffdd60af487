// The ordered string list used throughout the system. Lookups and membership
// ignore ASCII letter case (character-wise, so trail bytes are never folded).
// Text form: lines separated by CR LF, CR or LF when read; CR LF after every
// line when written. Not thread-safe; owned by one thread at a time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovra {

class TStringList {
 public:
  TStringList() = default;
  TStringList(std::initializer_list<std::string> items) : items_(items) {}

  int Count() const { return static_cast<int>(items_.size()); }
  bool Empty() const { return items_.empty(); }
  // Get/Set/Insert/Delete raise EListError for an index out of range.
  const std::string& operator[](int index) const;
  const std::string& Get(int index) const { return (*this)[index]; }
  void Set(int index, std::string value);
  int Add(std::string value);
  void Insert(int index, std::string value);
  void Delete(int index);
  void Clear() { items_.clear(); }

  // Index of the first item equal to value ignoring letter case, or -1.
  int IndexOf(std::string_view value) const;
  bool Contains(std::string_view value) const { return IndexOf(value) >= 0; }

  // Replaces the items by the lines of text. A NUL byte ends its line: the
  // rest of that line is dropped.
  void SetText(std::string_view text);
  // Every item followed by CR LF.
  std::string Text() const;

  const std::vector<std::string>& Items() const { return items_; }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }
  bool operator==(const TStringList& other) const = default;

 private:
  std::vector<std::string> items_;
};

// Whether a and b are equal when ASCII letters are compared without case.
bool SameTextNoCase(std::string_view a, std::string_view b);

}  // namespace tovra
