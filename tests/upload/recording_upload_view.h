// A recording upload view for the upload tests: every call in order, the
// missing-files answer given in advance, and a wait for the end of the run.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "upload/upload_view.h"

namespace tovra::test {

class RecordingUploadView : public IUploadView {
 public:
  // Status lines appear as they are; other calls as "[upload on]" and so on.
  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
  }
  std::vector<std::string> StatusLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  bool continueMissing = true;
  std::vector<TMissingFile> missingEntries;  // of the last dialog
  std::vector<std::string> missingShown;
  // Called after each status line (on the thread that wrote it).
  std::function<void(const std::string&)> onStatus;
  // Called on the run's thread after each progress event is recorded.
  std::function<void(const TTransferProgress&)> onProgress;

  void AppendStatus(const std::string& line) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      events_.push_back(line);
      lines_.push_back(line);
    }
    if (onStatus) onStatus(line);
  }
  void SetUploadEnabled(bool enabled) override { Record(enabled ? "[upload on]" : "[upload off]"); }
  void SetAbortEnabled(bool enabled) override { Record(enabled ? "[abort on]" : "[abort off]"); }
  bool ConfirmMissingFiles(const TMissingFiles& missing) override {
    missingShown = missing.Lines().Items();
    missingEntries = missing.Entries();
    Record("[missing dialog]");
    return continueMissing;
  }
  void RunEnded(TRunOutcome outcome, const std::string& error) override {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back("[ended]");
    outcome_ = outcome;
    error_ = error;
    ended_ = true;
    done_.notify_all();
  }
  void ShowProgress(const TTransferProgress& progress) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      progress_.push_back(progress);
    }
    if (onProgress) onProgress(progress);
  }
  void ShowSummary(const std::string& line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    summary_ = line;
  }
  std::vector<TTransferProgress> Progress() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return progress_;
  }
  std::string Summary() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return summary_;
  }
  void ShowMessage(TMessageKind, const std::string& text) override { Record("[message] " + text); }
  bool ConfirmOkCancel(const std::string& text) override {
    Record("[ok/cancel] " + text);
    return answer;
  }
  bool ConfirmOkAbort(const std::string& text) override {
    Record("[ok/abort] " + text);
    return answer;
  }
  bool answer = true;

  // False when the run did not end within the time.
  bool WaitForEnd(int seconds = 60) {
    std::unique_lock<std::mutex> lock(mutex_);
    return done_.wait_for(lock, std::chrono::seconds(seconds), [this] { return ended_; });
  }
  TRunOutcome Outcome() const { return outcome_; }
  std::string Error() const { return error_; }

 private:
  void Record(const std::string& event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(event);
  }

  mutable std::mutex mutex_;
  std::condition_variable done_;
  std::vector<std::string> events_;
  std::vector<std::string> lines_;
  bool ended_ = false;
  TRunOutcome outcome_ = TRunOutcome::Failed;
  std::string error_;
  std::vector<TTransferProgress> progress_;
  std::string summary_;
};

}  // namespace tovra::test
