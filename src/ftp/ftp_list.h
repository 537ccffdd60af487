// The directory listing parser: detects the format of a LIST reply from its
// first line and turns each line into a TIdFTPListItem. Pure (no sockets);
// the current date is passed in, so results do not depend on the clock.
// Thread-safe: no shared state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "util/string_list.h"

namespace tovra {

enum class TIdFTPListFormat { flfNone, flfDos, flfUnix, flfVax, flfNoDetails, flfUnknown, flfCustom };
enum class TIdDirItemType { ditDirectory, ditFile, ditSymbolicLink };

// The local date that relative listing dates ("Dec 08 09:28") are read against.
struct TListDate {
  int Year = 1970;
  int Month = 1;
  int Day = 1;
};
TListDate TodayLocal();

struct TIdFTPListItem {
  std::int64_t Size = 0;
  int ItemCount = 0;
  std::string Data;  // the raw listing line
  std::string FileName;
  std::string GroupPermissions = "???";
  std::string GroupName = "????????";
  std::string OwnerPermissions = "???";
  std::string OwnerName = "????????";
  std::string UserPermissions = "???";
  double ModifiedDate = 0;  // days since 1899-12-30, time as the fraction
  std::string LinkedItemName;
  TIdDirItemType ItemType = TIdDirItemType::ditFile;
};

class TIdFTPListItems {
 public:
  TIdFTPListFormat ListFormat = TIdFTPListFormat::flfUnix;

  int Count() const { return static_cast<int>(items_.size()); }
  const TIdFTPListItem& operator[](int index) const { return items_.at(static_cast<std::size_t>(index)); }
  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

  // Replaces the entries by the lines parsed in ListFormat. A line that fails
  // to parse clears every entry gathered so far; nothing is raised.
  void LoadList(const TStringList& lines, const TListDate& today);

 private:
  std::vector<TIdFTPListItem> items_;
};

// The format of a listing judged by its first line.
TIdFTPListFormat CheckListFormat(const std::string& firstLine);

// Fill an entry from item.Data. They raise (any exception) when the line
// cannot be read; callers treat that as a failed line.
void ParseUnixEntry(TIdFTPListItem& item, const TListDate& today);
void ParseDosEntry(TIdFTPListItem& item, const TListDate& today);

// Format detection and loading of a whole listing, as ParsedListing does it.
TIdFTPListItems BuildParsedListing(const TStringList& lines, const TListDate& today);

}  // namespace tovra
