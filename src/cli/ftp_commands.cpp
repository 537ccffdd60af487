// tovra-cli put and ls: the FTP session from the terminal, for users checking
// a server. put sends through the transfer engine as an upload does (one
// connection per file); ls prints the parsed listing of a remote folder.
// The password comes from TOVRA_PASSWORD or the terminal, never from argv.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli_certificate_trust.h"
#include "cli/cli_common.h"
#include "cli/interrupt.h"
#include "cli/put_run.h"
#include "cli/sftp_commands.h"
#include "ftp/dmFtp.h"
#include "html/dependencies.h"
#include "platform/encoding.h"
#include "sites/extended_settings.h"
#include "util/errors.h"
#include "util/number_text.h"

namespace tovra::cli {

namespace {

constexpr int kImplicitTlsPort = 990;

constexpr TOption kPortOption{"--port", "P", "its port (default 21; 990 with --tls implicit)"};
constexpr TOption kPassiveOption{"--passive", nullptr, "passive data connections (default: active)"};
constexpr TOption kTlsOption{"--tls", "none|explicit-if-available|explicit|implicit", "encryption (default none)"};
constexpr TOption kPinOption{"--pin", "SHA256", "trust the server certificate with this fingerprint"};
constexpr TOption kNamesOption{"--names", "auto|cp932|utf-8",
                               "the server's file name encoding (default cp932; auto: UTF-8 when FEAT lists UTF8)"};
constexpr TOption kTraceOption{"--trace", nullptr, "print the commands and replies on stderr"};

const TSyntax kPut{"put",
                   {kHostOption, kPortOption, kUserOption, kRemoteDirOption, kPassiveOption, kTlsOption, kPinOption,
                    kNamesOption, kTraceOption},
                   "FILE...",
                   "upload each FILE into DIR (relative to the login folder, or absolute below it),\n"
                   "creating missing folders; one connection per file. Password: TOVRA_PASSWORD or the terminal."};
const TSyntax kLs{"ls",
                  {kHostOption,
                   kPortOption,
                   kUserOption,
                   {"--raw", nullptr, "print the server's lines"},
                   kPassiveOption,
                   kTlsOption,
                   kPinOption,
                   kNamesOption,
                   kTraceOption},
                  "[DIR]",
                  "list a remote folder: type (d, -, l), size and name per entry."};
const TSyntax kCert{"cert",
                    {{"--host", "H", "the server's name or address", true},
                     {"--port", "P", "its port (default 21; 990 with --implicit)"},
                     {"--implicit", nullptr, "TLS from the first byte"}},
                    "",
                    "print the server certificate's subject, issuer, validity and SHA-256 fingerprint\n"
                    "(after AUTH TLS, or from the first byte with --implicit)"};

// The password in CP932. A conversion error names where the password came
// from, never the password itself.
std::string ConvertPassword(std::string_view text, const char* field) {
  try {
    return FromTerminal(text);
  } catch (const EEncodingError&) {
    throw EEncodingError(std::string("文字コードを変換できません: ") + field);
  }
}

std::string ReadPasswordFromTerminal() {
  int tty = ::open("/dev/tty", O_RDWR | O_CLOEXEC);
  if (tty < 0) throw UsageError{"no password: set TOVRA_PASSWORD or run from a terminal"};
  termios saved{};
  bool restore = ::tcgetattr(tty, &saved) == 0;
  if (restore) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(tty, TCSAFLUSH, &quiet);
  }
  (void)!::write(tty, "Password: ", 10);
  std::string line;
  char c = 0;
  while (::read(tty, &c, 1) == 1 && c != '\n') line += c;
  if (restore) ::tcsetattr(tty, TCSAFLUSH, &saved);
  (void)!::write(tty, "\n", 1);
  ::close(tty);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return ConvertPassword(line, "Password");
}

std::string Password() {
  if (const char* env = std::getenv("TOVRA_PASSWORD")) return ConvertPassword(env, "TOVRA_PASSWORD");
  return ReadPasswordFromTerminal();
}

TFtpEncryption ParseTls(const std::string& text) {
  if (text.empty() || text == "none") return TFtpEncryption::None;
  if (text == "explicit-if-available") return TFtpEncryption::ExplicitIfAvailable;
  if (text == "explicit") return TFtpEncryption::Explicit;
  if (text == "implicit") return TFtpEncryption::Implicit;
  throw UsageError{"--tls takes none, explicit-if-available, explicit or implicit"};
}

// The connection settings of the common options.
TFtpConnectionSettings ConnectionOf(const TParsedArgs& args) {
  TFtpConnectionSettings settings;
  settings.passive = args.Has("--passive");
  settings.encryption = ParseTls(args.Value("--tls"));
  std::string pin = args.Value("--pin");
  if (!pin.empty() && CanonicalSha256(pin).empty()) {
    throw UsageError{"--pin takes a SHA-256 fingerprint: 32 hex pairs, such as AB:CD:..."};
  }
  settings.certificateSha256 = pin;
  const std::string names = args.Value("--names");
  if (!names.empty()) {
    TExtendedSettings extended;
    extended.Set("RemoteNameEncoding", names);
    settings.nameEncoding = extended.RemoteNameEncoding();
  }
  return settings;
}

THostInfo HostOf(const TParsedArgs& args, const TFtpConnectionSettings& settings) {
  THostInfo host;
  host.HostName = args.Value("--host");
  host.Port = ParsePort(args.Value("--port"), settings.encryption == TFtpEncryption::Implicit ? kImplicitTlsPort : 21);
  host.UserName = args.Value("--user");
  return host;
}

void PrintTrace(char direction, const std::string& line) { PrintError(std::string(1, direction) + " " + line); }

// The session set up from the common options.
void SetUpSession(TFTP& ftp, const TParsedArgs& args, TCliCertificateTrust& trust) {
  const TFtpConnectionSettings settings = ConnectionOf(args);
  ftp.ApplyConnectionSettings(settings);
  ftp.CertificateTrust = &trust;
  ftp.HostInfo = HostOf(args, settings);
  if (args.Has("--trace")) ftp.IdFTP1.OnTrace = PrintTrace;
  ftp.OnMessage = [](const std::string& line) { PrintLine(line); };
}

// A remote folder with "." or ".." pieces could climb out of the login
// folder that the prefix test below sees it in ("/home/u/../x").
void RefuseDotPieces(const std::string& dir) {
  if (HasRemoteDotPiece(dir)) {
    throw ETovraError(FormatMessage("リモートフォルダ %s に \".\" や \"..\" は使えません", {dir}));
  }
}

// DIR relative to the login folder, or absolute below it, as an absolute path.
std::string RemoteFolder(const std::string& home, const std::string& dir) {
  RefuseDotPieces(home);
  std::string base = home.empty() || home.back() != '/' ? home + "/" : home;
  if (dir.empty() || dir == ".") return home;
  RefuseDotPieces(dir);
  if (dir[0] != '/') return base + dir;
  if (dir == home || dir.rfind(base, 0) == 0) return dir;
  throw ETovraError(FormatMessage("リモートフォルダ %s はログイン時のフォルダ %s の下にありません", {dir, home}));
}

int RunPut(const Args& given) {
  if (std::find(given.begin(), given.end(), "--sftp") != given.end()) return RunSftpPut(given);
  const TParsedArgs args = ParseArgs(kPut, given);
  TPutTarget target;
  target.plan.connection = ConnectionOf(args);
  target.plan.host = HostOf(args, target.plan.connection);
  target.dir = args.Value("--remote-dir");
  CheckPutArguments(target.dir, args.Operands());
  target.plan.host.Password = Password();
  TCliCertificateTrust trust("--pin %s");
  TRunHooks hooks;
  hooks.certificateTrust = &trust;
  if (args.Has("--trace")) hooks.trace = PrintTrace;
  target.loginFolder = [host = target.plan.host, connection = target.plan.connection, &trust, trace = hooks.trace] {
    TFTP ftp;
    ftp.ApplyConnectionSettings(connection);
    ftp.CertificateTrust = &trust;
    ftp.IdFTP1.OnTrace = trace;
    TInterruptCancels interrupts(ftp.CancelRequested);
    ftp.ConnectTo(host, THostInfo());
    ftp.IdFTP1.CloseSession();
    return ftp.HomeDir;
  };
  return SendPutFiles(std::move(target), args.Operands(), hooks);
}

char TypeLetter(TIdDirItemType type) {
  switch (type) {
    case TIdDirItemType::ditDirectory:
      return 'd';
    case TIdDirItemType::ditSymbolicLink:
      return 'l';
    default:
      return '-';
  }
}

int RunLs(const Args& given) {
  if (std::find(given.begin(), given.end(), "--sftp") != given.end()) return RunSftpLs(given);
  const TParsedArgs parsed = ParseArgs(kLs, given);
  const Args& args = parsed.Operands();
  TFTP ftp;
  TCliCertificateTrust trust("--pin %s");
  SetUpSession(ftp, parsed, trust);
  TInterruptCancels interrupts(ftp.CancelRequested);
  const bool raw = parsed.Has("--raw");
  if (args.size() > 1) throw UsageError{"ls takes at most one DIR"};
  ftp.HostInfo.Password = Password();
  ftp.Connect();
  if (!args.empty()) ftp.ChangeRemoteDir(args[0]);
  ftp.GetRemoteFileInfo("*.*");
  if (raw) {
    for (const auto& line : ftp.IdFTP1.ListingLines()) PrintLine(line);
  } else {
    for (const auto& item : ftp.IdFTP1.ParsedListing()) {
      PrintLine(std::string(1, TypeLetter(item.ItemType)) + " " + std::to_string(item.Size) + " " + item.FileName);
    }
  }
  ftp.Disconnect();
  if (ftp.IdFTP1.IsConnected()) ftp.IdFTP1.CloseSession();
  return kExitOk;
}

int RunCert(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kCert, given);
  const Args& args = parsed.Operands();
  TIdFTP client;
  const bool implicit = parsed.Has("--implicit");
  client.Host = parsed.Value("--host");
  client.Port = ParsePort(parsed.Value("--port"), implicit ? kImplicitTlsPort : 21);
  client.Encryption = implicit ? TFtpEncryption::Implicit : TFtpEncryption::Explicit;
  if (!args.empty()) throw UsageError{"cert takes no arguments"};
  PrintCertificate(client.FetchCertificate());
  return kExitOk;
}

}  // namespace

std::string AskPassword() { return Password(); }
int ParsePort(const std::string& text, int fallback) {
  if (text.empty()) return fallback;
  auto port = ParseDecimal(text, 1, 65535);
  if (!port) throw UsageError{"--port needs a number from 1 to 65535"};
  return static_cast<int>(*port);
}
void CheckRemoteDir(const std::string& dir) { RefuseDotPieces(dir); }
std::string ResolveRemoteFolder(const std::string& home, const std::string& dir) { return RemoteFolder(home, dir); }

void RegisterFtpCommands() {
  Commands().push_back({"put", UsageOf(kPut), RunPut});
  Commands().push_back({"ls", UsageOf(kLs), RunLs});
  Commands().push_back({"cert", UsageOf(kCert), RunCert});
}

}  // namespace tovra::cli
