// tovra-cli upload: the window's upload from the command line. Loads a site's
// profile from the application folder, prepares the upload list and runs the
// transfer on the timer thread, printing the status memo's lines. Ctrl-C is
// the abort button. With --changed the selection is the site's files that the
// update check finds new or changed.
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>

#include "cli/cli_certificate_trust.h"
#include "cli/cli_common.h"
#include "cli/cli_host_key_prompt.h"
#include "cli/cli_messenger.h"
#include "cli/interrupt.h"
#include "cli/terminal_upload_view.h"
#include "cli/update_commands.h"
#include "ftp/dmFtp.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"
#include "upload/apply_site_profile.h"
#include "upload/upload_job.h"

namespace tovra::cli {

namespace {

constexpr int kExitMissingStopped = 3;

const TSyntax kUpload{"upload",
                      {{"--site", "NAME", "the site", true},
                       {"--missing", "ask|skip|stop", "what to do about missing dependencies (default ask)"},
                       kYesOption,
                       kNoOption,
                       {"--only", nullptr, "the files alone, without their dependencies"},
                       {"--popup", nullptr, "the popup step of page rewriting"},
                       {"--bottom-banner", nullptr, "the bottom banner step"},
                       {"--top-banner", nullptr, "the top banner step"},
                       {"--flash", nullptr, "the Flash step"},
                       {"--changed", nullptr, "the site's new and changed files instead of FILE"}},
                      "(FILE... | --changed)",
                      "uploads the files and their dependencies to the site's server; --changed takes\n"
                      "the site's files that check-updates finds new or changed, and after a completed\n"
                      "run records them in the managed file list (other sites' changes stay pending)"};

TMissingAnswer ParseMissing(const std::string& text) {
  if (text.empty() || text == "ask") return TMissingAnswer::Ask;
  if (text == "skip") return TMissingAnswer::Skip;
  if (text == "stop") return TMissingAnswer::Stop;
  throw UsageError{"--missing takes ask, skip or stop"};
}

int RunUpload(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kUpload, given);
  const Args& args = parsed.Operands();
  const std::string site = parsed.Value("--site");
  TMissingAnswer missing = ParseMissing(parsed.Value("--missing"));
  // --yes and --no answer the questions that "--missing ask" and the
  // preparation would otherwise read from standard input.
  TCliMessenger messenger(AnswerOf(parsed));
  TUploadOptions options;
  options.cxOnly = parsed.Has("--only");
  options.rewrite.popup = parsed.Has("--popup");
  options.rewrite.bottomBanner = parsed.Has("--bottom-banner");
  options.rewrite.topBanner = parsed.Has("--top-banner");
  options.rewrite.flash = parsed.Has("--flash");
  const bool changed = parsed.Has("--changed");
  if (changed && !args.empty()) throw UsageError{"--changed takes no FILE"};

  TConfigFile config;
  TSiteProfile profile(config);
  LoadNamedSite(profile, site);
  options.rewrite.pageEncoding = profile.Extended.PageEncoding();
  std::atomic<std::uint8_t> cancel{0};
  TCliCertificateTrust trust("tovra-cli site set \"" + site + "\" CertificateSha256=%s");
  TCliHostKeyPrompt hostKeyPrompt("tovra-cli site set \"" + site + "\" HostKeySha256=%s");
  // The connection's own notices (such as an unencrypted fallback) reach
  // the terminal as the run's status lines.
  const TRunHooks hooks = TerminalRunHooks(cancel, trust, hostKeyPrompt);
  TStringList selection;
  for (const auto& file : args) selection.Add(AbsoluteFromHere(file));
  std::unique_ptr<TCliUpdateCheck> updates;
  if (changed) {
    updates = std::make_unique<TCliUpdateCheck>();
    updates->Run();
    selection = updates->Check().TakePendingUnder(profile.LocalRootDir);
    if (selection.Empty()) {
      updates->ReportNothingFound(true);
      return kExitOk;
    }
  }

  TerminalUploadView view(missing, messenger, cancel);
  TUploadJob job(hooks, view, [] {});
  // The window's half-second pause before the run lets it show the final
  // list; on a terminal the run may begin at once.
  job.Timer().SetInterval(TMMTimer::kMinPeriod);
  TInterruptCancels interrupt(cancel);
  bool started = job.Start(selection, options, UploadSiteOf(profile));
  int status = kExitOk;
  if (!started) {
    status = TInterruptCancels::Interrupted() ? kExitInterrupted
             : view.RefusedMissing()          ? kExitMissingStopped
                                              : kExitOk;
  } else {
    TRunOutcome outcome = view.WaitForEnd();
    status = outcome == TRunOutcome::Completed ? kExitOk
             : outcome == TRunOutcome::Aborted ? kExitInterrupted
                                               : kExitFailure;
    if (TInterruptCancels::Interrupted()) status = kExitInterrupted;
    // A second --changed run should find nothing new; a run that did not
    // complete leaves the list alone, so its files are offered again.
    if (updates && status == kExitOk) updates->SaveAfterUpload();
  }
  return status;
}

}  // namespace

void RegisterUploadCommands() {
  Commands().push_back({"upload", UsageOf(kUpload), [](const Args& args) { return RunUpload(args); }});
}

}  // namespace tovra::cli
