#include "update/FindFile.h"

#include <algorithm>
#include <vector>

#include "platform/files.h"
#include "platform/local_time.h"
#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {

namespace {

// Splits at the last "." (found character by character) into base and extension.
void SplitAtLastDot(std::string_view s, std::string_view& base, std::string_view& ext) {
  std::size_t dot = std::string_view::npos;
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t n = CharBytesAt(s, i);
    if (n == 1 && s[i] == '.') dot = i;
    i += n;
  }
  if (dot == std::string_view::npos) {
    base = s;
    ext = {};
  } else {
    base = s.substr(0, dot);
    ext = s.substr(dot + 1);
  }
}

std::int32_t PackedDosTime(std::time_t t) { return static_cast<std::int32_t>(ToDosDateTime(t)); }

TSearchRec MakeSearchRec(const std::string& name, const FileTimes& times) {
  TSearchRec rec;
  rec.Name = name;
  rec.Size = times.size;
  rec.Time = PackedDosTime(times.lastWrite);
  rec.Attr = times.isDirectory ? faDirectory : faArchive;
  if (!name.empty() && name[0] == '.') rec.Attr |= faHidden;
  rec.FindData.ftCreationTime = times.creation;
  rec.FindData.ftLastAccessTime = times.lastAccess;
  rec.FindData.ftLastWriteTime = times.lastWrite;
  return rec;
}

}  // namespace

TDateTime FileTimeToDateTime(std::time_t t) {
  if (t == 0) return 0;
  std::tm local = LocalTime(t);
  return static_cast<double>(t + local.tm_gmtoff) / 86400.0 + kUnixEpochDays;
}

TDateTime NowDateTime() { return FileTimeToDateTime(std::time(nullptr)); }

TFindFile::TFindFile() : FolderName(kPathSepStr), CheckedTime(NowDateTime()) {}

int TFindFile::StartSearch() {
  foundCount_ = 0;
  Cancel = false;
  if (FolderName.empty()) return -1;
  SearchFolder(FolderName);
  return foundCount_;
}

void TFindFile::SearchFolder(std::string folder) {
  if (!folder.empty() && folder.back() == kPathSep) {
    // Only a single-byte separator counts, not the trail byte of a double-byte character.
    std::size_t i = 0, last = 0;
    while (i < folder.size()) {
      last = i;
      i += CharBytesAt(folder, i);
    }
    if (last == folder.size() - 1) folder.pop_back();
  }
  const std::string base = folder + kPathSep;
  // Names and kinds first; the times are read only for the files the masks
  // let through, which on a site is about one entry in ten.
  std::vector<DirName> entries;
  try {
    entries = ListFolderNames(base);
  } catch (const ETovraError&) {
    return;  // a folder that cannot be read yields nothing, as an empty one
  }
  for (const DirName& entry : entries) {
    if (OnProcessMessages) OnProcessMessages();
    if (Cancel) return;
    if (entry.isDirectory) {
      // Linked folders are not entered: a link back up the tree would never end.
      if (IsFindSub && entry.name[0] != '.' && !entry.isLink) SearchFolder(base + entry.name + kPathSep);
      continue;
    }
    if (!fileMask_.Empty() && std::none_of(fileMask_.begin(), fileMask_.end(),
                                           [&](const std::string& mask) { return MaskMatches(entry.name, mask); }))
      continue;
    FileTimes times;
    if (!GetFileTimes(base + entry.name, times)) continue;  // gone since the listing
    TSearchRec rec = MakeSearchRec(entry.name, times);
    if (CheckTimeIs != tmNone && !PassesTimeFilter(rec.FindData)) continue;
    Report(entry.name, base, rec);
  }
}

bool TFindFile::PassesTimeFilter(const TFindData& data) const {
  std::time_t t = CheckTimeKind == tmCreate       ? data.ftCreationTime
                  : CheckTimeKind == tmLastAccess ? data.ftLastAccessTime
                                                  : data.ftLastWriteTime;
  TDateTime time = FileTimeToDateTime(t);
  if (CheckTimeIs == tmOlder) return time < CheckedTime;
  if (CheckTimeIs == tmNewer) return time > CheckedTime;
  return true;
}

void TFindFile::Report(const std::string& name, const std::string& base, TSearchRec& rec) {
  ++foundCount_;
  if (OnFind) OnFind(name, base, rec, Cancel);
}

bool MaskMatches(std::string_view name, std::string_view mask) {
  const std::string upperName = CharUpperCase(name);
  const std::string upperMask = CharUpperCase(mask);
  std::string_view nameBase, nameExt, maskBase, maskExt;
  SplitAtLastDot(upperName, nameBase, nameExt);
  SplitAtLastDot(upperMask, maskBase, maskExt);
  if (nameBase.empty() || maskBase.empty()) return false;
  if (upperMask == "*" || upperMask == "*.*") return true;
  return WildMatch(nameBase, maskBase) && WildMatch(nameExt, maskExt);
}

bool WildMatch(std::string_view text, std::string_view pattern) {
  if (!pattern.empty() && pattern[0] == '*') return pattern.size() == 1 || WildMatchTail(text, pattern);
  std::size_t i = 0, j = 0;
  for (; i < text.size(); ++i, ++j) {
    if (j >= pattern.size()) return false;
    if (pattern[j] == '*') return j + 1 == pattern.size() || WildMatchTail(text.substr(i), pattern.substr(j));
    if (pattern[j] != '?' && pattern[j] != text[i]) return false;
  }
  // The text is used up; whatever follows a "*" here is not examined.
  return j == pattern.size() || pattern[j] == '*';
}

bool WildMatchTail(std::string_view text, std::string_view pattern) {
  // Compared from the ends backwards up to the pattern's last "*".
  std::size_t i = text.size(), j = pattern.size();
  for (;;) {
    if (i == 0) return j > 0 && pattern[j - 1] == '*';
    if (j == 0) return false;
    char p = pattern[j - 1];
    if (p == '*') return true;
    if (p != '?' && p != text[i - 1]) return false;
    --i;
    --j;
  }
}

}  // namespace tovra
