#include "util/string_list.h"

#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {

bool SameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::size_t i = 0;
  while (i < a.size()) {
    std::size_t n = CharBytesAt(a, i);
    if (n == 2) {
      if (a[i] != b[i] || a[i + 1] != b[i + 1]) return false;
    } else if (LowerAscii(a[i]) != LowerAscii(b[i])) {
      return false;
    }
    i += n;
  }
  return true;
}

const std::string& TStringList::operator[](int index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  return items_[static_cast<std::size_t>(index)];
}

void TStringList::Set(int index, std::string value) {
  if (index < 0 || index >= Count()) throw EListError(index);
  items_[static_cast<std::size_t>(index)] = std::move(value);
}

int TStringList::Add(std::string value) {
  items_.push_back(std::move(value));
  return Count() - 1;
}

void TStringList::Insert(int index, std::string value) {
  if (index < 0 || index > Count()) throw EListError(index);
  items_.insert(items_.begin() + index, std::move(value));
}

void TStringList::Delete(int index) {
  if (index < 0 || index >= Count()) throw EListError(index);
  items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(std::string_view value) const {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (SameTextNoCase(items_[i], value)) return static_cast<int>(i);
  }
  return -1;
}

void TStringList::SetText(std::string_view text) {
  items_.clear();
  std::size_t i = 0;
  while (i < text.size()) {
    std::size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) end = text.size();
    items_.emplace_back(TextOf(text.substr(i, end - i)));
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    i = end + 1;
  }
}

std::string TStringList::Text() const {
  std::size_t size = 0;
  for (const auto& item : items_) size += item.size() + 2;
  std::string text;
  text.reserve(size);
  for (const auto& item : items_) {
    text += item;
    text += "\r\n";
  }
  return text;
}

}  // namespace tovra
