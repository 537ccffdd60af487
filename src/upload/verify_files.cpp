#include "upload/verify_files.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/line_file.h"
#include "platform/path_pieces.h"
#include "upload/publish_plan.h"
#include "upload/publish_record.h"
#include "upload/upload_job.h"
#include "util/string_list.h"

namespace tovra {

std::vector<std::string> LastUploadFiles(std::string_view siteRoot) {
  TStringList log;
  std::vector<std::string> files;
  if (!LoadLinesIfExists(UploadLogPath(), log)) return files;
  for (const std::string& entry : log) {
    if (!entry.empty() && IsUnderRoot(siteRoot, entry)) files.push_back(entry);
  }
  return files;
}

std::vector<std::string> WholeSiteFiles(std::string_view siteRoot) {
  // What a first publish would send: the one walk that decides what the whole site is.
  const TPublishPlan plan = BuildPublishPlan(std::string(siteRoot), TPublishRecord(""), TPublishExclusions(), false);
  std::vector<std::string> files;
  files.reserve(plan.uploads.size());
  for (const auto& upload : plan.uploads) files.push_back(LocalPathOf(plan, upload.file.path));
  return files;
}

std::vector<std::string> PublishedSiteFiles(const std::string& siteName, std::string_view siteRoot) {
  const std::vector<TPublishedFile> published = LoadPublishedFiles(siteName);
  if (published.empty()) return WholeSiteFiles(siteRoot);
  std::vector<std::string> files;
  files.reserve(published.size());
  for (const auto& file : published) {
    std::string local(siteRoot);
    // The record's paths are "/"-separated, the local folders by the platform's separator.
    for (char c : "/" + file.path) local += c == '/' ? kPathSep : c;
    files.push_back(std::move(local));
  }
  return files;
}

}  // namespace tovra
