// tovra-cli upload: the window's upload from the command line. Loads a site's
// profile from the application folder, prepares the upload list and runs the
// transfer on the timer thread, printing the status memo's lines. Ctrl-C is
// the abort button. With --changed the selection is the site's files that the
// update check finds new or changed.
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>

#include "cli/cli_certificate_trust.h"
#include "cli/cli_common.h"
#include "cli/cli_host_key_prompt.h"
#include "cli/cli_messenger.h"
#include "cli/interrupt.h"
#include "cli/update_commands.h"
#include "ftp/dmFtp.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"
#include "upload/apply_site_profile.h"
#include "upload/upload_job.h"

namespace tovra::cli {

namespace {

constexpr int kExitMissingStopped = 3;

enum class TMissingAnswer { Ask, Skip, Stop };

// The status memo on stdout; messages and questions on stderr. The run's
// calls come one after another, so their order holds. On a terminal stderr
// also carries one live progress line, redrawn in place; the run's summary
// line goes to stderr in every case.
class TerminalUploadView : public IUploadView {
 public:
  TerminalUploadView(TMissingAnswer missing, TCliMessenger& messenger, TCancelFlag& cancel)
      : missing_(missing), messenger_(messenger), cancel_(cancel), live_(::isatty(STDERR_FILENO) != 0) {}

  void AppendStatus(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLive();
    PrintLine(line);
    std::fflush(stdout);
    DrawLive();
  }
  void ShowProgress(const TTransferProgress& progress) override {
    if (!live_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    progress_ = ToTerminal(ProgressText(progress));
    DrawLive();
  }
  void ShowSummary(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLive();
    progress_.clear();
    PrintError(line);
  }
  void SetUploadEnabled(bool) override {}
  // The run clears the cancel flag as it starts and then enables its abort
  // button; Ctrl-C is that button, so a press made earlier (while the list
  // was prepared or the run was waiting to start) counts from here on.
  void SetAbortEnabled(bool enabled) override {
    if (enabled && TInterruptCancels::Interrupted()) cancel_.store(1, std::memory_order_relaxed);
  }
  bool ConfirmMissingFiles(const TMissingFiles& missing) override {
    bool go = missing_ == TMissingAnswer::Skip;
    if (missing_ == TMissingAnswer::Ask) {
      PrintError("以下の依存ファイルがローカルディスクに存在しません。");
      for (const auto& line : missing.Lines()) PrintError(line);
      PrintError(MissingCountsLine(missing));
      go = messenger_.Ask("ファイルをスキップして続行しますか?");
    }
    refusedMissing_ = !go;
    return go;
  }
  void RunEnded(TRunOutcome outcome, const std::string& error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (outcome == TRunOutcome::Failed) PrintError(error);
    outcome_ = outcome;
    ended_ = true;
    done_.notify_all();
  }
  void ShowMessage(TMessageKind, const std::string& text) override { PrintError(text); }
  void ShowRunWarning(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearLive();
    PrintError(text);
  }
  bool ConfirmOkCancel(const std::string& text) override { return messenger_.Ask(text); }
  bool ConfirmOkAbort(const std::string&) override { return true; }  // --only answers OK

  TRunOutcome WaitForEnd() {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [this] { return ended_; });
    return outcome_;
  }
  bool RefusedMissing() const { return refusedMissing_; }

 private:
  // The live line sits at the bottom of the terminal; a status line first
  // wipes it, then it is drawn again below.
  void ClearLive() {
    if (live_ && !progress_.empty()) std::fputs("\r\x1b[K", stderr);
  }
  void DrawLive() {
    if (!live_ || progress_.empty()) return;
    std::fputs(("\r\x1b[K" + progress_).c_str(), stderr);
    std::fflush(stderr);
  }

