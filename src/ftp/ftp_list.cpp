#include "ftp/ftp_list.h"

#include <cstdint>
#include <ctime>
#include <optional>

#include "ftp/id_exceptions.h"
#include "platform/local_time.h"
#include "util/char_string.h"
#include "util/date_time.h"
#include "util/errors.h"
#include "util/number_text.h"

namespace tovra {

namespace {

// A decimal integer with an optional sign, the whole text, at most 18
// digits; nothing otherwise.
std::optional<std::int64_t> ReadInt(std::string_view s) {
  constexpr std::int64_t kLimit = 999'999'999'999'999'999;
  return ParseDecimal(s, -kLimit, kLimit);
}

int IntOr(std::string_view s, int fallback) {
  auto v = ReadInt(s);
  return v && *v >= INT32_MIN && *v <= INT32_MAX ? static_cast<int>(*v) : fallback;
}

std::vector<std::string> SplitAtSpaces(std::string_view line) {
  std::vector<std::string> fields;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && line[i] == ' ') ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ') ++i;
    if (i > start) fields.emplace_back(line.substr(start, i - start));
  }
  return fields;
}

std::string TrimRight(std::string_view s) {
  std::size_t end = s.size();
  while (end > 0 && static_cast<unsigned char>(s[end - 1]) <= ' ') --end;
  return std::string(s.substr(0, end));
}

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int MonthOf(const std::string& name) {
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  std::string upper = CharUpperCase(name);
  for (int m = 0; m < 12; ++m) {
    if (upper == kMonths[m]) return m + 1;
  }
  return 0;
}

bool IsModeChar(char c) {
  // Set-id and sticky bits (S, T) show in place of X on shared hosts; a
  // listing that opens with such a folder is still a Unix listing.
  return c == '-' || c == 'R' || c == 'W' || c == 'X' || c == 'S' || c == 'T';
}

bool IsBlankLine(std::string_view line) {
  for (char c : line) {
    if (c != ' ' && c != '\t') return false;
  }
  return true;
}

}  // namespace

