#include "sftp/sftp_session.h"

#include <fcntl.h>
#include <libssh/libssh.h>
#include <libssh/sftp.h>
#include <unistd.h>

#include <cstring>

#include "ftp/id_exceptions.h"
#include "ftp/remote_names.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/read_only_file.h"
#include "util/errors.h"

namespace tovra {

namespace {

// OpenSSH's server takes messages up to 256 KiB; a block well below that
// keeps each write one round trip with few of them.
constexpr std::size_t kBlockBytes = 128 * 1024;
constexpr int kConnectPollMs = 50;

// A libssh string the caller must free.
struct TSshChars {
  char* text = nullptr;
  ~TSshChars() { ssh_string_free_char(text); }
};

// An operation of the session: the watchdog cuts the connection when it
// makes no progress within the limit.
class TOperation {
 public:
  TOperation(TConnectionWatchdog& watchdog, int limitMs) : watchdog_(watchdog) { watchdog_.Begin(limitMs); }
  ~TOperation() { watchdog_.End(); }

 private:
  TConnectionWatchdog& watchdog_;
};

// Names holding NUL would be cut short on the way to the server and reach
// another file.
void RefuseNul(const std::string& path) {
  if (path.find('\0') != std::string::npos) throw ESftpError("パス名に NUL 文字があります");
}

// The key file is opened as pages are (a regular file, no waiting): a FIFO
// or a device named as the key would otherwise hold the import for ever.
ssh_key ImportPrivateKey(const std::string& file, const std::string& passphrase) {
  std::string text;
  try {
    text = ReadFileBytes(file);
  } catch (const EFileError& e) {
    throw ESftpError("秘密鍵 " + file + " を読めません: " + e.what());
  }
  ssh_key key = nullptr;
  const int rc = ssh_pki_import_privkey_base64(text.c_str(), passphrase.c_str(), nullptr, nullptr, &key);
  ::explicit_bzero(text.data(), text.size());
  if (rc != SSH_OK) throw ESftpError("秘密鍵 " + file + " を読めません (ファイルとパスフレーズを確かめてください)");
  return key;
}

}  // namespace

struct TSftpSession::TSsh {
  ssh_session session = nullptr;
  sftp_session sftp = nullptr;
  ~TSsh() {
    if (sftp != nullptr) sftp_free(sftp);
    if (session != nullptr) {
      ssh_disconnect(session);
      ssh_free(session);
    }
  }
};

TSftpSession::TSftpSession() : watchdog_([this] { return Cancelled(); }) {}

TSftpSession::~TSftpSession() { Close(); }

bool TSftpSession::Cancelled() const {
  return CancelRequested.load(std::memory_order_relaxed) == 1 ||
         (RunCancel != nullptr && RunCancel->load(std::memory_order_relaxed) == 1);
}

bool TSftpSession::Connected() const { return ssh_ != nullptr && ssh_->sftp != nullptr; }

void TSftpSession::Close() {
  // A cut connection is freed without waiting for the server's goodbye.
  ssh_.reset();
  watchdog_.Watch(-1);
  socket_.Close();
  home_.clear();
  folders_.clear();
}

void TSftpSession::Connect() {
  Close();
  try {
    OpenSocket();
    Handshake();
    CheckHostKey();
    Authenticate();
    OpenChannel();
  } catch (...) {
    Close();
    throw;
  }
}

THostKey TSftpSession::FetchHostKey() {
  Close();
  try {
    OpenSocket();
    Handshake();
  } catch (...) {
    Close();
    throw;
  }
  Close();
  return hostKey_;
}

// The TCP connection is made here rather than by libssh so that its wait is
// bounded and cancellable like every other.
void TSftpSession::OpenSocket() {
  if (Cancelled()) throw EIdCancelled();
  const std::uint16_t port = CheckedPort(Settings.port);
  std::string address = ResolveHost(Settings.host);
  TSocket socket = TSocket::CreateStream();
  if (!socket.StartConnect(address, port)) {
    for (int waited = 0; !socket.WaitWritable(kConnectPollMs); waited += kConnectPollMs) {
      if (Cancelled()) throw EIdCancelled();
      if (waited >= Settings.timeoutMs) throw EIdSocketError(kWsaETimedOut);
    }
    socket.FinishConnect();
  }
  socket_ = std::move(socket);
  watchdog_.Watch(socket_.Handle());
}

void TSftpSession::Handshake() {
  ssh_ = std::make_unique<TSsh>();
  ssh_->session = ssh_new();
  if (ssh_->session == nullptr) throw ESftpError("SSH セッションを作れません");
  ssh_session s = ssh_->session;
  // libssh closes the descriptor it is given; it gets its own copy, and
  // shutting ours down (the watchdog) ends both.
  socket_t fd = ::fcntl(socket_.Handle(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) throw ESftpError("SSH の接続を用意できません");
  bool noConfig = false;
  long timeoutSeconds = (Settings.timeoutMs + 999) / 1000;
  ssh_options_set(s, SSH_OPTIONS_FD, &fd);
  ssh_options_set(s, SSH_OPTIONS_HOST, Settings.host.c_str());
  ssh_options_set(s, SSH_OPTIONS_PORT, &Settings.port);
  ssh_options_set(s, SSH_OPTIONS_PROCESS_CONFIG, &noConfig);
  ssh_options_set(s, SSH_OPTIONS_TIMEOUT, &timeoutSeconds);
  if (!Settings.user.empty()) ssh_options_set(s, SSH_OPTIONS_USER, Settings.user.c_str());
  if (!Settings.knownHostsFile.empty()) {
    std::string path = ToOsPath(Settings.knownHostsFile);
    ssh_options_set(s, SSH_OPTIONS_KNOWNHOSTS, path.c_str());
  }
  TOperation op(watchdog_, Settings.timeoutMs);
  if (ssh_connect(s) != SSH_OK) Fail("SSH の接続");

  ssh_key key = nullptr;
  if (ssh_get_server_publickey(s, &key) != SSH_OK) Fail("ホスト鍵の受け取り");
  unsigned char* hash = nullptr;
  std::size_t hashLength = 0;
  int rc = ssh_get_publickey_hash(key, SSH_PUBLICKEY_HASH_SHA256, &hash, &hashLength);
  const char* type = ssh_key_type_to_char(ssh_key_type(key));
  hostKey_.type = type != nullptr ? type : "unknown";
  ssh_key_free(key);
  if (rc != SSH_OK) Fail("ホスト鍵の指紋の計算");
  TSshChars fingerprint{ssh_get_fingerprint_hash(SSH_PUBLICKEY_HASH_SHA256, hash, hashLength)};
  ssh_clean_pubkey_hash(&hash);
  hostKey_.fingerprint = fingerprint.text != nullptr ? fingerprint.text : "";
  while (!hostKey_.fingerprint.empty() && hostKey_.fingerprint.back() == '=') hostKey_.fingerprint.pop_back();
}

void TSftpSession::CheckHostKey() {
  TKnownHost known = TKnownHost::Unknown;
  if (Settings.hostKeyPin.empty()) {
    switch (ssh_session_is_known_server(ssh_->session)) {
      case SSH_KNOWN_HOSTS_OK:
        known = TKnownHost::Known;
        break;
      case SSH_KNOWN_HOSTS_CHANGED:
      case SSH_KNOWN_HOSTS_OTHER:  // known with a key of another type: as suspicious
        known = TKnownHost::Changed;
        break;
      default:
        break;
    }
  }
  switch (JudgeHostKey(Settings.hostKeyPin, hostKey_.fingerprint, known)) {
    case THostKeyVerdict::Accept:
      return;
    case THostKeyVerdict::Refuse:
      throw EHostKeyChanged(Settings.host, Settings.port, hostKey_, Settings.hostKeyPin);
    case THostKeyVerdict::AskUser:
      break;
  }
  if (Prompt == nullptr) throw EHostKeyUnknown(Settings.host, Settings.port, hostKey_);
  // The user may take a while to answer; the server's own login time limit
  // still applies, and a connection it closes meanwhile fails below.
  watchdog_.End();
  TTrustAnswer trust = Prompt->TrustUnknownHostKey(Settings.host, Settings.port, hostKey_);
  watchdog_.Begin(Settings.timeoutMs);
  if (trust == TTrustAnswer::Reject) throw EHostKeyUnknown(Settings.host, Settings.port, hostKey_);
  if (Cancelled()) throw EIdCancelled();
}

void TSftpSession::Authenticate() {
  ssh_session s = ssh_->session;
  TOperation op(watchdog_, Settings.timeoutMs);
  int rc = SSH_AUTH_ERROR;
  if (Settings.privateKeyFile.empty()) {
    rc = ssh_userauth_password(s, nullptr, Settings.password.c_str());
  } else {
    ssh_key key = ImportPrivateKey(Settings.privateKeyFile, Settings.password);
    rc = ssh_userauth_publickey(s, nullptr, key);
    ssh_key_free(key);
  }
  if (rc == SSH_AUTH_SUCCESS) return;
  if (rc == SSH_AUTH_ERROR) Fail("ログイン");
  throw ESftpError("SFTP サーバー " + ServerName(Settings.host, Settings.port) + " にユーザー " + Settings.user +
                   " でログインできません (" + (Settings.privateKeyFile.empty() ? "パスワード" : "秘密鍵") +
                   "を確かめてください)");
}

void TSftpSession::OpenChannel() {
  TOperation op(watchdog_, Settings.timeoutMs);
  ssh_->sftp = sftp_new(ssh_->session);
  if (ssh_->sftp == nullptr) Fail("SFTP チャネルを開く");
  if (sftp_init(ssh_->sftp) != SSH_OK) Fail("SFTP の開始");
  TSshChars home{sftp_canonicalize_path(ssh_->sftp, ".")};
  if (home.text == nullptr) Fail("ログイン時のフォルダの取得");
  home_ = ServerNameToCp932(home.text, Settings.utf8Names);
}

void TSftpSession::Fail(const std::string& what) {
  switch (watchdog_.Reason()) {
    case TConnectionWatchdog::TReason::Cancelled:
      throw EIdCancelled();
    case TConnectionWatchdog::TReason::TimedOut:
      throw EIdReadTimeout();
    default:
      break;
  }
  std::string detail = ssh_ && ssh_->session ? ssh_get_error(ssh_->session) : "";
  throw ESftpError("SFTP: " + what + "に失敗しました" + (detail.empty() ? "" : ": " + detail));
}

void TSftpSession::FailSftp(const std::string& what, const std::string& path) {
  int code = ssh_ && ssh_->sftp ? sftp_get_error(ssh_->sftp) : SSH_FX_FAILURE;
  if (Lost(code)) Fail(what + " (" + path + ") ");
  const char* reason = code == SSH_FX_NO_SUCH_FILE          ? "ありません"
                       : code == SSH_FX_PERMISSION_DENIED   ? "権限がありません"
                       : code == SSH_FX_FILE_ALREADY_EXISTS ? "既にあります"
                                                            : "サーバーが拒否しました";
  throw ESftpError("SFTP: " + path + " の" + what + "に失敗しました: " + reason + " (SSH_FX " + std::to_string(code) +
                   ")");
}

std::string TSftpSession::Wire(const std::string& cp932) const {
  RefuseNul(cp932);
  return ToServerName(cp932, Settings.utf8Names);
}

// A listed name CP932 cannot hold exactly shows its characters as [U+XXXX],
// so it never equals a name of the system's.
std::string TSftpSession::Local(const std::string& wire) const {
  return Settings.utf8Names ? Utf8ForDisplay(wire) : wire;
}

bool TSftpSession::IsFolder(const std::string& path, bool& exists) {
  sftp_attributes attributes = sftp_stat(ssh_->sftp, Wire(path).c_str());
  exists = attributes != nullptr;
  if (!exists) {
    if (sftp_get_error(ssh_->sftp) != SSH_FX_NO_SUCH_FILE) FailSftp("確認", path);
    return false;
  }
  bool folder = attributes->type == SSH_FILEXFER_TYPE_DIRECTORY;
  sftp_attributes_free(attributes);
  return folder;
}

void TSftpSession::MakeFolders(const std::string& folder) {
  if (!Connected()) throw EIdNotConnected();
  std::string path = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
  if (path.empty() || path[0] != '/') throw ESftpError("リモートフォルダ " + folder + " は / で始まりません");
  if (path == "/" || folders_.count(path)) return;
  // Levels at or above the login folder exist: only those below are looked up.
  std::size_t start = (path + "/").rfind(home_ + "/", 0) == 0 && home_ != "/" ? home_.size() : 0;
  TOperation op(watchdog_, Settings.timeoutMs);
  for (std::size_t slash = path.find('/', start + 1);; slash = path.find('/', slash + 1)) {
    std::string level = path.substr(0, slash);
    if (!folders_.count(level)) {
      bool exists = false;
      bool isFolder = IsFolder(level, exists);
      if (!exists && sftp_mkdir(ssh_->sftp, Wire(level).c_str(), 0755) != SSH_OK) {
        // Another session may have made it in the meantime.
        if (!IsFolder(level, exists)) FailSftp("フォルダ作成", level);
      } else if (exists && !isFolder) {
        throw ESftpError("SFTP: " + level + " はフォルダではありません");
      }
      folders_.insert(level);
    }
    if (slash == std::string::npos) break;
    watchdog_.Touch();
  }
}

bool TSftpSession::Lost(int code) const {
  return watchdog_.Reason() != TConnectionWatchdog::TReason::None || code == SSH_FX_CONNECTION_LOST ||
         code == SSH_FX_NO_CONNECTION || code == SSH_FX_OK;
}

bool TSftpSession::Refused(int result, const std::string& what, const std::string& path) {
  if (result == SSH_OK) return false;
  int code = sftp_get_error(ssh_->sftp);
  if (Lost(code)) Fail(what + " (" + path + ") ");
  return true;
}

bool TSftpSession::Rename(const std::string& from, const std::string& to) {
  if (!Connected()) throw EIdNotConnected();
  return !Refused(sftp_rename(ssh_->sftp, Wire(from).c_str(), Wire(to).c_str()), "名前の変更", from);
}

bool TSftpSession::Remove(const std::string& path) {
  if (!Connected()) throw EIdNotConnected();
  return !Refused(sftp_unlink(ssh_->sftp, Wire(path).c_str()), "削除", path);
}

bool TSftpSession::RemoveFolder(const std::string& path) {
  if (!Connected()) throw EIdNotConnected();
  std::string folder = path.size() > 1 && path.back() == '/' ? path.substr(0, path.size() - 1) : path;
  if (Refused(sftp_rmdir(ssh_->sftp, Wire(folder).c_str()), "フォルダ削除", folder)) return false;
  folders_.erase(folder);
  return true;
}

void TSftpSession::StoreFile(const std::string& localPath, const std::string& remotePath) {
  if (!Connected()) throw EIdNotConnected();
  TReadOnlyFile local(localPath);
  TOperation op(watchdog_, Settings.timeoutMs);
  sftp_file file = sftp_open(ssh_->sftp, Wire(remotePath).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (file == nullptr) FailSftp("書き込み", remotePath);
  std::vector<char> block(kBlockBytes);
  std::int64_t sent = 0;
  for (;;) {
    std::size_t n = 0;
    try {
      n = local.Read(block.data(), block.size());
    } catch (const EFileError&) {
      sftp_close(file);
      throw;
    }
    if (n == 0) break;
    if (sftp_write(file, block.data(), n) != static_cast<ssize_t>(n)) {
      sftp_close(file);
      FailSftp("書き込み", remotePath);
    }
    sent += static_cast<std::int64_t>(n);
    watchdog_.Touch();
    if (OnProgress) OnProgress(sent);
  }
  // The server reports a failed flush (a full disk) in the reply to close.
  if (sftp_close(file) != SSH_NO_ERROR) FailSftp("書き込み", remotePath);
}

std::vector<TSftpEntry> TSftpSession::List(const std::string& folder) {
  if (!Connected()) throw EIdNotConnected();
  TOperation op(watchdog_, Settings.timeoutMs);
  sftp_dir dir = sftp_opendir(ssh_->sftp, Wire(folder).c_str());
  if (dir == nullptr) FailSftp("一覧", folder);
  std::vector<TSftpEntry> entries;
  while (sftp_attributes a = sftp_readdir(ssh_->sftp, dir)) {
    std::string name = a->name != nullptr ? a->name : "";
    if (name != "." && name != "..") {
      char type = a->type == SSH_FILEXFER_TYPE_DIRECTORY ? 'd' : a->type == SSH_FILEXFER_TYPE_SYMLINK ? 'l' : '-';
      entries.push_back({Local(name), type, static_cast<std::int64_t>(a->size)});
    }
    sftp_attributes_free(a);
    watchdog_.Touch();
  }
  bool complete = sftp_dir_eof(dir) == 1;
  sftp_closedir(dir);
  if (!complete) FailSftp("一覧", folder);
  return entries;
}

}  // namespace tovra
