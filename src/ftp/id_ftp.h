// TIdFTP: the FTP client. The control connection (login, commands, replies)
// plus data transfers (STOR, LIST) and the parsed listing. Data connections
// are active by default; Passive and Encryption choose passive mode and FTP
// over TLS, and with both left at their defaults the wire carries exactly the
// plain login and active transfers it always did.
// Blocking, used by one thread; the progress handler (OnWork) runs on that
// thread inside transfers and may call AbortTransfer.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/ftp_list.h"
#include "ftp/simple_server.h"
#include "ftp/tcp_client.h"
#include "platform/read_only_file.h"
#include "util/ftp_encryption.h"
#include "util/text_encodings.h"

namespace tovra {

inline constexpr std::size_t kMaxListingBytes = std::size_t{64} << 20;

enum class TIdFTPTransferType { ftASCII, ftBinary };
enum class TIdFtpProxyType { fpcmNone };

// Proxy settings: carried, never used; every connection goes to Host directly.
struct TIdFtpProxySettings {
  TIdFtpProxyType ProxyType = TIdFtpProxyType::fpcmNone;
  std::string Host;
  std::string UserName;
  std::string Password;
  int Port = 0;
};

// One file of a series of stores: stored as name, then renamed to renameTo
// (none when empty), in folder (absolute, ending in "/"; empty: the working
// folder).
struct TStoreItem {
  std::string localPath;
  std::string name;
  std::string renameTo;
  std::string folder;
};

// Where a series of stores takes its files from and what it is told of them.
// The k-th file is the one Next handed out k-th (the first is 0).
class IStoreSeries {
 public:
  virtual ~IStoreSeries() = default;
  // Another file for the working folder or, when otherFolder is true, for a
  // folder known to exist; none: the series ends.
  virtual std::optional<TStoreItem> Next(bool otherFolder) = 0;
  // The k-th file's data begins to go out.
  virtual void Sending(std::size_t k) = 0;
  // The k-th file is confirmed and, when it has a renameTo, renamed; false:
  // the server refused the rename with a 5xx (the file stays as name).
  virtual void Stored(std::size_t k, bool renamed) = 0;
};

class TIdFTP : public TIdTCPClient {
 public:
  TIdFTP() = default;
  ~TIdFTP() override;

  std::string Username;
  std::string Password;
  TIdFTPTransferType TransferType = TIdFTPTransferType::ftBinary;
  TIdFtpProxySettings ProxySettings;
  // The wait for the server's data connection, passed to each data connection.
  int AcceptTimeout = kDefaultAcceptTimeoutMs;
  int AcceptPollInterval = kDefaultAcceptPollMs;
  // Passive data connections (EPSV, then PASV) instead of active ones.
  bool Passive = false;
  TFtpEncryption Encryption = TFtpEncryption::None;
  // SHA-256 fingerprint of a certificate trusted although the system store
  // does not trust it (any spelling CanonicalSha256 accepts); empty: none.
  std::string PinnedSha256;
  // Asked about a certificate that neither the store nor the pin trusts,
  // before anything else is sent; true trusts it for this connection.
  // Unset: such a certificate ends the connection.
  std::function<bool(const TCertificateInfo&)> OnUntrustedCertificate;
  // Receives status lines (for example that a connection is not encrypted).
  std::function<void(const std::string&)> OnStatus;
  // When set, a store sends PORT and STOR together and then reads both
  // replies: one round trip less per file across a distance. Every server
  // reads commands in order, but the single-session sequence keeps its
  // one-command-one-reply rhythm; the engine sets this for its reused and
  // parallel sessions only.
  // With StoreAndRename in passive mode it also asks for the next store's
  // data port together with the rename.
  bool PipelineStore = false;
  // The date relative listing dates are read against (tests fix it).
  std::function<TListDate()> Today = TodayLocal;