  TMissingAnswer missing_;
  TCliMessenger& messenger_;
  TCancelFlag& cancel_;
  bool live_;
  std::string progress_;
  bool refusedMissing_ = false;
  std::mutex mutex_;
  std::condition_variable done_;
  bool ended_ = false;
  TRunOutcome outcome_ = TRunOutcome::Failed;
};

TMissingAnswer ParseMissing(const std::string& text) {
  if (text.empty() || text == "ask") return TMissingAnswer::Ask;
  if (text == "skip") return TMissingAnswer::Skip;
  if (text == "stop") return TMissingAnswer::Stop;
  throw UsageError{"--missing takes ask, skip or stop"};
}

int RunUpload(Args args) {
  std::string site = TakeOption(args, "--site");
  TMissingAnswer missing = ParseMissing(TakeOption(args, "--missing"));
  // --yes and --no answer the questions that "--missing ask" and the
  // preparation would otherwise read from standard input.
  TCliMessenger messenger(TakeAnswerFlags(args));
  TUploadOptions options;
  options.cxOnly = TakeFlag(args, "--only");
  options.rewrite.popup = TakeFlag(args, "--popup");
  options.rewrite.bottomBanner = TakeFlag(args, "--bottom-banner");
  options.rewrite.topBanner = TakeFlag(args, "--top-banner");
  options.rewrite.flash = TakeFlag(args, "--flash");
  const bool changed = TakeFlag(args, "--changed");
  if (site.empty()) throw UsageError{"--site NAME is required"};
  for (const auto& arg : args)
    if (arg.rfind("--", 0) == 0) throw UsageError{"unknown option " + arg};
  if (changed && !args.empty()) throw UsageError{"--changed takes no FILE"};

  TConfigFile config;
  TSiteProfile profile(config);
  LoadNamedSite(profile, site);
  options.rewrite.pageEncoding = profile.Extended.PageEncoding();
  std::atomic<std::uint8_t> cancel{0};
  TCliCertificateTrust trust("tovra-cli site set \"" + site + "\" CertificateSha256=%s");
  TCliHostKeyPrompt hostKeyPrompt("tovra-cli site set \"" + site + "\" HostKeySha256=%s");
  // The connection's own notices (such as an unencrypted fallback) reach
  // the terminal as the run's status lines.
  TRunHooks hooks;
  hooks.cancel = &cancel;
  hooks.certificateTrust = &trust;
  hooks.hostKeyPrompt = &hostKeyPrompt;
  std::mutex rememberMutex;
  hooks.remember = [&rememberMutex](const std::string& name, const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> lock(rememberMutex);
    StoreSiteSetting(name, key, value);
  };
  TStringList selection;
  for (const auto& file : args) selection.Add(AbsoluteFromHere(file));
  std::unique_ptr<TCliUpdateCheck> updates;
  if (changed) {
    updates = std::make_unique<TCliUpdateCheck>();
    updates->Run();
    selection = updates->Check().TakePendingUnder(profile.LocalRootDir);
    if (selection.Empty()) {
      updates->ReportNothingFound(true);
      return kExitOk;
    }
  }

  TerminalUploadView view(missing, messenger, cancel);
  TUploadJob job(hooks, view, [] {});
  // The window's half-second pause before the run lets it show the final
  // list; on a terminal the run may begin at once.
  job.Timer().SetInterval(TMMTimer::kMinPeriod);
  TInterruptCancels interrupt(cancel);
  bool started = job.Start(selection, options, UploadSiteOf(profile));
  int status = kExitOk;
  if (!started) {
    status = TInterruptCancels::Interrupted() ? kExitInterrupted
             : view.RefusedMissing()          ? kExitMissingStopped
                                              : kExitOk;
  } else {
    TRunOutcome outcome = view.WaitForEnd();
    status = outcome == TRunOutcome::Completed ? kExitOk
             : outcome == TRunOutcome::Aborted ? kExitInterrupted
                                               : kExitFailure;
    if (TInterruptCancels::Interrupted()) status = kExitInterrupted;
    // A second --changed run should find nothing new; a run that did not
    // complete leaves the list alone, so its files are offered again.
    if (updates && status == kExitOk) updates->SaveAfterUpload();
  }
  return status;
}

}  // namespace

void RegisterUploadCommands() {
  Commands().push_back(
      {"upload",
       "  upload --site NAME [--missing ask|skip|stop] [--yes|--no] [--only] [--popup] [--bottom-banner]\n"
       "         [--top-banner] [--flash] (FILE... | --changed)\n"
       "      uploads the files and their dependencies to the site's server; --changed takes\n"
       "      the site's files that check-updates finds new or changed, and after a completed\n"
       "      run records them in the managed file list (other sites' changes stay pending)",
       [](const Args& args) { return RunUpload(args); }});
}

}  // namespace tovra::cli
