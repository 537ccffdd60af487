// The sessions of a transfer run: how each is built from the plan, logs in,
// walks to its folder and stores, how a failure is retried or reported, and
// how a server's limit of logins is met.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <set>
#include <utility>

#include "ftp/id_exceptions.h"
#include "platform/files.h"
#include "platform/socket_errors.h"
#include "upload/sftp_remote_session.h"
#include "upload/transfer_engine.h"
#include "util/errors.h"

namespace tovra {

namespace {

constexpr auto kQueueSlice = std::chrono::milliseconds(20);
constexpr auto kLoginRetryPause = std::chrono::milliseconds(100);
constexpr int kTooManyLogins = 421;

// A key the run refused stays refused: trying again would only ask again.
bool IsHostKeyRefusal(const std::exception& e) {
  return dynamic_cast<const EHostKeyUnknown*>(&e) != nullptr || dynamic_cast<const EHostKeyChanged*>(&e) != nullptr;
}

bool IsCertificateRefusal(const std::exception& e) { return dynamic_cast<const ECertificateRejected*>(&e) != nullptr; }

TStoreSteps FtpSteps(TIdFTP& client) {
  TStoreSteps steps;
  steps.store = [&client](const std::string& local, const std::string& name) { client.StoreFile(local, name); };
  steps.rename = [&client](const std::string& from, const std::string& to) { return client.RenameRemote(from, to); };
  steps.remove = [&client](const std::string& name) { return client.DeleteRemoteFile(name); };
  steps.storeAndRename = [&client](const std::string& local, const std::string& name, const std::string& to) {
    return client.StoreAndRename(local, name, to);
  };
  return steps;
}

}  // namespace

void TTransferEngine::MakeSession(Session& session) {
  session.ftp = std::make_unique<TFTP>();
  TFTP& ftp = *session.ftp;
  TIdFTP& client = ftp.IdFTP1;
  ftp.ApplyConnectionSettings(plan_.connection);
  client.ReadTimeout = plan_.readTimeoutMs;
  client.AcceptTimeout = plan_.acceptTimeoutMs;
  client.OnTrace = hooks_.trace;
  // A session's own notices (a server without encryption) join the status lines.
  client.OnStatus = [this](const std::string& line) { Line(line); };
  ftp.CertificateTrust = &trust_;
  client.Interrupter = &interrupter_;
  client.PipelineStore = !plan_.OneConnectionPerFile();
  Session* s = &session;
  client.OnWork = [this, s](TIdTCPConnection& sender, TWorkMode mode, std::int64_t count) {
    s->ftp->IdFTP1Work(sender, mode, count);
    if (mode == TWorkMode::wmWrite && s->storing) meter_.FileBytes(s->current, count);
  };
}

// SFTP sessions watch the run's cancel flag themselves and cut their
// connection within a few tens of milliseconds.
void TTransferEngine::PrepareSftp(Session& session) {
  const THostInfo& host = plan_.host;
  auto remote = std::make_unique<TSftpRemoteSession>(
      SftpSettingsOf(host.HostName, host.Port, host.UserName, host.Password, plan_.extended), hostKey_, &hostKeyPrompt_,
      hooks_.cancel);
  Session* s = &session;
  remote->OnBytes = [this, s](std::int64_t count) {
    if (s->storing) meter_.FileBytes(s->current, count);
  };
  session.remote = std::move(remote);
}

void TTransferEngine::Remember(const std::string& key, const std::string& value) {
  if (!hooks_.remember) return;
  try {
    hooks_.remember(plan_.siteName, key, value);
  } catch (const std::exception& e) {
    Line(e.what());
  }
}

// A value the profile holds but no key accepts: where the absent key's
// behaviour could weaken the connection (no encryption, no pin, another
// protocol), the run does not start; elsewhere it is said and passed over.
void TTransferEngine::CheckSettings() {
  for (const auto& key : TExtendedSettings::Keys()) {
    std::optional<std::string> bad = plan_.extended.Unreadable(key.name);
    if (!bad) continue;
    EExtendedSettingError error = EExtendedSettingError::BadValue(key.name, *bad);
    if (!TExtendedSettings::AbsentIsSafe(key.name)) throw error;
    Line(std::string(error.what()) + "。このキーが無いときと同じに扱います");
  }
}

void TTransferEngine::Connect(Session& session) {
  TFTP& ftp = *session.ftp;
  const bool ifAvailable = plan_.connection.encryption == TFtpEncryption::ExplicitIfAvailable;
  // Once a session of the run has logged in over TLS, a refusal of it is an error.
  if (ifAvailable && encrypted_.load()) ftp.IdFTP1.Encryption = TFtpEncryption::Explicit;
  ftp.ConnectTo(plan_.host, plan_.proxy);
  LoggedIn(session);
  // A run without a site to remember it in (put from the terminal) has nothing to say here.
  if (ifAvailable && ftp.IdFTP1.Encrypted() && !encrypted_.exchange(true) && hooks_.remember) {
    Remember("Encryption", "explicit");
    Line(plan_.host.HostName +
         " は暗号化に対応しています。このサイトは今後、暗号化された接続 (Encryption=explicit) でだけ接続します");
  }
}

void TTransferEngine::LoggedIn(Session& session) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  if (!session.loggedIn) ++loggedIn_;
  session.loggedIn = true;
  if (session.retrying) --retrying_;
  session.retrying = false;
  mostLoggedIn_ = std::max(mostLoggedIn_, loggedIn_);
}

