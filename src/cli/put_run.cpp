#include "cli/put_run.h"

#include <atomic>
#include <cstdio>

#include "cli/interrupt.h"
#include "cli/sftp_commands.h"
#include "platform/files.h"
#include "upload/transfer_engine.h"

namespace tovra::cli {

namespace {

// The run's status lines on stdout, as put prints them; its questions are
// the hooks' and never reach the view.
class TPutView : public IUploadView {
 public:
  explicit TPutView(std::atomic<std::uint8_t>& cancel) : cancel_(cancel) {}

  void AppendStatus(const std::string& line) override {
    PrintLine(line);
    std::fflush(stdout);
  }
  void SetUploadEnabled(bool) override {}
  // Ctrl-C is the abort button: a press made before the run enabled it
  // (while the password was read) counts from here on.
  void SetAbortEnabled(bool enabled) override {
    if (enabled && TInterruptCancels::Interrupted()) cancel_.store(1, std::memory_order_relaxed);
  }
  bool ConfirmMissingFiles(const TMissingFiles&) override { return true; }
  void RunEnded(TRunOutcome, const std::string&) override {}
  void ShowMessage(TMessageKind, const std::string& text) override { PrintError(text); }
  bool ConfirmOkCancel(const std::string&) override { return false; }
  bool ConfirmOkAbort(const std::string&) override { return true; }

 private:
  std::atomic<std::uint8_t>& cancel_;
};

// The folder below the login folder, with "/" around it, that DIR names.
std::string FolderBelowLogin(const TPutTarget& target) {
  const std::string& dir = target.dir;
  if (dir.empty() || dir == ".") return "/";
  std::string below;
  if (dir[0] == '/') {
    const std::string home = target.loginFolder();
    const std::string folder = ResolveRemoteFolder(home, dir);
    // A login cut short by Ctrl-C names no folder; the run then stops before its first file.
    if (home.empty() || home == "/") {
      below = folder;
    } else {
      below = folder.substr(home.back() == '/' ? home.size() - 1 : home.size());
    }
  } else {
    below = "/" + dir;
  }
  while (below.size() > 1 && below.back() == '/') below.pop_back();
  return below == "/" ? below : below + "/";
}

}  // namespace

void CheckPutArguments(const std::string& dir, const Args& files) {
  if (files.empty()) throw UsageError{"no FILE to upload"};
  if (dir != ".") CheckRemoteDir(dir);
}

int SendPutFiles(TPutTarget target, const Args& files, TRunHooks hooks) {
  TUploadPlan& plan = target.plan;
  const std::string below = FolderBelowLogin(target);
  for (const auto& file : files) {
    TPlannedFile planned;
    planned.localPath = file;
    planned.remoteName = RemoteNameOf(file);
    planned.folderBelowHome = below;
    FileTimes times;
    if (GetFileTimes(file, times)) planned.size = times.size;
    plan.files.push_back(std::move(planned));
  }
  std::atomic<std::uint8_t> cancel{0};
  hooks.cancel = &cancel;
  TPutView view(cancel);
  TInterruptCancels interrupts(cancel);
  TTransferEngine engine(plan, hooks, view);
  if (engine.Run() == TRunOutcome::Aborted || TInterruptCancels::Interrupted()) {
    PrintError("転送を中止しました");
    return kExitInterrupted;
  }
  return kExitOk;
}

}  // namespace tovra::cli
