#include "upload/transfer_engine.h"

#include <chrono>
#include <thread>

#include "platform/files.h"

namespace tovra {

namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(20);

bool UsesSftp(const TUploadPlan& plan) { return plan.extended.Protocol() == TTransferProtocol::Sftp; }

std::vector<std::int64_t> SizesOf(const TUploadPlan& plan) {
  std::vector<std::int64_t> sizes;
  for (const auto& file : plan.files) sizes.push_back(file.size);
  return sizes;
}

}  // namespace

TTransferEngine::TTransferEngine(const TUploadPlan& plan, const TRunHooks& hooks, IUploadView& view)
    : plan_(plan),
      hooks_(hooks),
      view_(view),
      meter_(SizesOf(plan),
             [this](const TTransferProgress& p) {
               // Under the meter's lock: events reach the view in the order of their counts.
               std::lock_guard<std::mutex> lock(viewMutex_);
               view_.ShowProgress(p);
             }),
      atomic_([this](const std::string& line) { Line(line); }),
      trust_(hooks.certificateTrust,
             [this](const std::string& key, const std::string& value) { Remember(key, value); }),
      hostKeyPrompt_(hooks.hostKeyPrompt,
                     [this](const std::string& key, const std::string& value) { Remember(key, value); }) {
  int count = plan.OneConnectionPerFile() ? 1 : plan.extended.Connections();
  // More sessions than files would only log in to wait.
  count = std::max(1, std::min<int>(count, static_cast<int>(plan.files.size())));
  sessions_.resize(count);
  for (auto& session : sessions_) MakeSession(session);
  if (UsesSftp(plan)) {
    for (auto& session : sessions_) PrepareSftp(session);
  }
}

TTransferEngine::~TTransferEngine() {
  // Closed before the interrupter goes, which must not outlive a socket
  // registered with it.
  CloseAll();
  for (auto& session : sessions_) session.ftp->IdFTP1.Interrupter = nullptr;
}

bool TTransferEngine::Cancelled() const { return hooks_.cancel->load(std::memory_order_relaxed) == 1; }

void TTransferEngine::Watch() {
  std::unique_lock<std::mutex> lock(watchMutex_);
  while (!runOver_) {
    if (Cancelled()) {
      lock.unlock();
      for (auto& session : sessions_) session.ftp->CancelRequested.store(1, std::memory_order_relaxed);
      Announce();
      interrupter_.Trip();
      queueWake_.notify_all();
      return;
    }
    watchWake_.wait_for(lock, kWatchInterval);
  }
}

void TTransferEngine::Line(const std::string& text) {
  std::lock_guard<std::mutex> lock(viewMutex_);
  view_.AppendStatus(text);
}

void TTransferEngine::Announce() {
  std::lock_guard<std::mutex> lock(viewMutex_);
  if (announced_) return;
  announced_ = true;
  view_.SetAbortEnabled(false);
  view_.AppendStatus("中止しています…");
}

void TTransferEngine::SetAbortEnabled(bool enabled) {
  std::lock_guard<std::mutex> lock(viewMutex_);
  view_.SetAbortEnabled(enabled);
}

void TTransferEngine::CutOff(const TPlannedFile& file) {
  Line(ExtractFileName(file.localPath) + " 転送中断: サーバー上のファイルは途中までです");
}

TRunOutcome TTransferEngine::Run() {
  SetAbortEnabled(true);
  summary_.missing = plan_.missingFiles;
  summary_.outside = plan_.outsideFiles;
  summary_.unrepresentable = plan_.unrepresentableFiles;
  summary_.caseDiffers = plan_.caseFiles;
  std::thread watcher([this] { Watch(); });
  TRunOutcome outcome = TRunOutcome::Failed;
  std::exception_ptr failure;
  try {
    CheckSettings();
    // Over SFTP, one connection per file is a session that closes after each file.
    outcome = plan_.OneConnectionPerFile() && !UsesSftp(plan_) ? RunOnePerFile() : RunSessions();
  } catch (...) {
    failure = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> lock(watchMutex_);
    runOver_ = true;
  }
  watchWake_.notify_all();
  watcher.join();
  CloseAll();
  if (outcome == TRunOutcome::Completed && !failure) meter_.Finish();
  {
    std::lock_guard<std::mutex> lock(viewMutex_);
    view_.ShowSummary(SummaryLine(summary_));
  }
  if (failure) std::rethrow_exception(failure);
  return outcome;
}

void TTransferEngine::CloseAll() {
  for (auto& session : sessions_) {
    session.ftp->IdFTP1.CloseSession();
    if (session.remote) session.remote->Close();
  }
}

TRunOutcome TTransferEngine::Stopped() {
  Announce();  // disables the abort button, if the watcher has not yet
  Line("転送中断");
  return TRunOutcome::Aborted;
}

// The absent-key behaviour, exactly: per file connect, walk, store, close.
TRunOutcome TTransferEngine::RunOnePerFile() {
  Session& session = sessions_[0];
  TFTP& ftp = *session.ftp;
  for (std::size_t index = 0; index < plan_.files.size(); ++index) {
    const TPlannedFile& file = plan_.files[index];
    if (Cancelled()) {
      summary_.notSent += static_cast<int>(plan_.files.size() - index);
      ftp.IdFTP1.CloseSession();
      return Stopped();
    }
    session.current = index;
    try {
      Connect(session);
      Line(ExtractFileName(file.localPath) + " 転送中");
      std::string remote = RemoteFolderOf(file, ftp.HomeDir);
      if (!remote.empty()) {
        ftp.AdjustRemoteDir(remote);
        ftp.ChangeRemoteDir(remote);
        session.storing = true;
        if (plan_.extended.AtomicUpload()) {
          StoreFtpInFolder(session, file);
        } else {
          ftp.PutFile(file.localPath);
        }
        session.storing = false;
        if (!Cancelled()) Sent(index);
      } else {
        ++summary_.outside;
      }
      ftp.Disconnect();
    } catch (const std::exception&) {
      ftp.IdFTP1.CloseSession();
      summary_.notSent += static_cast<int>(plan_.files.size() - index - 1);
      if (Cancelled()) {
        ++summary_.notSent;
        if (session.storing) CutOff(file);
        return Stopped();
      }
      ++summary_.failed;
      throw;
    }
    if (!Cancelled()) meter_.FileDone(index);
  }
  SetAbortEnabled(false);
  Line("転送完了");
  return TRunOutcome::Completed;
}