void TTransferEngine::LoggedOut(Session& session) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  if (session.loggedIn) --loggedIn_;
  session.loggedIn = false;
}

void TTransferEngine::TellLoginLimit() {
  int allowed = 0;
  {
    std::lock_guard<std::mutex> lock(queueMutex_);
    if (!turnedAway_ || mostLoggedIn_ == 0) return;
    allowed = mostLoggedIn_;
  }
  const std::string n = std::to_string(allowed);
  Line("サーバーが同時に受け付けたログインは " + n + " 件まででした。" + n + " 件の接続で送信しました");
}

// A refusal at login that a server gives for one login too many from one
// address: "421" before the login, or a refused connection.
bool TTransferEngine::TurnedAway(const std::exception& e) const {
  if (sessions_.size() < 2) return false;
  if (const auto* reply = dynamic_cast<const EIdProtocolReplyError*>(&e))
    return reply->ReplyErrorCode() == kTooManyLogins;
  const auto* socket = dynamic_cast<const EIdSocketError*>(&e);
  return socket != nullptr && socket->LastError() == kWsaEConnRefused;
}

// The file goes back to the queue when another session can take it: the
// first time a session is turned away, or while another is logged in.
bool TTransferEngine::HandBack(Session& session) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  if (session.retriedLogin && loggedIn_ == 0) return false;
  returned_.push_back(session.current);
  if (session.retrying) --retrying_;
  session.retrying = false;
  queueWake_.notify_all();
  return true;
}

void TTransferEngine::EndRetry(Session& session) {
  std::lock_guard<std::mutex> lock(queueMutex_);
  if (session.retrying) --retrying_;
  session.retrying = false;
  queueWake_.notify_all();
}

// Waits until another session has finished a file or none is working any
// more, then lets this one try to log in once more; false ends the session.
bool TTransferEngine::WaitToLogInAgain(Session& session) {
  std::unique_lock<std::mutex> lock(queueMutex_);
  --working_;
  queueWake_.notify_all();
  const int done = filesDone_;
  // Not before a pause: a server may count a login it has just refused for a moment.
  const auto earliest = std::chrono::steady_clock::now() + kLoginRetryPause;
  auto filesLeft = [this] { return !returned_.empty() || next_ < plan_.files.size(); };
  auto waitMore = [&] {
    if (session.retriedLogin || !filesLeft() || Cancelled() || stop_.load()) return false;
    return (filesDone_ == done && working_ > 0) || std::chrono::steady_clock::now() < earliest;
  };
  while (waitMore()) queueWake_.wait_for(lock, kQueueSlice);
  if (session.retriedLogin || !filesLeft() || Cancelled() || stop_.load()) {
    turnedAway_ = true;
    return false;
  }
  session.retriedLogin = true;
  session.retrying = true;
  ++retrying_;
  ++working_;
  return true;
}

