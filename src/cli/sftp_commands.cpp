// tovra-cli put --sftp, ls --sftp and hostkey: the SFTP session from the
// terminal. The host key must be vouched for by --pin or known_hosts before
// any password or key is offered; hostkey prints it and how to pin it.
#include "cli/sftp_commands.h"

#include <optional>

#include "cli/cli_host_key_prompt.h"
#include "cli/interrupt.h"
#include "ftp/dmFtp.h"
#include "sftp/sftp_session.h"
#include "sites/extended_settings.h"
#include "util/number_text.h"

namespace tovra::cli {

namespace {

constexpr int kSshPort = 22;
constexpr const char* kPinAdvice = "--pin %s";

constexpr const char* kHostKeyUsage =
    "  hostkey --host H [--port P]\n"
    "      print the SFTP server's host key type and SHA-256 fingerprint (port 22 by default)\n"
    "      and how to pin it. put and ls take --sftp [--pin SHA256:...] [--key FILE] [--names auto|cp932|utf-8]:\n"
    "      SFTP on port 22 by default, the host key pinned or in ~/.ssh/known_hosts, a private key\n"
    "      whose passphrase is the password, remote names in UTF-8 (default, auto) or CP932.";

int ParseSshPort(const std::string& text) {
  if (text.empty()) return kSshPort;
  auto port = ParseDecimal(text, 1, 65535);
  if (!port) throw UsageError{"--port needs a number from 1 to 65535"};
  return static_cast<int>(*port);
}

void RejectOptions(const Args& args) {
  for (const auto& arg : args) {
    if (arg.size() > 1 && arg[0] == '-') throw UsageError{"unknown option " + arg};
  }
}

// The session from the command's options (consumed from args); the password
// is asked for last, once the options are known to be right.
void SetUp(TSftpSession& session, Args& args) {
  TSftpSettings& s = session.Settings;
  s.host = TakeOption(args, "--host");
  s.port = ParseSshPort(TakeOption(args, "--port"));
  s.user = TakeOption(args, "--user");
  std::string pin = TakeOption(args, "--pin");
  if (!pin.empty()) {
    auto canonical = NormalizeExtendedValue("HostKeySha256", pin);
    if (!canonical) throw UsageError{"--pin takes a host key fingerprint: SHA256: and 43 base64 characters"};
    s.hostKeyPin = *canonical;
  }
  s.privateKeyFile = TakeOption(args, "--key");
  // Without --names, and with auto, names go as UTF-8, as servers of today keep them.
  std::string names = TakeOption(args, "--names");
  auto encoding =
      names.empty() ? std::optional<std::string>("auto") : NormalizeExtendedValue("RemoteNameEncoding", names);
  if (!encoding) throw UsageError{"--names takes auto, cp932 or utf-8"};
  s.utf8Names = *encoding != "cp932";
  if (s.host.empty()) throw UsageError{"--host is required"};
  if (s.user.empty()) throw UsageError{"--user is required"};
}

std::string RemotePath(const std::string& home, const std::string& dir) {
  if (dir.empty() || dir[0] == '/') return dir.empty() ? home : dir;
  return (home == "/" ? "" : home) + "/" + dir;
}

int RunHostKey(Args args) {
  TSftpSession session;
  TInterruptCancels interrupts(session.CancelRequested);
  session.Settings.host = TakeOption(args, "--host");
  session.Settings.port = ParseSshPort(TakeOption(args, "--port"));
  if (session.Settings.host.empty()) throw UsageError{"--host is required"};
  RejectOptions(args);
  if (!args.empty()) throw UsageError{"unexpected argument: " + args[0]};
  THostKey key = session.FetchHostKey();
  PrintLine(key.type + " " + key.fingerprint);
  PrintLine("この鍵を使うには、サーバーの管理者に確かめてから: tovra-cli site set SITE HostKeySha256=" +
            key.fingerprint + " (put と ls では --sftp --pin " + key.fingerprint + ")");
  return kExitOk;
}

}  // namespace

int RunSftpPut(Args args) {
  TSftpSession session;
  TCliHostKeyPrompt prompt(kPinAdvice);
  session.Prompt = &prompt;
  SetUp(session, args);
  TInterruptCancels interrupts(session.CancelRequested);
  bool hasDir = false;
  for (const auto& arg : args) hasDir = hasDir || arg == "--remote-dir";
  std::string dir = TakeOption(args, "--remote-dir");
  if (!hasDir) throw UsageError{"--remote-dir is required"};
  RejectOptions(args);
  if (args.empty()) throw UsageError{"no FILE to upload"};
  if (dir != ".") CheckRemoteDir(dir);  // before any connection is made
  session.Settings.password = AskPassword();
  session.Connect();
  std::string folder = ResolveRemoteFolder(session.HomeDir(), dir);
  session.MakeFolders(folder);
  std::string base = folder.empty() || folder.back() != '/' ? folder + "/" : folder;
  for (const auto& file : args) {
    if (session.CancelRequested.load(std::memory_order_relaxed) == 1) break;
    PrintLine(file + " 転送中");
    session.StoreFile(file, base + RemoteNameOf(file));
  }
  session.Close();
  if (session.CancelRequested.load(std::memory_order_relaxed) == 1) {
    PrintError("転送を中止しました");
    return kExitInterrupted;
  }
  PrintLine("転送完了");
  return kExitOk;
}

int RunSftpLs(Args args) {
  TSftpSession session;
  TCliHostKeyPrompt prompt(kPinAdvice);
  session.Prompt = &prompt;
  SetUp(session, args);
  TInterruptCancels interrupts(session.CancelRequested);
  RejectOptions(args);
  if (args.size() > 1) throw UsageError{"ls takes at most one DIR"};
  session.Settings.password = AskPassword();
  session.Connect();
  for (const auto& entry : session.List(RemotePath(session.HomeDir(), args.empty() ? "" : args[0]))) {
    PrintLine(std::string(1, entry.type) + " " + std::to_string(entry.size) + " " + entry.name);
  }
  session.Close();
  return kExitOk;
}

void RegisterSftpCommands() {
  Commands().push_back({"hostkey", kHostKeyUsage, [](const Args& args) { return RunHostKey(args); }});
}

}  // namespace tovra::cli
