#include "upload/verify_after_run.h"

#include <exception>

#include "ftp/tcp_connection.h"
#include "upload/publish_plan.h"
#include "upload/site_verify.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"

namespace tovra {

namespace {

bool Verify(const TUploadSite& site, const std::vector<std::string>& files, IUploadView& view,
            const std::atomic<std::uint8_t>& cancel) {
  if (auto problem = WebUrlProblem(site.webUrl)) {
    view.AppendStatus("公開アドレスの確認: " + *problem);
    return false;
  }
  view.AppendStatus("公開アドレスを確認中: " + site.webUrl);
  view.SetAbortEnabled(true);
  TVerifySettings settings{site.webUrl, site.root, site.extended.Connections(), site.readTimeoutMs, false, &cancel};
  const TVerifySummary summary = VerifySite(settings, files, [&view](const TVerifyResult& result) {
    if (result.kind != TVerifyKind::Same) view.AppendStatus(VerifyResultLine(result));
  });
  view.SetAbortEnabled(false);
  const std::string line = VerifySummaryLine(summary);
  view.AppendStatus(line);
  view.ShowSummary(line);
  if (!summary.AnyDifference()) return false;
  // A check the user stopped has told them nothing new.
  if (cancel.load(std::memory_order_relaxed) != 0) return true;
  view.ShowRunWarning("公開アドレスで正しく公開されていないファイルがあります (" +
                      std::to_string(summary.Total() - summary.Count(TVerifyKind::Same)) + " 件)。\n" +
                      "状態欄で確認してください。");
  return true;
}

}  // namespace

bool VerifyAfterRun(const TUploadSite& site, const std::vector<std::string>& files, IUploadView& view,
                    const std::atomic<std::uint8_t>& cancel) {
  if (!site.extended.VerifyAfterUpload() || files.empty()) return false;
  try {
    return Verify(site, files, view, cancel);
  } catch (const std::exception& e) {
    // The files are on the server; a check that cannot run says so and no more.
    view.SetAbortEnabled(false);
    view.AppendStatus("公開アドレスの確認: " + std::string(e.what()));
    return false;
  }
}

bool VerifyAfterRun(const TUploadPlan& plan, IUploadView& view, const std::atomic<std::uint8_t>& cancel) {
  TUploadSite site;
  site.root = plan.siteRoot;
  site.extended = plan.extended;
  site.name = plan.siteName;
  site.readTimeoutMs = plan.readTimeoutMs;
  site.webUrl = plan.webUrl;
  std::vector<std::string> files;
  for (const TPlannedFile& file : plan.files) {
    if (file.folderBelowHome) files.push_back(file.localPath);
  }
  return VerifyAfterRun(site, files, view, cancel);
}

std::vector<std::string> FilesSent(const TPublishPlan& plan) {
  std::vector<std::string> files;
  files.reserve(plan.uploads.size());
  for (const TPublishUpload& upload : plan.uploads) files.push_back(LocalPathOf(plan, upload.file.path));
  return files;
}

}  // namespace tovra
