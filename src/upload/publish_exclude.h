// TPublishExclusions: which files and folders of a site folder a publish
// leaves out. Always: version control folders (.git, .svn, .hg), the
// desktop's own files (.DS_Store, Thumbs.db, desktop.ini), editor backups
// (*~, *.swp) and Tovra's temporary names; then the site's PublishExclude
// patterns, separated by ";". A pattern ending in "/" names folders; one
// holding "/" elsewhere is matched against the whole path below the root,
// any other against the name alone. "*" stands for any characters but "/",
// "?" for one character. Letter case counts. Immutable; thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tovra {

// The prefix of the temporary name a file is stored under before it is
// renamed over its target; such names are never published.
inline constexpr char kTemporaryStorePrefix[] = ".tovra-part.";

class TPublishExclusions {
 public:
  explicit TPublishExclusions(std::string_view patterns = {});

  // path: below the site root, "/"-separated (CP932).
  bool ExcludesFile(std::string_view path) const;
  bool ExcludesFolder(std::string_view path) const;

 private:
  struct Pattern {
    std::string glob;
    bool folder = false;  // ends in "/"
    bool wholePath = false;
  };
  bool Matches(std::string_view path, bool folder) const;

  std::vector<Pattern> patterns_;
};

// Whether the CP932 text matches the glob ("*" and "?" as above).
bool GlobMatches(std::string_view glob, std::string_view text);

}  // namespace tovra
