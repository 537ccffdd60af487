#include "upload/publish_run.h"

#include <algorithm>
#include <memory>
#include <set>

#include "platform/file_digest.h"
#include "platform/files.h"
#include "upload/apply_site_profile.h"
#include "upload/ftp_remote_session.h"
#include "upload/sftp_remote_session.h"
#include "upload/transfer_engine.h"

namespace tovra {

namespace {

constexpr char kNotNameable[] = "サーバーのファイル名の文字コード (CP932) で表せない名前です";

int Unsendable(const TPublishPlan& plan, TServerNames names) {
  if (names != TServerNames::Cp932) return 0;
  return static_cast<int>(std::count_if(plan.uploads.begin(), plan.uploads.end(),
                                        [](const auto& u) { return NeedsUtf8Names(u.file.path); }));
}

// "/" and the folder of a path below the root, with "/" after it.
std::string FolderBelowRoot(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "/" : "/" + path.substr(0, slash + 1);
}

}  // namespace

TPublishRun::TPublishRun(const TUploadSite& site, const TRunHooks& hooks, IUploadView& view, TPublishRecord& record)
    : site_(site),
      hooks_(hooks),
      view_(view),
      record_(record),
      trust_(hooks.certificateTrust,
             [this](const std::string& key, const std::string& value) { Remember(key, value); }),
      hostKeyPrompt_(hooks.hostKeyPrompt,
                     [this](const std::string& key, const std::string& value) { Remember(key, value); }) {
  ftp_.HostInfo = site.host;
  ftp_.ProxyInfo = site.proxy;
  ftp_.ApplyConnectionSettings(ConnectionSettingsOf(site.extended));
  ftp_.IdFTP1.ReadTimeout = site.readTimeoutMs;
  ftp_.IdFTP1.AcceptTimeout = site.acceptTimeoutMs;
  ftp_.IdFTP1.OnTrace = hooks.trace;
  ftp_.IdFTP1.OnStatus = [this](const std::string& line) { view_.AppendStatus(line); };
  ftp_.CertificateTrust = &trust_;
}

void TPublishRun::Remember(const std::string& key, const std::string& value) {
  if (!hooks_.remember) return;
  try {
    hooks_.remember(site_.name, key, value);
  } catch (const std::exception& e) {
    view_.AppendStatus(e.what());
  }
}

std::unique_ptr<IRemoteSession> TPublishRun::OpenSession() {
  ftp_.CancelRequested.store(hooks_.cancel->load(std::memory_order_relaxed), std::memory_order_relaxed);
  std::unique_ptr<IRemoteSession> session;
  if (site_.extended.Protocol() != TTransferProtocol::Sftp) {
    session = std::make_unique<TFtpRemoteSession>(ftp_);
  } else {
    const THostInfo& host = site_.host;
    session = std::make_unique<TSftpRemoteSession>(
        SftpSettingsOf(host.HostName, host.Port, host.UserName, host.Password, site_.extended), hostKey_,
        &hostKeyPrompt_, hooks_.cancel);
  }
  session->Connect();
  if (!namesKnown_) {
    utf8Names_ = site_.extended.Protocol() == TTransferProtocol::Sftp
                     ? ServerNamesOf(site_.extended) == TServerNames::Utf8
                     : ftp_.IdFTP1.Utf8Names();
    namesKnown_ = true;
  }
  return session;
}

TServerNames ServerNamesOf(const TExtendedSettings& extended) {
  const TRemoteNameEncoding encoding = extended.RemoteNameEncoding();
  if (encoding == TRemoteNameEncoding::Cp932) return TServerNames::Cp932;
  // SFTP names are UTF-8 unless the site says CP932.
  if (encoding == TRemoteNameEncoding::Utf8 || extended.Protocol() == TTransferProtocol::Sftp) {
    return TServerNames::Utf8;
  }
  return TServerNames::AtLogin;
}

std::string PublishCountsLine(const TPublishPlan& plan, TServerNames names) {
  int counts[2] = {0, 0};
  for (const auto& item : plan.uploads) {
    if (names != TServerNames::Cp932 || !NeedsUtf8Names(item.file.path))
      ++counts[item.change == TPublishChange::New ? 0 : 1];
  }
  const int unsendable = Unsendable(plan, names);
  return "新規 " + std::to_string(counts[0]) + " 件、変更 " + std::to_string(counts[1]) + " 件、削除 " +
         std::to_string(plan.deletions.size()) + " 件、変更なし " + std::to_string(plan.unchanged) + " 件" +
         (unsendable > 0 ? "、送信不可 " + std::to_string(unsendable) + " 件" : std::string());
}

std::vector<std::string> PublishPlanLines(const TPublishPlan& plan, TServerNames names) {
  std::vector<std::string> lines;
  for (const auto& item : plan.uploads) {
    const std::string& path = item.file.path;
    const std::string change = item.change == TPublishChange::New ? "新規 " : "変更 ";
    if (!NeedsUtf8Names(path) || names == TServerNames::Utf8) {
      lines.push_back(change + path);
    } else if (names == TServerNames::Cp932) {
      lines.push_back("送信不可 " + path + " (" + kNotNameable + ")");
    } else {
      lines.push_back(change + path + " (CP932 で表せない名前: サーバーがファイル名を UTF-8 で扱うときだけ送ります)");
    }
  }
  for (const auto& file : plan.deletions) lines.push_back("削除 " + file.path);
  lines.push_back(PublishCountsLine(plan, names));
  return lines;
}

TRunOutcome TPublishRun::Run(const TPublishPlan& plan, bool deleteRemoved) {
  for (const auto& file : plan.touched) record_.Confirm(file);
  TRunOutcome outcome = TRunOutcome::Failed;
  try {
    outcome = RunSteps(plan, deleteRemoved);
  } catch (...) {
    record_.Save();
    throw;
  }
  record_.Save();
  return outcome;
}

TRunOutcome TPublishRun::RunSteps(const TPublishPlan& plan, bool deleteRemoved) {
  const bool deleting = deleteRemoved && !plan.deletions.empty();
  if (plan.uploads.empty() && !deleting && record_.Leftovers().empty()) {
    view_.AppendStatus("公開するものはありません");
    return TRunOutcome::Completed;
  }
  const bool askNames =
      ServerNamesOf(site_.extended) == TServerNames::AtLogin &&
      std::any_of(plan.uploads.begin(), plan.uploads.end(), [](const auto& u) { return NeedsUtf8Names(u.file.path); });
  if (!record_.Leftovers().empty() || askNames) {
    auto session = OpenSession();
    RemoveLeftovers(*session);
    session->Close();
  } else if (!namesKnown_) {
    utf8Names_ = ServerNamesOf(site_.extended) == TServerNames::Utf8;
  }
  if (Cancelled()) return TRunOutcome::Aborted;
  TRunOutcome outcome = Send(plan);
  if (outcome != TRunOutcome::Completed) return outcome;
  if (!deleting) return TRunOutcome::Completed;
  if (Cancelled()) return TRunOutcome::Aborted;
  auto session = OpenSession();
  Delete(*session, plan);
  RemoveEmptyFolders(*session, plan);
  session->Close();
  return Cancelled() ? TRunOutcome::Aborted : TRunOutcome::Completed;
}

// One engine run: the files that are not pages first, and the pages only
// once everything before them is there.
TRunOutcome TPublishRun::Send(const TPublishPlan& plan) {
  // The site's connection settings, as an upload of the site has them.
  TUploadPlan upload = *BuildUploadPlan(TStringList(), site_, TUploadOptions(), 0);
  upload.siteRoot = plan.root;
  std::vector<const TPublishUpload*> sent;
  for (const auto& item : plan.uploads) {
    // The plan has the pages last.
    if (IsPublishedPage(item.file.path) && upload.holdFrom > upload.files.size()) upload.holdFrom = upload.files.size();
    if (!Nameable(item.file.path)) {
      view_.AppendStatus(item.file.path + " 送信しません: " + kNotNameable);
      ++upload.unrepresentableFiles;
      continue;
    }
    TPlannedFile file{LocalPathOf(plan, item.file.path), item.file.remoteName, FolderBelowRoot(item.file.path),
                      item.file.size};
    upload.files.push_back(std::move(file));
    sent.push_back(&item);
  }
  if (upload.files.empty()) return TRunOutcome::Completed;
  TTransferEngine engine(upload, hooks_, view_);
  engine.OnStoreBegun = [this](std::size_t, const std::string& path) { record_.StoreBegun(path); };
  engine.OnStoreEnded = [this](std::size_t, const std::string& path) { record_.StoreEnded(path); };
  engine.OnFileSent = [this, &sent, &upload](std::size_t index) {
    TPublishedFile file = sent[index]->file;
    if (file.sha256.empty()) file.sha256 = FileSha256(upload.files[index].localPath);
    record_.Confirm(file);
  };
  return engine.Run();
}

std::string TPublishRun::OnServer(IRemoteSession& session, const std::string& below) const {
  std::string home = session.Home();
  while (!home.empty() && home.back() == '/') home.pop_back();
  return home + below;
}

void TPublishRun::RemoveLeftovers(IRemoteSession& session) {
  const std::set<std::string> leftovers = record_.Leftovers();
  for (const auto& path : leftovers) {
    if (Cancelled()) return;
    if (!Nameable(path)) continue;  // kept for a run that can name it
    // A temporary file that is not there any more is gone all the same.
    session.Delete(OnServer(session, path));
    record_.StoreEnded(path);
  }
}

void TPublishRun::Delete(IRemoteSession& session, const TPublishPlan& plan) {
  for (const auto& file : plan.deletions) {
    if (Cancelled()) return;
    const std::string remote = FolderBelowRoot(file.path) + file.remoteName;
    if (!Nameable(remote)) {
      view_.AppendStatus(file.path + " 削除できません: " + kNotNameable);
      continue;
    }
    if (session.Delete(OnServer(session, remote))) {
      view_.AppendStatus(file.path + " 削除");
      record_.Forget(file.path);
    } else {
      view_.AppendStatus(file.path + " 削除できません: サーバーが拒否しました");
    }
  }
}

// A folder goes only when it is gone locally as well, no recorded file is
// left in it, and the server finds it empty (it refuses otherwise).
void TPublishRun::RemoveEmptyFolders(IRemoteSession& session, const TPublishPlan& plan) {
  std::set<std::string> folders;
  for (const auto& file : plan.deletions) {
    for (std::string folder = FolderBelowRoot(file.path); folder != "/";
         folder = FolderBelowRoot(folder.substr(1, folder.size() - 2))) {
      folders.insert(folder);
    }
  }
  std::vector<std::string> deepestFirst(folders.begin(), folders.end());
  std::sort(deepestFirst.begin(), deepestFirst.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
  for (const auto& folder : deepestFirst) {
    if (Cancelled()) return;
    const std::string below = folder.substr(1, folder.size() - 2);
    if (!Nameable(below) || DirectoryExists(LocalPathOf(plan, below))) continue;
    auto inside = record_.Files().lower_bound(below + "/");
    if (inside != record_.Files().end() && inside->first.rfind(below + "/", 0) == 0) continue;
    session.RemoveFolder(OnServer(session, folder.substr(0, folder.size() - 1)));
  }
}

}  // namespace tovra
