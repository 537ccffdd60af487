#include "update/strings_list.h"

#include <algorithm>

#include "platform/files.h"
#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {

namespace {

// The key under which a field is indexed: the same folding SameTextNoCase
// applies, so FindRow agrees with TStringList::IndexOf.
std::string FoldKey(std::string_view field) { return CharLowerCase(field); }

bool WritableField(std::string_view field) {
  return field.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
         field.find(kRowFieldSep) == std::string_view::npos;
}

}  // namespace

const TStringList& TStringsList::RowAt(int index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  return rows_[static_cast<std::size_t>(index)];
}

void TStringsList::AddRow(const TStringList& fields) {
  rows_.push_back(fields);
  IndexRow(Count() - 1);
}

void TStringsList::AddPair(std::string a, std::string b) {
  TStringList row;
  row.Add(std::move(a));
  row.Add(std::move(b));
  rows_.push_back(std::move(row));
  IndexRow(Count() - 1);
}

void TStringsList::IndexRow(int index) {
  // emplace keeps an existing entry, so the first row holding a field wins.
  for (const std::string& field : rows_[static_cast<std::size_t>(index)]) firstRowOf_.emplace(FoldKey(field), index);
}

int TStringsList::FindRow(std::string_view s) const {
  auto found = firstRowOf_.find(FoldKey(s));
  return found == firstRowOf_.end() ? -1 : found->second;
}

void TStringsList::Clear() {
  rows_.clear();
  firstRowOf_.clear();
}

void TStringsList::SaveRows(std::string_view path) const {
  std::string text;
  for (const TStringList& row : rows_) {
    if (!std::all_of(row.begin(), row.end(), WritableField)) continue;
    bool first = true;
    for (const std::string& field : row) {
      if (!first) text += kRowFieldSep;
      text += field;
      first = false;
    }
    text += "\r\n";
  }
  WriteFileAtomic(path, text);
}

void TStringsList::LoadRows(std::string_view path) {
  TStringList lines;
  lines.SetText(ReadFileBytes(path));
  Clear();
  rows_.reserve(static_cast<std::size_t>(lines.Count()));
  TStringList fields;
  for (const std::string& line : lines) {
    SplitString(fields, line, kRowFieldSep);
    AddRow(fields);
  }
}

}  // namespace tovra
