#include "upload/upload_plan.h"

#include "html/dependencies.h"
#include "platform/files.h"
#include "upload/apply_site_profile.h"
#include "util/char_string.h"

namespace tovra {

namespace {

// The bytes before the last separator (a trail byte never counts).
std::string FolderOf(const std::string& path) {
  std::string name = ExtractFileName(path);
  return path.substr(0, path.size() - name.size() - (name.size() < path.size() ? 1 : 0));
}

}  // namespace

std::int64_t TUploadPlan::TotalBytes() const {
  std::int64_t total = 0;
  for (const auto& file : files) total += file.size;
  return total;
}

namespace {

std::shared_ptr<TUploadPlan> MakePlan(const TStringList& list, const TUploadSite& site, const TUploadOptions& options,
                                      int missingFiles) {
  auto plan = std::make_shared<TUploadPlan>();
  plan->siteRoot = site.root;
  plan->siteName = site.name;
  plan->connection = ConnectionSettingsOf(site.extended);
  plan->readTimeoutMs = site.readTimeoutMs;
  plan->acceptTimeoutMs = site.acceptTimeoutMs;
  plan->host = site.host;
  plan->proxy = site.proxy;
  plan->extended = site.extended;
  plan->options = options;
  plan->missingFiles = missingFiles;
  for (const auto& entry : list) {
    TPlannedFile file;
    file.localPath = entry;
    file.remoteName = RemoteNameOf(entry);
    // The separator after the folder makes a file directly in the root
    // come out as "/", so that it goes to the home folder itself.
    std::string below = RemotePathOf(site.root, FolderOf(entry) + kPathSep, "");
    if (!below.empty()) file.folderBelowHome = below;
    FileTimes times;
    if (GetFileTimes(entry, times)) file.size = times.size;
    plan->files.push_back(std::move(file));
  }
  return plan;
}

}  // namespace

std::shared_ptr<const TUploadPlan> BuildUploadPlan(const TStringList& list, const TUploadSite& site,
                                                   const TUploadOptions& options, int missingFiles) {
  return MakePlan(list, site, options, missingFiles);
}

std::shared_ptr<const TUploadPlan> BuildUploadPlan(const TStringList& list, const TUploadSite& site,
                                                   const TUploadOptions& options, const TMissingFiles& dropped) {
  auto plan = MakePlan(list, site, options, dropped.Count(TMissingReason::NotOnDisk));
  plan->outsideFiles = dropped.Count(TMissingReason::OutsideSite);
  plan->unrepresentableFiles = dropped.Count(TMissingReason::Unrepresentable);
  plan->caseFiles = dropped.Count(TMissingReason::CaseDiffers);
  return plan;
}

std::string RemoteFolderOf(const TPlannedFile& file, const std::string& home) {
  if (!file.folderBelowHome) return {};
  std::string remote = home + *file.folderBelowHome;
  // A home folder of "/" would otherwise give a path starting with "//".
  if (CharCopy(remote, 1, 2) == "//") CharDelete(remote, 1, 1);
  return remote;
}

}  // namespace tovra