TListDate TodayLocal() {
  std::time_t now = std::time(nullptr);
  std::tm local = LocalTime(now);
  return TListDate{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
}

TIdFTPListFormat CheckListFormat(const std::string& firstLine) {
  std::string line = CharUpperCase(firstLine);
  if (line.size() >= 10 && (line[0] == '-' || line[0] == 'D' || line[0] == 'L')) {
    bool mode = true;
    for (int i = 1; i < 10; ++i) mode = mode && IsModeChar(line[static_cast<std::size_t>(i)]);
    if (mode) return TIdFTPListFormat::flfUnix;
  }
  if (line.rfind("TOTAL", 0) == 0) return TIdFTPListFormat::flfUnix;
  if (line.find("DSK:") != std::string::npos) return TIdFTPListFormat::flfVax;
  std::string third = CharCopy(line, 3, 1);
  std::string sixth = CharCopy(line, 6, 1);
  if ((third == "-" || third == "/") && (sixth == "-" || sixth == "/")) {
    std::string marker = CharTrim(CharCopy(line, 25, 6));
    if (marker == "<DIR>") return TIdFTPListFormat::flfDos;
    if (marker.empty() && ReadInt(ReplaceAll(CharTrim(CharCopy(line, 31, 8)), ",", ""))) {
      return TIdFTPListFormat::flfDos;
    }
  }
  return TIdFTPListFormat::flfUnknown;
}

void ParseUnixEntry(TIdFTPListItem& item, const TListDate& today) {
  std::vector<std::string> f = SplitAtSpaces(TrimRight(item.Data));
  // Listings without an owner or group column: the fifth field is already
  // the month name.
  if (f.size() == 8 && IsAsciiLetter(f[4][0])) f.insert(f.begin() + 2, std::string());
  if (f.size() < 8) throw EConvertError("一覧の行の項目が足りません");
  const std::string& mode = f[0];
  std::string kind = CharUpperCase(CharCopy(mode, 1, 1));
  item.ItemType = kind == "D"   ? TIdDirItemType::ditDirectory
                  : kind == "L" ? TIdDirItemType::ditSymbolicLink
                                : TIdDirItemType::ditFile;
  item.OwnerPermissions = CharCopy(mode, 2, 3);
  item.GroupPermissions = CharCopy(mode, 5, 3);
  item.UserPermissions = CharCopy(mode, 8, 3);
  item.ItemCount = IntOr(f[1], 0);
  item.OwnerName = f[2];
  item.GroupName = f[3];
  item.Size = ReadInt(f[4]).value_or(0);
  int month = MonthOf(f[5]);
  int day = IntOr(f[6], today.Day);
  int year = today.Year;
  int hour = 0;
  int minute = 0;
  std::size_t colon = f[7].find(':');
  if (colon != std::string::npos) {
    hour = IntOr(f[7].substr(0, colon), 0);
    minute = IntOr(f[7].substr(colon + 1), 0);
    // Servers give the time instead of the year for the last six months.
    if (month > today.Month) --year;
  } else {
    year = IntOr(f[7], today.Year);
  }
  item.ModifiedDate = EncodeDateTime(year, month, day, hour, minute, 0, 999);
  std::string name;
  for (std::size_t i = 8; i < f.size(); ++i) {
    if (i > 8) name += ' ';
    name += f[i];
  }
  item.FileName = name;
  if (item.ItemType == TIdDirItemType::ditSymbolicLink) {
    std::size_t arrow = name.find(" -> ");
    if (arrow != std::string::npos) {
      item.FileName = name.substr(0, arrow);
      item.LinkedItemName = name.substr(arrow + 4);
    }
  }
}

namespace {

// Takes the text up to the first space out of rest (with that space).
std::string FetchWord(std::string& rest) {
  std::size_t space = rest.find(' ');
  std::string word = rest.substr(0, space);
  rest = space == std::string::npos ? std::string() : rest.substr(space + 1);
  return word;
}

// "MM/DD/YY hh:mm[AM|PM]" as an MS-DOS listing shows it; 0 when unreadable.
double ReadDosDate(const std::string& text, const TListDate& today) {
  try {
    std::string rest = text;
    std::string date = FetchWord(rest);
    std::string time = CharTrim(rest);
    if (date.size() != 8 || date[2] != '/' || date[5] != '/') return 0;
    auto month = ReadInt(date.substr(0, 2));
    auto day = ReadInt(date.substr(3, 2));
    auto year = ReadInt(date.substr(6, 2));
    if (!month || !day || !year || *year < 0) return 0;
    // Two-digit years fall within fifty years of the current one.
    int fullYear = today.Year / 100 * 100 + static_cast<int>(*year);
    if (fullYear < today.Year - 50) fullYear += 100;
    if (fullYear > today.Year + 50) fullYear -= 100;
    int hour = 0;
    int minute = 0;
    if (!time.empty()) {
      std::string upper = CharUpperCase(time);
      bool pm = upper.size() > 2 && upper.compare(upper.size() - 2, 2, "PM") == 0;
      bool am = upper.size() > 2 && upper.compare(upper.size() - 2, 2, "AM") == 0;
      if (am || pm) upper.resize(upper.size() - 2);
      std::size_t colon = upper.find(':');
      if (colon == std::string::npos) return 0;
      auto h = ReadInt(upper.substr(0, colon));
      auto m = ReadInt(CharTrim(upper.substr(colon + 1)));
      if (!h || !m) return 0;
      hour = static_cast<int>(*h);
      minute = static_cast<int>(*m);
      if ((am || pm) && (hour < 1 || hour > 12)) return 0;
      if (am && hour == 12) hour = 0;
      if (pm && hour != 12) hour += 12;
    }
    return EncodeDateTime(fullYear, static_cast<int>(*month), static_cast<int>(*day), hour, minute, 0, 0);
  } catch (const EConvertError&) {
    return 0;
  }
}

}  // namespace

void ParseDosEntry(TIdFTPListItem& item, const TListDate& today) {
  const std::string& line = item.Data;
  std::string dateText = CharCopy(line, 1, 2) + "/" + CharCopy(line, 4, 2) + "/" + CharCopy(line, 7, 2) + " ";
  std::string rest = CharTrim(CharCopy(line, 9, CharLength(line)));
  dateText += FetchWord(rest);
  rest = CharTrim(rest);
  std::string sizeWord = ReplaceAll(FetchWord(rest), ",", "");
  if (CharUpperCase(sizeWord) == "<DIR>") {
    item.ItemType = TIdDirItemType::ditDirectory;
    item.Size = 0;
  } else {
    item.ItemType = TIdDirItemType::ditFile;
    item.Size = ReadInt(sizeWord).value_or(0);
  }
  item.FileName = CharTrim(rest);
  item.ModifiedDate = ReadDosDate(dateText, today);
}

void TIdFTPListItems::LoadList(const TStringList& lines, const TListDate& today) {
  items_.clear();
  int first = 0;
  if (ListFormat == TIdFTPListFormat::flfUnix && lines.Count() > 0 && CharUpperCase(lines[0]).rfind("TOTAL", 0) == 0) {
    first = 1;
  }
  for (int i = first; i < lines.Count(); ++i) {
    if (IsBlankLine(lines[i])) continue;
    items_.emplace_back();
    TIdFTPListItem& item = items_.back();
    item.Data = lines[i];
    try {
      switch (ListFormat) {
        case TIdFTPListFormat::flfUnix:
        case TIdFTPListFormat::flfVax:
          ParseUnixEntry(item, today);
          break;
        case TIdFTPListFormat::flfDos:
          ParseDosEntry(item, today);
          break;
        default:
          throw EIdInvalidFTPListingFormat();
      }
    } catch (const std::exception&) {
      // One unreadable line leaves nothing trustworthy from before it.
      items_.clear();
    }
  }
}

TIdFTPListItems BuildParsedListing(const TStringList& lines, const TListDate& today) {
  TIdFTPListItems items;
  if (lines.Count() > 0) {
    items.ListFormat = CheckListFormat(lines[0]);
    items.LoadList(lines, today);
  }
  return items;
}

}  // namespace tovra
