// tovra-cli check-updates: the update check over every site of the
// application folder, printed site by site; --save then records the state of
// the disk as the managed file list, as closing the window does.
#include "cli/update_commands.h"

#include "platform/files.h"
#include "sites/site_list.h"

namespace tovra::cli {

namespace {

const TSyntax kCheckUpdates{"check-updates",
                            {{"--save", nullptr, "then record every site's files as they are now"}},
                            "",
                            "lists the pages and movies that are new or changed since the managed file list was\n"
                            "saved, site by site: a line \"[SITE]\", then the full path of each file indented by\n"
                            "two spaces; --save then records every site's files as they are now (as closing the\n"
                            "window does), so the next check starts from here"};

// A site marker row carries "0" where a file row carries its packed time.
bool IsSiteMarker(const TStringList& row) { return row.Count() == 2 && row[1] == "0"; }

int RunCheckUpdates(const Args& given) {
  const TParsedArgs parsed = ParseArgs(kCheckUpdates, given);
  const Args& args = parsed.Operands();
  const bool save = parsed.Has("--save");
  if (!args.empty()) throw UsageError{"unexpected argument " + args[0]};
  TCliUpdateCheck run;
  run.Run();
  if (run.Check().PendingUpdates().Empty()) {
    run.ReportNothingFound(!save);
  } else {
    for (const TSiteUpdates& site : run.Check().TakePendingBySite()) {
      PrintLine("[" + site.site + "]");
      for (const std::string& file : site.files) PrintLine("  " + file);
    }
  }
  // The scan just shown, not a new one: a file changed since it was printed
  // must still count as changed at the next check.
  if (save) run.Check().SaveManagedFileList();
  return kExitOk;
}

}  // namespace

TStringList TCliSiteProfiles::SiteNames() { return LoadSiteList(); }

std::string TCliSiteProfiles::LoadRootDir(const std::string& siteName) {
  profile_.LoadProfile(siteName, false);  // the root is all a check needs
  return profile_.LocalRootDir;
}

void TCliUpdateCheck::Run() { check_.CheckUpdates(); }

void TCliUpdateCheck::ReportNothingFound(bool hintSave) {
  messenger_.ShowMessage(TMessageKind::Information, "更新されたファイルは検出されませんでした。");
  if (hintSave && !FileExists(check_.ListPath()))
    PrintError("(no managed file list yet: 'tovra-cli check-updates --save' records the current state)");
}

void TCliUpdateCheck::SaveAfterUpload() {
  const TStringsList& scan = check_.CurrentScan();
  TStringsList saved;
  if (FileExists(check_.ListPath())) saved.LoadRows(check_.ListPath());
  TStringsList stillPending;  // for its case-blind index
  for (const std::string& path : check_.PendingUpdates()) stillPending.AddPair(path, path);
  TStringsList next;
  for (int i = 0; i < scan.Count(); ++i) {
    const TStringList& row = scan.RowAt(i);
    if (IsSiteMarker(row) || stillPending.FindRow(row[0]) == -1) {
      next.AddRow(row);
      continue;
    }
    const int at = saved.FindRow(row[0]);
    if (at != -1 && saved.RowAt(at).Count() >= 2) next.AddPair(row[0], saved.RowAt(at)[1]);
  }
  next.SaveRows(check_.ListPath());
}

void RegisterUpdateCommands() {
  Commands().push_back(
      {"check-updates", UsageOf(kCheckUpdates), [](const Args& args) { return RunCheckUpdates(args); }});
}

}  // namespace tovra::cli