TTransferEngine::TFileResult TTransferEngine::SendWithRetry(Session& session, std::size_t& index) {
  for (int attempt = 0;; ++attempt) {
    try {
      const bool counted = SendOnce(session, plan_.files[index]);
      if (counted) return TFileResult::Counted;
      if (Cancelled()) return TFileResult::Aborted;
      return TFileResult::Sent;
    } catch (const std::exception& e) {
      // Whatever state the connection was left in, the next try starts afresh.
      session.ftp->IdFTP1.CloseSession();
      if (session.remote) session.remote->Close();
      session.cwd.clear();
      LoggedOut(session);
      const std::size_t before = index;
      if (!session.series.empty() && !TakeBackSeries(session, index)) {
        session.storing = false;
        return TFileResult::Counted;
      }
      // A series that failed on a later file gives that file its own tries.
      if (index != before) attempt = 0;
      const TPlannedFile& file = plan_.files[index];
      if (Cancelled()) {
        if (session.storing) CutOff(file);
        session.storing = false;
        return TFileResult::Aborted;
      }
      session.storing = false;
      if (session.connecting && TurnedAway(e) && HandBack(session)) return TFileResult::TurnedAway;
      // Another session has ended the run: this one only stops.
      if (stop_.load()) return TFileResult::Stopped;
      const bool refused = IsHostKeyRefusal(e) || IsCertificateRefusal(e) || trust_.Refused();
      if (attempt == 0 && !refused) continue;
      const bool fatal = session.connecting || refused;
      if (fatal && stop_.exchange(true)) return TFileResult::Stopped;
      Line(ExtractFileName(file.localPath) + " 転送失敗: " + view_.FailureText(e));
      Fail(std::current_exception());
      return fatal ? TFileResult::Fatal : TFileResult::Failed;
    }
  }
}

