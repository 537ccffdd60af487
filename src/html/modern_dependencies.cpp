#include "html/modern_dependencies.h"

#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/path_pieces.h"
#include "util/char_string.h"
#include "util/errors.h"

namespace tovra {
namespace {

std::string UrlToLocal(std::string_view root, std::string_view urlPath) {
  return std::string(root) + ReplaceAll(urlPath, "/", kPathSepStr);
}

}  // namespace

TModernDependencies::TModernDependencies(std::string_view siteRoot, TPageEncoding encoding, std::string_view webUrl)
    : root_(SiteRootPrefix(siteRoot)),
      realRoot_(RealPath(root_.empty() ? kPathSepStr : std::string_view(root_))),
      encoding_(encoding),
      webUrl_(webUrl),
      collector_([this](const std::string& path) { return FetchStyleSheet(path); }) {}

std::string TModernDependencies::Key(const std::string& path) const {
  return kFileNamesCaseSensitive ? path : CharLowerCase(path);
}

bool TModernDependencies::StaysInSite(const std::string& local) {
  const std::string real = RealPath(local);
  return !real.empty() && !realRoot_.empty() && IsUnderRoot(realRoot_, real);
}

// The file on the disk whose path differs from `local` in letter case
// alone, found folder by folder from the site root; "" when there is none.
std::string TModernDependencies::CaseVariant(const std::string& local) {
  std::string found = root_;
  const std::vector<std::string_view> pieces = SplitPieces(TextOf(local).substr(root_.size()));
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    auto it = folders_.find(found);
    if (it == folders_.end()) {
      std::vector<std::string> names;
      for (const auto& entry : ListFolderNames(found.empty() ? kPathSepStr : std::string_view(found))) {
        names.push_back(entry.name);
      }
      it = folders_.emplace(found, std::move(names)).first;
    }
    const std::string* match = nullptr;
    for (const auto& name : it->second) {
      if (SameTextNoCase(name, piece)) match = &name;
    }
    if (match == nullptr) return {};
    found += kPathSep;
    found += *match;
  }
  return FileExists(found) ? found : std::string();
}

bool TModernDependencies::LocalName(const std::string& urlPath, std::string& local, TMissingFile& why) const {
  std::string cp932;
  if (TryUtf8ToCp932(ComposeVoicedMarks(urlPath), cp932)) {
    local = UrlToLocal(root_, cp932);
    return true;
  }
  why.file = UrlToLocal(root_, Utf8ForDisplay(urlPath));
  why.reason = TMissingReason::Unrepresentable;
  return false;
}

TModernDependencies::TOnDisk TModernDependencies::Check(const std::string& local, TMissingFile& why) {
  why.file = local;
  if (DirectoryExists(local)) return TOnDisk::Folder;
  if (!FileExists(local)) {
    why.existing = kFileNamesCaseSensitive ? CaseVariant(local) : std::string();
    why.reason = why.existing.empty() ? TMissingReason::NotOnDisk : TMissingReason::CaseDiffers;
    return TOnDisk::Unsendable;
  }
  why.reason = TMissingReason::OutsideSite;
  return StaysInSite(local) ? TOnDisk::File : TOnDisk::Unsendable;
}

std::optional<std::string> TModernDependencies::FetchStyleSheet(const std::string& urlPath) {
  std::string local;
  TMissingFile why;
  if (!LocalName(urlPath, local, why) || Check(local, why) != TOnDisk::File) return std::nullopt;
  try {
    return ReadFileBytes(local);
  } catch (const EFileError&) {
    return std::nullopt;  // an unreadable style sheet is sent as it is, unread
  }
}

void TModernDependencies::Collect(TStringList& uploadList, std::string_view pageFile, TMissingFiles& missing) {
  std::string below;
  if (!PathBelowRoot(root_.empty() ? kPathSepStr : std::string_view(root_), TextOf(pageFile), below)) return;
  const std::string bytes = ReadFileBytes(pageFile);
  std::string pageUrl;
  if (!TryCp932ToUtf8(ReplaceAll(below, kPathSepStr, "/"), pageUrl)) return;
  const std::vector<TPageReference> references = collector_.Collect(TPageSource{bytes, pageUrl, encoding_, webUrl_});

  for (; indexed_ < uploadList.Count(); ++indexed_) known_.insert(Key(uploadList[indexed_]));
  for (const TPageReference& reference : references) {
    std::string referrer;
    TryUtf8ToCp932(reference.referrer, referrer);
    referrer = UrlToLocal(root_, referrer);
    TMissingFile why;
    why.referrer = referrer;
    std::string local;
    if (reference.outside) {
      // Where it would lie on the disk: from the site root for "/../x".
      const std::string shown = Utf8ForDisplay(reference.path);
      why.file = FoldDotPieces(shown.starts_with('/') ? root_ + shown : JoinPath(ExtractFileDir(referrer), shown));
      if (why.file.empty()) why.file = Utf8ForDisplay(reference.path);
      why.reason = TMissingReason::OutsideSite;
      missing.Add(why);
      continue;
    }
    if (!LocalName(reference.path, local, why)) {
      missing.Add(why);
      continue;
    }
    if (known_.count(Key(local)) != 0) continue;
    const TOnDisk onDisk = Check(local, why);
    if (onDisk == TOnDisk::Unsendable) missing.Add(why);
    if (onDisk != TOnDisk::File) continue;
    known_.insert(Key(local));
    uploadList.Add(local);
    ++indexed_;
  }
}

}  // namespace tovra