  // The names the server keeps: Cp932 sends the system's names as they are;
  // Utf8 converts them; Auto asks FEAT (with the other features, before the
  // login) and, when it lists UTF8, sends OPTS UTF8 ON after the login and
  // converts. Read at every OpenSession.
  TRemoteNameEncoding NameEncoding = TRemoteNameEncoding::Cp932;
  // What the current connection agreed on.
  bool Utf8Names() const { return utf8Names_; }

  TIdRFCReply WelcomeReply;
  TIdRFCReply LoginReply;
  std::string ServerSystem;
  // The FEAT lines of this connection (trimmed, in upper case); empty when
  // FEAT was not asked or was refused.
  std::vector<std::string> Features;
  bool HasFeature(std::string_view name) const;
  // Whether the control connection is encrypted, and its certificate.
  bool Encrypted() const { return Tls() != nullptr; }
  const TCertificateInfo& ServerCertificate() const { return certificate_; }

  // TCP connect (TLS first when implicit), greeting 220, FEAT when passive
  // mode or encryption is on, AUTH TLS with PBSZ 0 and PROT P when
  // encryption is on, then USER/PASS, TYPE, SYST. Any failure closes the
  // connection and raises the same error again.
  void OpenSession();
  void CloseSession() { CloseSocket(); }
  // Connects, starts TLS (implicit when Encryption is Implicit, else after
  // the greeting with AUTH TLS), closes again and returns the server's
  // certificate with the store's verdict; nothing is logged in.
  TCertificateInfo FetchCertificate();
  std::string QueryWorkingDir();
  void ChangeWorkingDir(const std::string& path);
  void MakeRemoteDir(const std::string& name);
  // RNFR and RNTO (sent together when PipelineStore is set); DELE; RMD. Each returns false when the server answers
  // with a permanent refusal (5xx), so the caller may try another way; any
  // other failure raises as usual.
  bool RenameRemote(const std::string& from, const std::string& to);
  bool DeleteRemoteFile(const std::string& name);
  bool RemoveRemoteDir(const std::string& name);

  // Paths and names given to the commands, and the working folder and the
  // parsed listing handed back, are CP932; they are converted here, at the
  // wire, in the encoding agreed at login. A name that cannot be converted
  // exactly raises EEncodingError before its command is sent.
  //
  // Uploads the local file (CP932 path) whole as remoteName. The file is
  // opened before anything is sent; its errors are EFileError. A final
  // 426, 450 or 451 that no ABOR of ours asked for raises the reply error.
  void StoreFile(const std::string& localPath, const std::string& remoteName);
  // Stores the file as remoteName, then renames it to renameTo; false when
  // the server refuses the rename with a 5xx (the file stays as remoteName).
  // With PipelineStore, RNFR and RNTO (and in passive mode the next data
  // port's request) go out together once the file is confirmed.
  bool StoreAndRename(const std::string& localPath, const std::string& remoteName, const std::string& renameTo);
  // Stores first and every file series hands out after it, in order, each
  // renamed once confirmed. With PipelineStore in passive mode, on a server
  // seen to leave commands unread while it receives a file (a NOOP sent
  // during the first transfer of the connection goes unanswered until the
  // end of it), the next file's STOR and its passive request go out while
  // the current file is still being received: one round trip per file.
  // Nothing that touches a stored file goes out before that file is
  // confirmed. Any failure raises; the caller drops the connection then.
  void StoreSeries(const TStoreItem& first, IStoreSeries& series);
  // The bare LIST of the current folder; fills lines (if given) and
  // ListingLines. The whole listing must arrive within ReadTimeout and hold
  // at most kMaxListingBytes (EIdListingTooLong).
  void ListDirectory(TStringList* lines = nullptr);
  // ABOR on the control connection (reply not read) and the data socket closed.
  void AbortTransfer();

  const TStringList& ListingLines() const { return listingLines_; }
  // Built from ListingLines on first access after each listing.
  const TIdFTPListItems& ParsedListing();