bool TTransferEngine::TakeBackSeries(Session& session, std::size_t& index) {
  std::vector<std::size_t> left = std::exchange(session.series, {});
  if (left.empty()) return false;
  auto inHand = std::find(left.begin(), left.end(), session.current);
  index = inHand != left.end() ? *inHand : left.front();
  session.current = index;
  std::lock_guard<std::mutex> lock(queueMutex_);
  for (std::size_t file : left) {
    if (file != index) returned_.push_back(file);
  }
  queueWake_.notify_all();
  return true;
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
  if (!session.told) Line(ExtractFileName(file.localPath) + " 転送中");
  session.told = true;
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

bool TTransferEngine::SendOnce(Session& session, const TPlannedFile& file) {
  if (session.remote) {
    SendOnceSftp(session, file);
    return false;
  }
  TFTP& ftp = *session.ftp;
  session.connecting = false;
  if (!ftp.IdFTP1.IsConnected()) {
    session.connecting = true;
    Connect(session);
    session.connecting = false;
    if (ftp.HomeDir != session.home) session.runFolders.clear();
    session.home = ftp.HomeDir;
    session.cwd.clear();
  }
  if (!session.told) Line(ExtractFileName(file.localPath) + " 転送中");
  session.told = true;
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
  if (plan_.extended.ReuseConnection()) {
    StoreFtpSeries(session, static_cast<std::size_t>(&file - plan_.files.data()));
    session.storing = false;
    return true;
  }
  StoreFtpInFolder(session, file);
  session.storing = false;
  ftp.IdFTP1.CloseSession();
  LoggedOut(session);
  session.cwd.clear();
  return false;
}

TStoreSteps TTransferEngine::WithTemporaryHooks(std::size_t index, TStoreSteps steps) {
  const std::string below = plan_.files[index].folderBelowHome.value_or("/");
  if (OnStoreBegun) steps.begun = [this, index, below](const std::string& name) { OnStoreBegun(index, below + name); };
  if (OnStoreEnded) steps.ended = [this, index, below](const std::string& name) { OnStoreEnded(index, below + name); };
  return steps;
}

void TTransferEngine::StoreInFolder(Session& session, const TPlannedFile& file, TStoreSteps steps) {
  if (!plan_.extended.AtomicUpload()) return steps.store(file.localPath, file.remoteName);
  atomic_.Store(WithTemporaryHooks(session.current, std::move(steps)), file.localPath, file.remoteName);
}

namespace {

class TSeriesCalls final : public IStoreSeries {
 public:
  std::function<std::optional<TStoreItem>(bool)> next;
  std::function<void(std::size_t)> sending;
  std::function<void(std::size_t, bool)> stored;
  std::optional<TStoreItem> Next(bool otherFolder) override { return next(otherFolder); }
  void Sending(std::size_t k) override { sending(k); }
  void Stored(std::size_t k, bool renamed) override { stored(k, renamed); }
};

}  // namespace

void TTransferEngine::StoreFtpSeries(Session& session, std::size_t index) {
  TIdFTP& client = session.ftp->IdFTP1;
  const std::string folder = RemoteFolderOf(plan_.files[index], session.home);
  std::vector<std::size_t> taken{index};  // by place in the series
  std::vector<bool> atomic;               // stored under a temporary name
  std::vector<std::size_t> refused;       // places whose rename the server refused
  session.series = taken;
  auto itemOf = [&](std::size_t i) {
    const TPlannedFile& file = plan_.files[i];
    const bool temporary = plan_.extended.AtomicUpload() && !atomic_.Direct();
    atomic.push_back(temporary);
    if (!temporary) return TStoreItem{file.localPath, file.remoteName, {}, {}};
    TStoreSteps hooks = WithTemporaryHooks(i, {});
    if (hooks.begun) hooks.begun(TemporaryStoreName(file.remoteName));
    return TStoreItem{file.localPath, TemporaryStoreName(file.remoteName), file.remoteName, {}};
  };
  auto counted = [&](std::size_t k) {
    auto place = std::find(session.series.begin(), session.series.end(), taken[k]);
    if (place != session.series.end()) session.series.erase(place);
    Count(plan_.files[taken[k]], TFileResult::Sent);
  };
  TSeriesCalls series;
  series.next = [&](bool otherFolder) -> std::optional<TStoreItem> {
    std::size_t i = 0;
    // After a refused rename the series ends, so the fallback comes soon.
    if (!refused.empty() || !TakeAhead(session, folder, otherFolder, i)) return std::nullopt;
    taken.push_back(i);
    session.series.push_back(i);
    TStoreItem item = itemOf(i);
    if (std::string its = RemoteFolderOf(plan_.files[i], session.home); its != folder) item.folder = its;
    return item;
  };
  series.sending = [&](std::size_t k) {
    session.current = taken[k];
    if (k > 0) Line(ExtractFileName(plan_.files[taken[k]].localPath) + " 転送中");
  };
  series.stored = [&](std::size_t k, bool renamed) {
    if (!renamed) {
      refused.push_back(k);
      return;
    }
    if (atomic[k]) {
      TStoreSteps hooks = WithTemporaryHooks(taken[k], {});
      if (hooks.ended) hooks.ended(TemporaryStoreName(plan_.files[taken[k]].remoteName));
    }
    counted(k);
  };
  client.StoreSeries(itemOf(index), series);
  for (std::size_t k : refused) {
    const TPlannedFile& file = plan_.files[taken[k]];
    session.current = taken[k];
    // A file of another folder went by its path; its fallback goes from there.
    folders_.Enter(client, session.home, RemoteFolderOf(file, session.home), session.runFolders, session.cwd);
    atomic_.Settle(WithTemporaryHooks(taken[k], FtpSteps(client)), file.localPath, file.remoteName, false);
    counted(k);
  }
}

void TTransferEngine::StoreFtpInFolder(Session& session, const TPlannedFile& file) {
  StoreInFolder(session, file, FtpSteps(session.ftp->IdFTP1));
}

}  // namespace tovra
