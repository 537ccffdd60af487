#include "upload/publish_plan.h"

#include <algorithm>

#include "platform/encoding.h"
#include "platform/file_digest.h"
#include "platform/files.h"
#include "util/char_string.h"
#include "util/string_list.h"

namespace tovra {

namespace {

struct TLocalFile {
  std::string path;
  FileTimes times;
};

class TSiteWalk {
 public:
  TSiteWalk(const std::string& root, const TPublishExclusions& exclusions) : root_(root), exclusions_(exclusions) {}

  std::vector<TLocalFile> Files() {
    Walk("");
    return std::move(files_);
  }

 private:
  void Walk(const std::string& below) {
    const std::string folder = below.empty() ? root_ : JoinPath(root_, ReplaceSeparators(below));
    // One listing gives every entry's size and time: no lookup per file.
    // Names CP932 cannot hold come marked, so none is passed over unseen.
    for (auto& entry : ListFolder(folder, TUnheldNames::Marked)) {
      std::string path = below.empty() ? entry.name : below + "/" + entry.name;
      if (entry.isDirectory) {
        // A linked folder could lead back up the tree: only real folders are walked.
        if (!entry.isLink && !exclusions_.ExcludesFolder(path)) Walk(path);
        continue;
      }
      if (!exclusions_.ExcludesFile(path)) files_.push_back({std::move(path), entry.times});
    }
  }
  static std::string ReplaceSeparators(const std::string& below) {
    return kPathSep == '/' ? below : ReplaceAll(below, "/", kPathSepStr);
  }

  const std::string& root_;
  const TPublishExclusions& exclusions_;
  std::vector<TLocalFile> files_;
};

std::string NameOf(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string TrimmedRoot(std::string root) {
  while (root.size() > 1 && root.back() == kPathSep) root.pop_back();
  return root;
}

// A file the record holds: unchanged by its stamp, else by its content.
void Compare(TPublishPlan& plan, TPublishedFile now, const TPublishedFile& was, bool rehash) {
  const bool sameStamp = was.size == now.size && was.mtime == now.mtime;
  if (sameStamp && !rehash) {
    ++plan.unchanged;
    return;
  }
  now.sha256 = FileSha256(LocalPathOf(plan, now.path));
  if (now.sha256 != was.sha256) {
    plan.uploads.push_back({std::move(now), TPublishChange::Changed});
    return;
  }
  ++plan.unchanged;
  if (!sameStamp || now.remoteName != was.remoteName) plan.touched.push_back(std::move(now));
}

}  // namespace

int TPublishPlan::Count(TPublishChange change) const {
  return static_cast<int>(
      std::count_if(uploads.begin(), uploads.end(), [change](const auto& u) { return u.change == change; }));
}

bool NeedsUtf8Names(const std::string& path) { return HasNameMarks(path); }

bool IsPublishedPage(const std::string& path) {
  const std::string name = NameOf(path);
  std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  std::string_view extension(name.data() + dot, name.size() - dot);
  return SameTextNoCase(extension, ".htm") || SameTextNoCase(extension, ".html");
}

std::string LocalPathOf(const TPublishPlan& plan, const std::string& path) {
  return JoinPath(plan.root, kPathSep == '/' ? path : ReplaceAll(path, "/", kPathSepStr));
}

TPublishPlan BuildPublishPlan(const std::string& root, const TPublishRecord& record,
                              const TPublishExclusions& exclusions, bool rehash) {
  TPublishPlan plan;
  plan.root = TrimmedRoot(root);
  std::vector<TLocalFile> local = TSiteWalk(plan.root, exclusions).Files();
  std::sort(local.begin(), local.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
  // Both are in path order: one pass pairs each local file with its record.
  const auto& recorded = record.Files();
  auto was = recorded.begin();
  for (const auto& file : local) {
    for (; was != recorded.end() && was->first < file.path; ++was) plan.deletions.push_back(was->second);
    TPublishedFile now{file.path, file.times.size, static_cast<std::int64_t>(file.times.lastWrite), "",
                       NameOf(file.path)};
    if (was == recorded.end() || was->first != file.path) {
      plan.uploads.push_back({now, TPublishChange::New});
    } else {
      Compare(plan, std::move(now), (was++)->second, rehash);
    }
  }
  for (; was != recorded.end(); ++was) plan.deletions.push_back(was->second);
  std::stable_partition(plan.uploads.begin(), plan.uploads.end(),
                        [](const auto& u) { return !IsPublishedPage(u.file.path); });
  return plan;
}

}  // namespace tovra
