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

namespace tovra::cli {

namespace {

void PrintPlan(const TPublishPlan& plan, bool deleteRemoved, TServerNames names) {
  for (const auto& line : PublishPlanLines(plan, names)) PrintLine(line);
  if (!deleteRemoved && !plan.deletions.empty()) PrintLine("削除は --delete を付けたときだけ行います");
}

int RunPublish(Args args) {
  const std::string site = TakeOption(args, "--site");
  TCliMessenger messenger(TakeAnswerFlags(args));
  const bool dryRun = TakeFlag(args, "--dry-run");
  const bool deleteRemoved = TakeFlag(args, "--delete");
  const bool rehash = TakeFlag(args, "--rehash");
  if (site.empty()) throw UsageError{"--site NAME is required"};
  if (!args.empty()) throw UsageError{"unknown argument " + args.front()};

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
  if (outcome == TRunOutcome::Aborted || TInterruptCancels::Interrupted()) return kExitInterrupted;
  return kExitOk;
}

}  // namespace

void RegisterPublishCommand() {
  Commands().push_back({"publish",
                        "  publish --site NAME [--dry-run] [--delete] [--rehash] [--yes|--no]\n"
                        "      sends every file of the site folder that is new or changed since the last publish\n"
                        "      (pages last); --dry-run prints the plan only; --delete also deletes on the server\n"
                        "      the files this program published that are gone locally; --rehash compares the\n"
                        "      content of every file, not only its size and time",
                        [](const Args& args) { return RunPublish(args); }});
}

}  // namespace tovra::cli