TRunOutcome TTransferEngine::RunSessions() {
  working_ = static_cast<int>(sessions_.size());
  std::vector<std::thread> threads;
  for (std::size_t i = 1; i < sessions_.size(); ++i) threads.emplace_back([this, i] { Work(sessions_[i]); });
  Work(sessions_[0]);
  for (auto& thread : threads) thread.join();
  TellLoginLimit();
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    std::size_t taken = std::min(next_, plan_.files.size());
    summary_.notSent += static_cast<int>(plan_.files.size() - taken + returned_.size());
  }
  if (Cancelled()) return Stopped();
  SetAbortEnabled(false);
  if (firstError_) std::rethrow_exception(firstError_);
  Line("転送完了");
  return TRunOutcome::Completed;
}

// With the queue empty, a session waits while another tries to log in
// again with a file it may hand back.
bool TTransferEngine::TakeFile(std::size_t& index) {
  std::unique_lock<std::mutex> lock(queueMutex_);
  for (;;) {
    if (!returned_.empty()) {
      index = returned_.back();
      returned_.pop_back();
      return true;
    }
    if (next_ < plan_.files.size() && next_ == plan_.holdFrom && filesDone_ < static_cast<int>(next_)) {
      if (Cancelled() || stop_.load()) return false;
      queueWake_.wait_for(lock, kWatchInterval);
      continue;
    }
    if (next_ < plan_.files.size()) {
      if (next_ == plan_.holdFrom && AnyFailed()) return false;
      index = next_++;
      return true;
    }
    if (retrying_ == 0 || Cancelled() || stop_.load()) return false;
    queueWake_.wait_for(lock, kWatchInterval);
  }
}

bool TTransferEngine::TakeAhead(const Session& session, const std::string& folder, bool otherFolder,
                                std::size_t& index) {
  if (Cancelled() || stop_.load()) return false;
  std::lock_guard<std::mutex> lock(queueMutex_);
  if (next_ >= plan_.files.size()) return false;
  const TPlannedFile& file = plan_.files[next_];
  if (!file.folderBelowHome) return false;
  const std::string its = RemoteFolderOf(file, session.home);
  if (its != folder && !(otherFolder && folders_.Known(its))) return false;
  // Held files go only once everything before them is there.
  if (next_ == plan_.holdFrom && (filesDone_ < static_cast<int>(next_) || AnyFailed())) return false;
  index = next_++;
  return true;
}

void TTransferEngine::Work(Session& session) {
  bool parked = false;  // turned away for good: no longer counted in working_
  while (!Cancelled() && !stop_.load()) {
    std::size_t index = 0;
    if (!TakeFile(index)) break;
    const TPlannedFile& file = plan_.files[index];
    session.current = index;
    session.told = false;
    TFileResult result = TFileResult::Sent;
    if (file.folderBelowHome) {
      result = SendWithRetry(session, index);
    } else {
      Line(ExtractFileName(file.localPath) + " 転送中");
    }
    if (result == TFileResult::TurnedAway) {
      if (WaitToLogInAgain(session)) continue;
      parked = true;
      break;
    }
    EndRetry(session);
    if (result != TFileResult::Counted) Count(plan_.files[index], result);
    if (result == TFileResult::Aborted || result == TFileResult::Stopped) break;
    if (result == TFileResult::Fatal) break;
  }
  EndRetry(session);
  std::lock_guard<std::mutex> lock(queueMutex_);
  if (!parked) --working_;
  if (session.loggedIn) --loggedIn_;
  session.loggedIn = false;
  queueWake_.notify_all();
}

void TTransferEngine::Count(const TPlannedFile& file, TFileResult result) {
  {
    std::lock_guard<std::mutex> lock(resultMutex_);
    switch (result) {
      case TFileResult::Sent:
        if (file.folderBelowHome) {
          Sent(static_cast<std::size_t>(&file - plan_.files.data()));
        } else {
          ++summary_.outside;
        }
        break;
      case TFileResult::Failed:
      case TFileResult::Fatal:
        ++summary_.failed;
        break;
      default:
        ++summary_.notSent;
        return;
    }
  }
  meter_.FileDone(static_cast<std::size_t>(&file - plan_.files.data()));
  std::lock_guard<std::mutex> lock(queueMutex_);
  ++filesDone_;
  queueWake_.notify_all();
}

// Under resultMutex_, or on the only session.
void TTransferEngine::Sent(std::size_t index) {
  ++summary_.sent;
  if (OnFileSent) OnFileSent(index);
}

bool TTransferEngine::AnyFailed() {
  std::lock_guard<std::mutex> lock(resultMutex_);
  return firstError_ != nullptr;
}

void TTransferEngine::Fail(std::exception_ptr error) {
  std::lock_guard<std::mutex> lock(resultMutex_);
  if (!firstError_) firstError_ = std::move(error);
}

}  // namespace tovra
