#include "upload/transfer_engine.h"

#include <chrono>
#include <set>
#include <thread>

#include "platform/files.h"
#include "upload/sftp_remote_session.h"

namespace tovra {

namespace {

constexpr auto kWatchInterval = std::chrono::milliseconds(20);

bool UsesSftp(const TUploadPlan& plan) { return plan.extended.Protocol() == TTransferProtocol::Sftp; }

// A key the run refused stays refused: trying again would only ask again.
bool IsHostKeyRefusal(const std::exception& e) {
  return dynamic_cast<const EHostKeyUnknown*>(&e) != nullptr || dynamic_cast<const EHostKeyChanged*>(&e) != nullptr;
}

TStoreSteps FtpSteps(TIdFTP& client) {
  TStoreSteps steps;
  steps.store = [&client](const std::string& local, const std::string& name) { client.StoreFile(local, name); };
  steps.rename = [&client](const std::string& from, const std::string& to) { return client.RenameRemote(from, to); };
  steps.remove = [&client](const std::string& name) { return client.DeleteRemoteFile(name); };
  return steps;
}

std::vector<std::int64_t> SizesOf(const TUploadPlan& plan) {
  std::vector<std::int64_t> sizes;
  for (const auto& file : plan.files) sizes.push_back(file.size);
  return sizes;
}

}  // namespace

TTransferEngine::TTransferEngine(const TUploadPlan& plan, TFTP& primary, IUploadView& view)
    : plan_(plan),
      primary_(primary),
      view_(view),
      meter_(SizesOf(plan),
             [this](const TTransferProgress& p) {
               // Under the meter's lock: events reach the view in the order of their counts.
               std::lock_guard<std::mutex> lock(viewMutex_);
               view_.ShowProgress(p);
             }),
      atomic_([this](const std::string& line) { Line(line); }),
      frontTrust_(primary.CertificateTrust),
      trust_(primary.CertificateTrust) {
  primary_.CertificateTrust = &trust_;
  int count = plan.OneConnectionPerFile() ? 1 : plan.extended.Connections();
  // More sessions than files would only log in to wait.
  count = std::max(1, std::min<int>(count, static_cast<int>(plan.files.size())));
  sessions_.resize(count);
  Prepare(sessions_[0], primary_);
  for (int i = 1; i < count; ++i) {
    extra_.push_back(std::make_unique<TFTP>());
    TIdFTP& from = primary_.IdFTP1;
    TIdFTP& to = extra_.back()->IdFTP1;
    to.ReadTimeout = from.ReadTimeout;
    to.AcceptTimeout = from.AcceptTimeout;
    to.AcceptPollInterval = from.AcceptPollInterval;
    to.TransferType = from.TransferType;
    to.Today = from.Today;
    to.OnTrace = from.OnTrace;  // called from that session's thread
    to.Passive = from.Passive;
    to.Encryption = from.Encryption;
    to.PinnedSha256 = from.PinnedSha256;
    to.NameEncoding = from.NameEncoding;
    extra_.back()->CertificateTrust = &trust_;
    Prepare(sessions_[i], *extra_.back());
  }
  if (UsesSftp(plan)) {
    for (auto& session : sessions_) PrepareSftp(session);
  }
}

// SFTP sessions watch the run's cancel flag themselves and cut their
// connection within a few tens of milliseconds.
void TTransferEngine::PrepareSftp(Session& session) {
  const THostInfo& host = plan_.host;
  auto remote = std::make_unique<TSftpRemoteSession>(
      SftpSettingsOf(host.HostName, host.Port, host.UserName, host.Password, plan_.extended), hostKey_,
      primary_.HostKeyPrompt, &primary_.CancelRequested);
  Session* s = &session;
  remote->OnBytes = [this, s](std::int64_t count) {
    if (s->storing) meter_.FileBytes(s->current, count);
  };
  session.remote = std::move(remote);
}

TTransferEngine::~TTransferEngine() {
  for (auto& session : sessions_) Release(session);
  primary_.CertificateTrust = frontTrust_;
}

void TTransferEngine::Prepare(Session& session, TFTP& ftp) {
  session.ftp = &ftp;
  ftp.IdFTP1.Interrupter = &interrupter_;
  ftp.IdFTP1.PipelineStore = !plan_.OneConnectionPerFile();
  Session* s = &session;
  ftp.IdFTP1.OnWork = [this, s](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    s->ftp->IdFTP1Work(sender, mode, count);
    if (mode == TWorkMode::wmWrite && s->storing) meter_.FileBytes(s->current, count);
  };
}

void TTransferEngine::Release(Session& session) {
  TFTP& ftp = *session.ftp;
  // Closed before the interrupter goes, which must not outlive a socket
  // registered with it.
  ftp.IdFTP1.CloseSession();
  if (session.remote) session.remote->Close();
  ftp.IdFTP1.Interrupter = nullptr;
  ftp.IdFTP1.PipelineStore = false;
  ftp.IdFTP1.OnWork = [&ftp](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    ftp.IdFTP1Work(sender, mode, count);
  };
}

bool TTransferEngine::Cancelled() const { return primary_.CancelRequested.load(std::memory_order_relaxed) == 1; }

void TTransferEngine::Watch() {
  std::unique_lock<std::mutex> lock(watchMutex_);
  while (!runOver_) {
    if (Cancelled()) {
      lock.unlock();
      for (auto& ftp : extra_) ftp->CancelRequested.store(1, std::memory_order_relaxed);
      Announce();
      interrupter_.Trip();
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
  std::thread watcher([this] { Watch(); });
  TRunOutcome outcome = TRunOutcome::Failed;
  std::exception_ptr failure;
  try {
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
  TFTP& ftp = primary_;
  Session& session = sessions_[0];
  for (std::size_t index = 0; index < plan_.files.size(); ++index) {
    const TPlannedFile& file = plan_.files[index];
    if (Cancelled()) {
      summary_.notSent += static_cast<int>(plan_.files.size() - index);
      ftp.IdFTP1.CloseSession();
      return Stopped();
    }
    session.current = index;
    try {
      ftp.ConnectTo(plan_.host, plan_.proxy);
      Line(ExtractFileName(file.localPath) + " 転送中");
      std::string remote = RemoteFolderOf(file, ftp.HomeDir);
      if (!remote.empty()) {
        ftp.AdjustRemoteDir(remote);
        ftp.ChangeRemoteDir(remote);
        session.storing = true;
        if (plan_.extended.AtomicUpload()) {
          StoreInFolder(session, file, FtpSteps(ftp.IdFTP1));
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
  std::vector<std::thread> threads;
  for (std::size_t i = 1; i < sessions_.size(); ++i) threads.emplace_back([this, i] { Work(sessions_[i]); });
  Work(sessions_[0]);
  for (auto& thread : threads) thread.join();
  std::size_t taken = std::min(next_.load(), plan_.files.size());
  summary_.notSent += static_cast<int>(plan_.files.size() - taken);
  if (Cancelled()) return Stopped();
  SetAbortEnabled(false);
  if (!firstError_.empty()) throw ETovraError(firstError_);
  Line("転送完了");
  return TRunOutcome::Completed;
}

void TTransferEngine::Work(Session& session) {
  for (;;) {
    if (Cancelled() || stop_.load()) break;
    std::size_t index = next_.fetch_add(1);
    if (index >= plan_.files.size()) break;
    const TPlannedFile& file = plan_.files[index];
    session.current = index;
    Line(ExtractFileName(file.localPath) + " 転送中");
    TFileResult result = TFileResult::Sent;
    if (file.folderBelowHome) {
      result = SendWithRetry(session, file);
    }
    std::lock_guard<std::mutex> lock(resultMutex_);
    switch (result) {
      case TFileResult::Sent:
        if (file.folderBelowHome) {
          Sent(index);
        } else {
          ++summary_.outside;
        }
        break;
      case TFileResult::Failed:
      case TFileResult::Fatal:
        ++summary_.failed;
        break;
      case TFileResult::Aborted:
        ++summary_.notSent;
        return;
    }
    meter_.FileDone(index);
    if (result == TFileResult::Fatal) {
      stop_.store(true);
      return;
    }
  }
}

TTransferEngine::TFileResult TTransferEngine::SendWithRetry(Session& session, const TPlannedFile& file) {
  for (int attempt = 0;; ++attempt) {
    try {
      SendOnce(session, file);
      if (Cancelled()) return TFileResult::Aborted;
      return TFileResult::Sent;
    } catch (const std::exception& e) {
      // Whatever state the connection was left in, the next try starts afresh.
      session.ftp->IdFTP1.CloseSession();
      if (session.remote) session.remote->Close();
      session.cwd.clear();
      if (Cancelled()) {
        if (session.storing) CutOff(file);
        session.storing = false;
        return TFileResult::Aborted;
      }
      session.storing = false;
      if (attempt == 0 && !IsHostKeyRefusal(e)) continue;
      Line(ExtractFileName(file.localPath) + " 転送失敗: " + e.what());
      Fail(e.what());
      return session.connecting ? TFileResult::Fatal : TFileResult::Failed;
    }
  }
}

void TTransferEngine::SendOnceSftp(Session& session, const TPlannedFile& file) {
  IRemoteSession& remote = *session.remote;
  session.connecting = false;
  if (!remote.IsConnected()) {
    session.connecting = true;
    remote.Connect();
    session.connecting = false;
    session.home = remote.Home();
  }
  const std::string folder = RemoteFolderOf(file, session.home);
  remote.EnterFolder(folder);
  session.storing = true;
  TStoreSteps steps;
  steps.store = [&remote](const std::string& local, const std::string& name) { remote.Store(local, name); };
  steps.rename = [&remote, &folder](const std::string& from, const std::string& to) {
    return remote.Rename(folder + from, folder + to);
  };
  steps.remove = [&remote, &folder](const std::string& name) { return remote.Delete(folder + name); };
  StoreInFolder(session, file, std::move(steps));
  session.storing = false;
  if (!plan_.extended.ReuseConnection()) remote.Close();
}

void TTransferEngine::SendOnce(Session& session, const TPlannedFile& file) {
  if (session.remote) return SendOnceSftp(session, file);
  TFTP& ftp = *session.ftp;
  session.connecting = false;
  if (!ftp.IdFTP1.IsConnected()) {
    session.connecting = true;
    ftp.ConnectTo(plan_.host, plan_.proxy);
    session.connecting = false;
    if (ftp.HomeDir != session.home) session.runFolders.clear();
    session.home = ftp.HomeDir;
    session.cwd.clear();
  }
  if (session.runFolders.empty()) {
    // Every session logs in as the same user, to the same home folder.
    std::set<std::string> seen;
    for (const auto& planned : plan_.files) {
      std::string folder = RemoteFolderOf(planned, session.home);
      if (!folder.empty() && seen.insert(folder).second) session.runFolders.push_back(folder);
    }
  }
  folders_.Enter(ftp.IdFTP1, session.home, RemoteFolderOf(file, session.home), session.runFolders, session.cwd);
  session.storing = true;
  StoreInFolder(session, file, FtpSteps(ftp.IdFTP1));
  session.storing = false;
  if (!plan_.extended.ReuseConnection()) {
    ftp.IdFTP1.CloseSession();
    session.cwd.clear();
  }
}

void TTransferEngine::StoreInFolder(Session& session, const TPlannedFile& file, TStoreSteps steps) {
  if (!plan_.extended.AtomicUpload()) return steps.store(file.localPath, file.remoteName);
  const std::size_t index = session.current;
  const std::string below = file.folderBelowHome.value_or("/");
  if (OnStoreBegun) steps.begun = [this, index, below](const std::string& name) { OnStoreBegun(index, below + name); };
  if (OnStoreEnded) steps.ended = [this, index, below](const std::string& name) { OnStoreEnded(index, below + name); };
  atomic_.Store(steps, file.localPath, file.remoteName);
}

// Under resultMutex_, or on the only session.
void TTransferEngine::Sent(std::size_t index) {
  ++summary_.sent;
  if (OnFileSent) OnFileSent(index);
}

void TTransferEngine::Fail(const std::string& error) {
  std::lock_guard<std::mutex> lock(resultMutex_);
  if (firstError_.empty()) firstError_ = error;
}

}  // namespace tovra
