// tovra-cli verify: the site as its visitors see it. Each file is requested at
// its public address and compared with the local file; one line per file
// that differs, then the summary. Ctrl-C cuts the check short.
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "cli/cli_common.h"
#include "cli/interrupt.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"
#include "upload/site_verify.h"
#include "upload/verify_files.h"

namespace tovra::cli {

namespace {

constexpr int kDefaultTimeoutSeconds = 60;

const TSyntax kVerify{"verify",
                      {{"--site", "NAME", "the site", true},
                       {"--requisites", nullptr, "also check every file each page needs"},
                       {"--timeout", "SECONDS", "the longest wait for any byte (1-3600, default 60)"},
                       {"--all", nullptr, "every file of the last publish"}},
                      "[FILE...]",
                      "requests each file at the site's public address (WebURL) and compares it\n"
                      "with the local file: one line per file that differs, then a summary; exits 1\n"
                      "when anything differs. Without FILE: the files of the last upload; --all:\n"
                      "every file of the last publish (the whole site folder if it was never\n"
                      "published). --requisites also checks every file each page\n"
                      "needs as the server gives it (style sheets followed)."};

int TimeoutMsOf(const TParsedArgs& args) {
  const std::string text = args.Value("--timeout");
  if (text.empty()) return kDefaultTimeoutSeconds * 1000;
  char* end = nullptr;
  const long seconds = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || seconds < 1 || seconds > 3600) throw UsageError{"--timeout takes 1-3600 seconds"};
  return static_cast<int>(seconds * 1000);
}

int RunVerify(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kVerify, given);
  const Args& args = parsed.Operands();
  const std::string site = parsed.Value("--site");
  const bool all = parsed.Has("--all");
  const bool requisites = parsed.Has("--requisites");
  const int timeoutMs = TimeoutMsOf(parsed);
  if (all && !args.empty()) throw UsageError{"--all takes no FILE"};

  TConfigFile config;
  TSiteProfile profile(config);
  LoadNamedSite(profile, site);
  if (auto problem = WebUrlProblem(profile.WebURL)) {
    PrintError(*problem);
    return kExitFailure;
  }
  std::vector<std::string> files;
  for (const auto& file : args) files.push_back(AbsoluteFromHere(file));
  if (all) files = PublishedSiteFiles(site, profile.LocalRootDir);
  if (!all && args.empty()) files = LastUploadFiles(profile.LocalRootDir);
  if (files.empty()) {
    PrintError(all ? "サイトにファイルがありません" : "最後のアップロードにこのサイトのファイルがありません");
    return kExitFailure;
  }

  std::atomic<std::uint8_t> cancel{0};
  TInterruptCancels interrupt(cancel);
  TVerifySettings settings{profile.WebURL, profile.LocalRootDir, profile.Extended.Connections(),
                           timeoutMs,      requisites,           &cancel};
  const TVerifySummary summary = VerifySite(settings, files, [](const TVerifyResult& result) {
    if (result.kind != TVerifyKind::Same) PrintLine(VerifyResultLine(result));
  });
  PrintLine(VerifySummaryLine(summary));
  if (TInterruptCancels::Interrupted()) return kExitInterrupted;
  return summary.AnyDifference() ? kExitFailure : kExitOk;
}

}  // namespace

void RegisterVerifyCommand() {
  Commands().push_back({"verify", UsageOf(kVerify), [](const Args& args) { return RunVerify(args); }});
}

}  // namespace tovra::cli
