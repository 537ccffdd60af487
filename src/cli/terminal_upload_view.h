// TerminalUploadView: the transfer run's front end in a terminal, shared by
// tovra-cli's upload and publish. The status memo goes to stdout; messages,
// questions and the summary to stderr; on a terminal stderr also carries one
// live progress line, redrawn in place. Ctrl-C is the abort button.
// Threads: the run's calls come one after another from its threads; the
// main thread waits in WaitForEnd.
#pragma once

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>

#include "cli/cli_common.h"
#include "cli/cli_messenger.h"
#include "cli/interrupt.h"
#include "ftp/dmFtp.h"
#include "html/missing_files.h"
#include "platform/encoding.h"
#include "sites/site_profile.h"
#include "upload/run_hooks.h"
#include "upload/upload_view.h"

namespace tovra::cli {

enum class TMissingAnswer { Ask, Skip, Stop };

// The hooks of a run from the terminal: its cancel flag and questions, and
// a remembered setting written into the site's profile, one write at a time.
inline TRunHooks TerminalRunHooks(std::atomic<std::uint8_t>& cancel, ICertificateTrust& trust,
                                  IHostKeyPrompt& hostKeyPrompt) {
  TRunHooks hooks;
  hooks.cancel = &cancel;
  hooks.certificateTrust = &trust;
  hooks.hostKeyPrompt = &hostKeyPrompt;
  hooks.remember = [](const std::string& site, const std::string& key, const std::string& value) {
    static std::mutex mutex;
    std::lock_guard<std::mutex> lock(mutex);
    StoreSiteSetting(site, key, value);
  };
  return hooks;
}

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

}  // namespace tovra::cli
