// tovra-cli put and ls: the FTP session from the terminal, for users checking
// a server. put drives the session exactly as the transfer run does (one
// connection per file); ls prints the parsed listing of a remote folder.
// The password comes from TOVRA_PASSWORD or the terminal, never from argv.
#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli_certificate_trust.h"
#include "cli/cli_common.h"
#include "cli/interrupt.h"
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

constexpr const char* kPutUsage =
    "  put --host H [--port P] --user U --remote-dir DIR [CONNECTION] [--trace] FILE...\n"
    "      upload each FILE into DIR (relative to the login folder, or absolute below it),\n"
    "      creating missing folders; one connection per file. Password: TOVRA_PASSWORD or the terminal.";
constexpr const char* kLsUsage =
    "  ls --host H [--port P] --user U [CONNECTION] [--raw] [--trace] [DIR]\n"
    "      list a remote folder: type (d, -, l), size and name per entry; --raw prints the server's lines.\n"
    "      CONNECTION (put, ls): --passive  passive data connections (default: active)\n"
    "                            --tls none|explicit-if-available|explicit|implicit  (default none;\n"
    "                                  implicit uses port 990 unless --port is given)\n"
    "                            --pin SHA256  trust the server certificate with this fingerprint\n"
    "                            --names auto|cp932|utf-8  the server's file name encoding (default\n"
    "                                  cp932; auto: UTF-8 when the server's FEAT lists UTF8)";
constexpr const char* kCertUsage =
    "  cert --host H [--port P] [--implicit]\n"
    "      print the server certificate's subject, issuer, validity and SHA-256 fingerprint\n"
    "      (after AUTH TLS, or from the first byte with --implicit, port 990 by default)";

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

int ParsePort(const std::string& text, int fallback = 21) {
  if (text.empty()) return fallback;
  auto port = ParseDecimal(text, 1, 65535);
  if (!port) throw UsageError{"--port needs a number from 1 to 65535"};
  return static_cast<int>(*port);
}

TFtpEncryption ParseTls(const std::string& text) {
  if (text.empty() || text == "none") return TFtpEncryption::None;
  if (text == "explicit-if-available") return TFtpEncryption::ExplicitIfAvailable;
  if (text == "explicit") return TFtpEncryption::Explicit;
  if (text == "implicit") return TFtpEncryption::Implicit;
  throw UsageError{"--tls takes none, explicit-if-available, explicit or implicit"};
}

// The session set up from the common options (consumed from args).
void SetUpSession(TFTP& ftp, Args& args, TCliCertificateTrust& trust) {
  TFtpConnectionSettings settings;
  settings.passive = TakeFlag(args, "--passive");
  settings.encryption = ParseTls(TakeOption(args, "--tls"));
  std::string pin = TakeOption(args, "--pin");
  if (!pin.empty() && CanonicalSha256(pin).empty()) {
    throw UsageError{"--pin takes a SHA-256 fingerprint: 32 hex pairs, such as AB:CD:..."};
  }
  settings.certificateSha256 = pin;
  const std::string names = TakeOption(args, "--names");
  if (!names.empty()) {
    TExtendedSettings extended;
    extended.Set("RemoteNameEncoding", names);
    settings.nameEncoding = extended.RemoteNameEncoding();
  }
  ftp.ApplyConnectionSettings(settings);
  ftp.CertificateTrust = &trust;
  ftp.HostInfo.HostName = TakeOption(args, "--host");
  ftp.HostInfo.Port =
      ParsePort(TakeOption(args, "--port"), settings.encryption == TFtpEncryption::Implicit ? kImplicitTlsPort : 21);
  ftp.HostInfo.UserName = TakeOption(args, "--user");
  if (ftp.HostInfo.HostName.empty()) throw UsageError{"--host is required"};
  if (ftp.HostInfo.UserName.empty()) throw UsageError{"--user is required"};
  if (TakeFlag(args, "--trace")) {
    ftp.IdFTP1.OnTrace = [](char direction, const std::string& line) {
      PrintError(std::string(1, direction) + " " + line);
    };
  }
  ftp.OnMessage = [](const std::string& line) { PrintLine(line); };
}

void RejectUnknownOptions(const Args& args) {
  for (const auto& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') throw UsageError{"unknown option " + arg};
  }
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

int RunPut(Args args) {
  if (TakeFlag(args, "--sftp")) return RunSftpPut(args);
  TFTP ftp;
  TCliCertificateTrust trust("--pin %s");
  SetUpSession(ftp, args, trust);
  TInterruptCancels interrupts(ftp.CancelRequested);
  bool hasDir = false;
  for (const auto& arg : args) hasDir = hasDir || arg == "--remote-dir";
  std::string dir = TakeOption(args, "--remote-dir");
  if (!hasDir) throw UsageError{"--remote-dir is required"};
  RejectUnknownOptions(args);
  if (args.empty()) throw UsageError{"no FILE to upload"};
  if (dir != ".") RefuseDotPieces(dir);  // before any connection is made
  ftp.HostInfo.Password = Password();
  for (const auto& file : args) {
    if (ftp.CancelRequested.load(std::memory_order_relaxed) == 1) break;
    PrintLine(file + " 転送中");
    ftp.Connect();
    std::string remote = RemoteFolder(ftp.HomeDir, dir);
    ftp.AdjustRemoteDir(remote);
    ftp.ChangeRemoteDir(remote);
    ftp.PutFile(file);
    ftp.Disconnect();
  }
  if (ftp.IdFTP1.IsConnected()) ftp.IdFTP1.CloseSession();
  if (ftp.CancelRequested.load(std::memory_order_relaxed) == 1) {
    PrintError("転送を中止しました");
    return kExitInterrupted;
  }
  PrintLine("転送完了");
  return kExitOk;
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

int RunLs(Args args) {
  if (TakeFlag(args, "--sftp")) return RunSftpLs(args);
  TFTP ftp;
  TCliCertificateTrust trust("--pin %s");
  SetUpSession(ftp, args, trust);
  TInterruptCancels interrupts(ftp.CancelRequested);
  bool raw = TakeFlag(args, "--raw");
  RejectUnknownOptions(args);
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

int RunCert(Args args) {
  TIdFTP client;
  const bool implicit = TakeFlag(args, "--implicit");
  client.Host = TakeOption(args, "--host");
  client.Port = ParsePort(TakeOption(args, "--port"), implicit ? kImplicitTlsPort : 21);
  client.Encryption = implicit ? TFtpEncryption::Implicit : TFtpEncryption::Explicit;
  if (client.Host.empty()) throw UsageError{"--host is required"};
  RejectUnknownOptions(args);
  if (!args.empty()) throw UsageError{"cert takes no arguments"};
  PrintCertificate(client.FetchCertificate());
  return kExitOk;
}

}  // namespace

std::string AskPassword() { return Password(); }
void CheckRemoteDir(const std::string& dir) { RefuseDotPieces(dir); }
std::string ResolveRemoteFolder(const std::string& home, const std::string& dir) { return RemoteFolder(home, dir); }

void RegisterFtpCommands() {
  Commands().push_back({"put", kPutUsage, [](const Args& args) { return RunPut(args); }});
  Commands().push_back({"ls", kLsUsage, [](const Args& args) { return RunLs(args); }});
  Commands().push_back({"cert", kCertUsage, [](const Args& args) { return RunCert(args); }});
}

}  // namespace tovra::cli
