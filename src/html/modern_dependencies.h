// The modern dependency collection on the local disk: a page's references
// as a browser loads them (TReferenceCollector) turned into local files below
// the site root and appended to the upload list, and every reference that
// cannot be sent reported with its reason and referrer: not on the disk,
// outside the site (also through a symbolic link), a name CP932 cannot hold,
// or a letter case that differs from the file on the disk. Links to folders
// and pages are neither collected nor reported. Paths are compared as the
// file system compares them (kFileNamesCaseSensitive).
// One collector serves one preparation on one thread; it keeps the style
// sheets and folder listings it has read.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "html/missing_files.h"
#include "html/references.h"
#include "util/string_list.h"
#include "util/text_encodings.h"

namespace tovra {

class TModernDependencies {
 public:
  // `webUrl` is the site's own address (the profile's WebURL; may be empty).
  TModernDependencies(std::string_view siteRoot, TPageEncoding encoding, std::string_view webUrl);

  // Appends to `uploadList` the files the page needs that are not in it
  // yet, in the order of its references, and adds to `missing` those that
  // cannot be sent. A page outside the site root gives nothing. Throws
  // EFileError when the page cannot be read; the lists are unchanged then.
  void Collect(TStringList& uploadList, std::string_view pageFile, TMissingFiles& missing);

 private:
  enum class TOnDisk { File, Folder, Unsendable };
  // The local path for a URL path below the site root (its kana composed);
  // false, with the reason in `why`, when CP932 cannot name it.
  bool LocalName(const std::string& urlPath, std::string& local, TMissingFile& why) const;
  // What the local path is on the disk; for Unsendable the reason is in `why`.
  TOnDisk Check(const std::string& local, TMissingFile& why);
  std::optional<std::string> FetchStyleSheet(const std::string& urlPath);
  std::string CaseVariant(const std::string& local);
  bool StaysInSite(const std::string& local);
  std::string Key(const std::string& path) const;

  std::string root_;      // without a trailing separator ("" for "/")
  std::string realRoot_;  // the root with its links resolved
  TPageEncoding encoding_;
  std::string webUrl_;
  TReferenceCollector collector_;
  std::unordered_set<std::string> known_;                    // keys of the upload list's entries
  int indexed_ = 0;                                          // entries of the upload list in known_
  std::map<std::string, std::vector<std::string>> folders_;  // names, read once
};

}  // namespace tovra
