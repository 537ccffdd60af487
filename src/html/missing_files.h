// The files an upload cannot send, each with why and, where a page or style
// sheet refers to it, which one: what the missing-files dialog, the command
// line and the run's summary show. A plain value; not thread-safe.
#pragma once

#include <array>
#include <string>
#include <unordered_set>
#include <vector>

#include "util/string_list.h"

namespace tovra {

enum class TMissingReason {
  NotOnDisk,        // no such file on the local disk
  OutsideSite,      // its real path lies outside the site root
  Unrepresentable,  // its name holds a character CP932 cannot hold
  CaseDiffers,      // only a file whose name differs in letter case exists
};
inline constexpr std::size_t kMissingReasonCount = 4;

struct TMissingFile {
  std::string file;  // the local path (as shown)
  TMissingReason reason = TMissingReason::NotOnDisk;
  std::string referrer;  // the page or style sheet that names it ("" when not known)
  std::string existing;  // CaseDiffers: the file that exists

  // The line shown for it: the path, then the reason's mark, then the
  // referrer. A file on its own (no referrer) missing from the disk is its
  // path alone.
  std::string Line() const;
};

// The mark that follows a path outside the site root wherever such a path is
// shown with the missing files.
inline constexpr char kOutsideSiteMark[] = " (サイトの外: 送信しません)";
// The mark that follows a reference whose name the system cannot carry.
inline constexpr char kUnrepresentableMark[] = " (CP932で表せない文字を含むため送信しません)";

class TMissingFiles {
 public:
  // Adds the entry unless the same file is listed for the same reason.
  void Add(TMissingFile entry);
  void Add(const std::string& file, TMissingReason reason) { Add(TMissingFile{file, reason, {}, {}}); }
  const std::vector<TMissingFile>& Entries() const { return entries_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  int Count(TMissingReason reason) const { return counts_[static_cast<std::size_t>(reason)]; }
  TStringList Lines() const;

 private:
  std::vector<TMissingFile> entries_;
  std::array<int, kMissingReasonCount> counts_{};
  std::unordered_set<std::string> listed_;  // reason and file
};

// The reason's name for headings and summaries: "ローカルに無い",
// "サイト外", "CP932で表せない", "大文字小文字違い".
const char* MissingReasonName(TMissingReason reason);

// "ローカルに無い 1 件、サイト外 2 件": the two counts always, the others
// when there are any.
std::string MissingCountsLine(const TMissingFiles& missing);

}  // namespace tovra
