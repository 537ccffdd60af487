// tovra-cli put --sftp, ls --sftp and hostkey: the SFTP session from the
// terminal. The host key must be vouched for by --pin or known_hosts before
// any password or key is offered; hostkey prints it and how to pin it.
#include "cli/sftp_commands.h"

#include <optional>

#include "cli/cli_host_key_prompt.h"
#include "cli/interrupt.h"
#include "cli/put_run.h"
#include "ftp/dmFtp.h"
#include "sftp/sftp_session.h"
#include "sites/extended_settings.h"

namespace tovra::cli {

namespace {

constexpr int kSshPort = 22;
constexpr const char* kPinAdvice = "--pin %s";

constexpr TOption kSftpOption{"--sftp", nullptr, "SFTP instead of FTP", true};
constexpr TOption kPortOption{"--port", "P", "its port (default 22)"};
constexpr TOption kPinOption{"--pin", "SHA256:...", "trust the host key with this fingerprint"};
constexpr TOption kKeyOption{"--key", "FILE", "a private key, its passphrase the password"};
constexpr TOption kNamesOption{"--names", "auto|cp932|utf-8", "remote names (default: UTF-8, as auto)"};

const TSyntax kHostKey{"hostkey",
                       {kHostOption, kPortOption},
                       "",
                       "print the SFTP server's host key type and SHA-256 fingerprint and how to pin it.\n"
                       "put and ls over SFTP (below): the host key pinned or in ~/.ssh/known_hosts."};
const TSyntax kSftpPut{
    "put",
    {kSftpOption, kHostOption, kPortOption, kUserOption, kRemoteDirOption, kPinOption, kKeyOption, kNamesOption},
    "FILE...",
    "upload each FILE into DIR over SFTP, creating missing folders."};
const TSyntax kSftpLs{"ls",
                      {kSftpOption, kHostOption, kPortOption, kUserOption, kPinOption, kKeyOption, kNamesOption},
                      "[DIR]",
                      "list a remote folder over SFTP: type, size and name per entry."};

// The session's settings from the command's options; the password is
// asked for last, once the options are known to be right.
TSftpSettings SettingsOf(const TParsedArgs& args) {
  TSftpSettings s;
  s.host = args.Value("--host");
  s.port = ParsePort(args.Value("--port"), kSshPort);
  s.user = args.Value("--user");
  std::string pin = args.Value("--pin");
  if (!pin.empty()) {
    auto canonical = NormalizeExtendedValue("HostKeySha256", pin);
    if (!canonical) throw UsageError{"--pin takes a host key fingerprint: SHA256: and 43 base64 characters"};
    s.hostKeyPin = *canonical;
  }
  s.privateKeyFile = args.Value("--key");
  // Without --names, and with auto, names go as UTF-8, as servers of today keep them.
  std::string names = args.Value("--names");
  auto encoding =
      names.empty() ? std::optional<std::string>("auto") : NormalizeExtendedValue("RemoteNameEncoding", names);
  if (!encoding) throw UsageError{"--names takes auto, cp932 or utf-8"};
  s.utf8Names = *encoding != "cp932";
  return s;
}

// The same settings as a plan's: the extended settings an SFTP site would
// hold, one session kept for every file.
void PlanSftp(TUploadPlan& plan, const TSftpSettings& s) {
  plan.host.HostName = s.host;
  plan.host.Port = s.port;
  plan.host.UserName = s.user;
  plan.extended.Set("Protocol", "sftp");
  plan.extended.Set("ReuseConnection", "1");
  if (!s.hostKeyPin.empty()) plan.extended.Set("HostKeySha256", s.hostKeyPin);
  if (!s.privateKeyFile.empty()) plan.extended.Set("PrivateKeyFile", s.privateKeyFile);
  plan.extended.Set("RemoteNameEncoding", s.utf8Names ? "utf-8" : "cp932");
}

std::string RemotePath(const std::string& home, const std::string& dir) {
  if (dir.empty() || dir[0] == '/') return dir.empty() ? home : dir;
  return (home == "/" ? "" : home) + "/" + dir;
}

int RunHostKey(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kHostKey, given);
  const Args& args = parsed.Operands();
  TSftpSession session;
  TInterruptCancels interrupts(session.CancelRequested);
  session.Settings.host = parsed.Value("--host");
  session.Settings.port = ParsePort(parsed.Value("--port"), kSshPort);
  if (!args.empty()) throw UsageError{"unexpected argument: " + args[0]};
  THostKey key = session.FetchHostKey();
  PrintLine(key.type + " " + key.fingerprint);
  PrintLine("この鍵を使うには、サーバーの管理者に確かめてから: tovra-cli site set SITE HostKeySha256=" +
            key.fingerprint + " (put と ls では --sftp --pin " + key.fingerprint + ")");
  return kExitOk;
}

int SendOverSftp(const Args& given) {
  const TParsedArgs args = ParseArgs(kSftpPut, given);
  const TSftpSettings settings = SettingsOf(args);
  TPutTarget target;
  PlanSftp(target.plan, settings);
  target.dir = args.Value("--remote-dir");
  CheckPutArguments(target.dir, args.Operands());
  target.plan.host.Password = AskPassword();
  TCliHostKeyPrompt prompt(kPinAdvice);
  TRunHooks hooks;
  hooks.hostKeyPrompt = &prompt;
  target.loginFolder = [settings, password = target.plan.host.Password, &prompt] {
    TSftpSession session;
    session.Settings = settings;
    session.Settings.password = password;
    session.Prompt = &prompt;
    TInterruptCancels interrupts(session.CancelRequested);
    session.Connect();
    std::string home = session.HomeDir();
    session.Close();
    return home;
  };
  return SendPutFiles(std::move(target), args.Operands(), hooks);
}

int ListOverSftp(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kSftpLs, given);
  const Args& args = parsed.Operands();
  TSftpSession session;
  TCliHostKeyPrompt prompt(kPinAdvice);
  session.Prompt = &prompt;
  session.Settings = SettingsOf(parsed);
  TInterruptCancels interrupts(session.CancelRequested);
  if (args.size() > 1) throw UsageError{"ls takes at most one DIR"};
  session.Settings.password = AskPassword();
  session.Connect();
  for (const auto& entry : session.List(RemotePath(session.HomeDir(), args.empty() ? "" : args[0]))) {
    PrintLine(std::string(1, entry.type) + " " + std::to_string(entry.size) + " " + entry.name);
  }
  session.Close();
  return kExitOk;
}

// A usage error of an SFTP form shows that form's usage, not the FTP form's.
int WithUsageOf(const TSyntax& form, int (*run)(const Args&), const Args& args) {
  try {
    return run(args);
  } catch (UsageError& e) {
    if (e.usage.empty()) e.usage = UsageOf(form);
    throw;
  }
}

}  // namespace

int RunSftpPut(const Args& args) { return WithUsageOf(kSftpPut, SendOverSftp, args); }
int RunSftpLs(const Args& args) { return WithUsageOf(kSftpLs, ListOverSftp, args); }

void RegisterSftpCommands() {
  // put and ls show their FTP forms; their SFTP forms come with hostkey.
  Commands().push_back({"hostkey", UsageOf({&kHostKey, &kSftpPut, &kSftpLs}), RunHostKey});
}

}  // namespace tovra::cli
