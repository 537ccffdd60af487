// tovra-cli publish: the whole site folder compared with what was last
// published, then sent: the plan (new, changed, deleted, unchanged) is
// printed first and confirmed; --dry-run stops there. Deletions on the
// server happen only with --delete. Ctrl-C is the abort button; a publish
// cut short resumes where it stopped on the next run.
#include <atomic>
#include <cstdio>

#include "cli/cli_certificate_trust.h"
#include "cli/cli_common.h"
#include "cli/cli_host_key_prompt.h"
#include "cli/cli_messenger.h"
#include "cli/interrupt.h"
#include "cli/terminal_upload_view.h"
#include "sites/dmConfig.h"
#include "sites/site_list.h"
#include "sites/site_profile.h"
#include "upload/apply_site_profile.h"
#include "upload/publish_run.h"
#include "upload/verify_after_run.h"

namespace tovra::cli {

namespace {

const TSyntax kPublish{"publish",
                       {{"--site", "NAME", "the site", true},
                        {"--dry-run", nullptr, "print the plan only"},
                        {"--delete", nullptr, "also delete on the server what is gone locally"},
                        {"--rehash", nullptr, "compare every file's content, not only its size and time"},
                        kYesOption,
                        kNoOption},
                       "",
                       "sends every file of the site folder that is new or changed since the last publish\n"
                       "(pages last); --dry-run prints the plan only; --delete also deletes on the server\n"
                       "the files this program published that are gone locally; --rehash compares the\n"
                       "content of every file, not only its size and time"};

void PrintPlan(const TPublishPlan& plan, bool deleteRemoved, TServerNames names) {
  for (const auto& line : PublishPlanLines(plan, names)) PrintLine(line);
  if (!deleteRemoved && !plan.deletions.empty()) PrintLine("削除は --delete を付けたときだけ行います");
}

int RunPublish(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kPublish, given);
  const std::string site = parsed.Value("--site");
  TCliMessenger messenger(AnswerOf(parsed));
  const bool dryRun = parsed.Has("--dry-run");
  const bool deleteRemoved = parsed.Has("--delete");
  const bool rehash = parsed.Has("--rehash");
  if (!parsed.Operands().empty()) throw UsageError{"unknown argument " + parsed.Operands().front()};

  TConfigFile config;
  TSiteProfile profile(config);
  const std::string name = LoadNamedSite(profile, site);
  TPublishRecord record(PublishRecordFileName(name));
  record.Load();
  TPublishPlan plan =
      BuildPublishPlan(profile.LocalRootDir, record, TPublishExclusions(profile.Extended.PublishExclude()), rehash);
  PrintPlan(plan, deleteRemoved, ServerNamesOf(profile.Extended));
  if (dryRun) return kExitOk;
  const bool work = !plan.uploads.empty() || (deleteRemoved && !plan.deletions.empty());
  if (work && !messenger.Ask("サイトを公開しますか?")) return kExitOk;

  std::atomic<std::uint8_t> cancel{0};
  TCliCertificateTrust trust("tovra-cli site set \"" + name + "\" CertificateSha256=%s");
  TCliHostKeyPrompt hostKeyPrompt("tovra-cli site set \"" + name + "\" HostKeySha256=%s");
  const TRunHooks hooks = TerminalRunHooks(cancel, trust, hostKeyPrompt);
  TerminalUploadView view(TMissingAnswer::Skip, messenger, cancel);
  TInterruptCancels interrupt(cancel);
  const TUploadSite target = UploadSiteOf(profile);
  TPublishRun run(target, hooks, view, record);
  TRunOutcome outcome = run.Run(plan, deleteRemoved);
  if (outcome == TRunOutcome::Completed) VerifyAfterRun(target, FilesSent(plan), view, cancel);
  if (outcome == TRunOutcome::Aborted || TInterruptCancels::Interrupted()) return kExitInterrupted;
  return kExitOk;
}

}  // namespace

void RegisterPublishCommand() {
  Commands().push_back({"publish", UsageOf(kPublish), [](const Args& args) { return RunPublish(args); }});
}

}  // namespace tovra::cli
