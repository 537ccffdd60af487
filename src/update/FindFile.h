// TFindFile walks a folder, and optionally its subfolders, and reports every
// file whose name matches one of a list of wildcard masks and, optionally,
// whose creation, last-write or last-access time lies before or after a given
// moment. Runs on the UI thread; between directory entries it hands control to
// the user interface through OnProcessMessages, so a handler (even one that
// starts another search on this object) may run in the middle of a search.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

#include "util/date_time.h"
#include "util/string_list.h"

namespace tovra {

enum TTimeFunc { tmNone = 0, tmOlder = 1, tmNewer = 2 };
enum TTimeKind { tmCreate = 0, tmLastWrite = 1, tmLastAccess = 2 };

// Directory-entry attributes as the search reports them.
inline constexpr int faReadOnly = 0x01;
inline constexpr int faHidden = 0x02;
inline constexpr int faDirectory = 0x10;
inline constexpr int faArchive = 0x20;

// The file times of an entry as the file system keeps them (UTC seconds).
struct TFindData {
  std::time_t ftCreationTime = 0;  // the status-change time where no creation time is kept
  std::time_t ftLastAccessTime = 0;
  std::time_t ftLastWriteTime = 0;
};

// One directory entry of a reported file.
struct TSearchRec {
  std::int32_t Time = 0;  // local last-write time, packed DOS date (high 16 bits) and time
  int Attr = 0;
  std::int64_t Size = 0;
  std::string Name;
  TFindData FindData;
};

// FileName without folder, Path the folder ending in the separator, Cancel in
// and out: set it to stop the search.
using TOnFindEvent =
    std::function<void(const std::string& FileName, const std::string& Path, TSearchRec& Search, bool& Cancel)>;

class TFindFile {
 public:
  TFindFile();

  bool Cancel = false;
  std::string FolderName;  // initially the file-system root
  bool IsFindSub = true;
  TTimeFunc CheckTimeIs = tmNone;
  TTimeKind CheckTimeKind = tmLastWrite;
  TDateTime CheckedTime;  // initially the moment of construction
  TOnFindEvent OnFind;
  // Called before every directory entry; the window processes its pending
  // events here, the command line leaves it empty.
  std::function<void()> OnProcessMessages;

  // An empty list lets every file pass. Assigning copies the masks.
  const TStringList& FileMask() const { return fileMask_; }
  void SetFileMask(const TStringList& masks) { fileMask_ = masks; }

  // Reports of the running or last search.
  int FoundCount() const { return foundCount_; }

  // Searches FolderName and returns FoundCount; -1 without searching when
  // FolderName is empty. Resets FoundCount and Cancel first.
  int StartSearch();

 private:
  void SearchFolder(std::string folder);
  bool PassesTimeFilter(const TFindData& data) const;
  void Report(const std::string& name, const std::string& base, TSearchRec& rec);

  TStringList fileMask_;
  int foundCount_ = 0;
};

// Whether a file name matches a mask ("*.htm", "*.*", "A?C.*"), letter case
// ignored. Names and masks with an empty base name never match.
bool MaskMatches(std::string_view name, std::string_view mask);
// Byte-wise wildcard test: "?" one byte, "*" any run. Only the part of the
// pattern before its first "*" and after its last "*" is examined.
bool WildMatch(std::string_view text, std::string_view pattern);
// pattern begins with "*": the part after its last "*" must end the text.
bool WildMatchTail(std::string_view text, std::string_view pattern);

// A file-system time (UTC seconds) as a local TDateTime; 0 gives 0.
TDateTime FileTimeToDateTime(std::time_t t);
// The local date and time now.
TDateTime NowDateTime();

}  // namespace tovra