 private:
  void SecureControlConnection();
  void CheckCertificate(const TCertificateInfo& info);
  bool NegotiateExplicitTls();
  void AskFeatures();
  void OpenPassiveConnection();
  // A data connection waits, aborts and reports progress as this one does.
  void ShareSettingsWith(TIdTCPConnection& data) const;
  int PassivePort();
  // EPSV, or PASV once EPSV is refused or not offered.
  std::string PassiveCommand() const;
  // The port a passive reply names; nothing for a refused EPSV (which makes
  // PASV the answer from then on). Raises for an unreadable reply.
  std::optional<int> PassiveReplyPort(const std::string& command, int code);
  void ConnectPassive(int port);
  // Opens the data connection and sends the STOR, its reply unread. With no
  // port asked for ahead (after a change of folder), EPSV and the STOR go
  // out together and the data connection opens between their replies.
  void SendStore(const std::string& stor);
  // Reads the reply to a passive request sent ahead of the next store.
  void AwaitPortAhead(const std::string& command);
  bool Store(const std::string& localPath, const std::string& remoteName, const std::string* renameTo);
  // The file's bytes, written to the open data connection.
  void WriteFileData(TReadOnlyFile& file);
  // A store in a series: its commands, the open file, its place.
  struct TSeriesStore;
  TSeriesStore PrepareSeriesStore(TStoreItem item, std::size_t k) const;
  void StoreOneByOne(TStoreItem item, std::size_t k, IStoreSeries& series);
  // The series over plain data connections on a server that reads no
  // command during a transfer: up to kStoresAhead STORs outstanding, each
  // file's data written as soon as its data connection is open (its STOR is
  // at the server by then). confirmed: a file of the series still to rename.
  // Files of other folders known to exist join it, named by their paths.
  void StorePipelined(std::optional<TSeriesStore> confirmed, TSeriesStore first,
                      const std::function<std::optional<TSeriesStore>(bool)>& takeNext, IStoreSeries& series);
  // The replies after the first store of a connection, a NOOP sent during
  // it among them: they tell whether the server read the NOOP meanwhile.
  void ReadProbedStoreReplies();
  // The passive port of a request sent ahead of its STOR; raises when there
  // is none (the STOR is then unanswered: the caller drops the connection).
  int AheadPort(const std::string& command);
  // Reads the replies of an RNFR and RNTO sent together.
  bool ReadRenameReplies();
  // Opens the data connection: passive, or listening for the server's with
  // PORT sent and answered; given portCommand, the PORT is handed back
  // there unsent (the caller sends it and reads its reply later).
  void OpenDataConnection(std::string* portCommand = nullptr);
  // Writes commands (empty ones left out) in one write, without waiting
  // for their replies.
  void SendOnly(const std::vector<std::string>& commands);
  void AcceptDataConnection();
  TIdTCPConnection* Data();
  void ReleaseDataConnection();
  void ReadTransferReplies();
  void ReadStoreReplies();
  void AgreeNameEncoding();
  std::string ReceiveListing();

  std::unique_ptr<TIdSimpleServer> data_;
  std::unique_ptr<TIdTCPClient> passiveData_;
  TTlsSession NextDataSession();
  void KeepSessions(TTlsStream* stream);
  TCertificateInfo certificate_;
  std::vector<TTlsSession> sessions_;  // unused sessions, newest last
  bool dataTls_ = false;
  bool featuresAnswered_ = false;
  bool epsvRefused_ = false;
  bool epsvAnswered_ = false;  // an EPSV of this connection gave a port
  bool abortSent_ = false;     // ABOR written during the current transfer
  // What the first store of the connection showed: whether the server leaves
  // commands unread while it receives a file.
  enum class TReadsDuringTransfer { Unknown, No, Yes };
  TReadsDuringTransfer readsDuringTransfer_ = TReadsDuringTransfer::Unknown;
  // A series that sent ahead has failed on this client: it sends ahead no more.
  bool aheadFailed_ = false;
  // A passive port the server opened for the next data connection, asked for
  // with the end of the last store; dropped by a command that changes folders
  // or names (a server may close the port then).
  std::optional<int> nextPassivePort_;
  bool utf8Names_ = false;
  TStringList listingLines_;
  std::optional<TIdFTPListItems> parsed_;
};

}  // namespace tovra
