// TStringsList: an ordered list of rows, each row an ordered list of string
// fields, with a row file form (one line per row, fields joined by "?$B?").
// It keeps an index of every field, so FindRow costs the same for a list of
// ten rows or of a hundred thousand. Rows are only ever appended, never
// changed in place. Not thread-safe; owned by one thread at a time.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "util/string_list.h"

namespace tovra {

// The separator of fields on a line of a row file (bytes 3F 24 42 3F).
inline constexpr std::string_view kRowFieldSep = "?$B?";

class TStringsList {
 public:
  int Count() const { return static_cast<int>(rows_.size()); }
  bool Empty() const { return rows_.empty(); }
  // Raises EListError for an index out of range.
  const TStringList& RowAt(int index) const;
  // Appends a row holding copies of the fields.
  void AddRow(const TStringList& fields);
  void AddPair(std::string a, std::string b);
  // Index of the first row having any field equal to s, letter case ignored; -1 if none.
  int FindRow(std::string_view s) const;
  void Clear();

  // Writes the whole file anew (temporary file, then renamed), one CR LF line
  // per row. A row whose fields hold a line break or the separator would not
  // read back as the same row and is left out.
  void SaveRows(std::string_view path) const;
  // Empties the list and reads the file, one row per line: an empty line is a
  // row without fields; a separator at the end of a line adds no empty field.
  void LoadRows(std::string_view path);

 private:
  void IndexRow(int index);

  std::vector<TStringList> rows_;
  // Case-folded field -> index of the first row holding it.
  std::unordered_map<std::string, int> firstRowOf_;
};

}  // namespace tovra
