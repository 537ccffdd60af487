#include "upload/verify_after_run.h"

#include "ftp/tcp_connection.h"
#include "upload/site_verify.h"
#include "upload/upload_plan.h"
#include "upload/upload_view.h"

namespace tovra {

bool VerifyAfterRun(const TUploadPlan& plan, IUploadView& view, const std::atomic<std::uint8_t>& cancel) {
  if (!plan.extended.VerifyAfterUpload()) return false;
  if (auto problem = WebUrlProblem(plan.webUrl)) {
    view.AppendStatus("公開アドレスの確認: " + *problem);
    return false;
  }
  std::vector<std::string> files;
  for (const TPlannedFile& file : plan.files) {
    if (file.folderBelowHome) files.push_back(file.localPath);
  }
  view.AppendStatus("公開アドレスを確認中: " + plan.webUrl);
  view.SetAbortEnabled(true);
  TVerifySettings settings{plan.webUrl, plan.siteRoot, plan.extended.Connections(), plan.readTimeoutMs, false, &cancel};
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

}  // namespace tovra
