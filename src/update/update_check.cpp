#include "update/update_check.h"

#include <climits>

#include "platform/app_folder.h"
#include "platform/files.h"
#include "platform/path_pieces.h"
#include "sites/site_profile.h"
#include "util/char_string.h"
#include "util/errors.h"
#include "util/number_text.h"

namespace tovra {

namespace {

constexpr TDateTime kFindFileCheckedTime = 38309.0;  // 18 November 2004; unused while the filter is off

// A site marker row carries "0" where a file row carries its packed time,
// which is never 0 (its day of the month is at least 1).
bool IsSiteMarker(const TStringList& row) { return row.Count() == 2 && row[1] == "0"; }

// Clears a flag when the scope ends, however it ends.
class ScanGuard {
 public:
  explicit ScanGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~ScanGuard() { flag_ = false; }
  ScanGuard(const ScanGuard&) = delete;
  ScanGuard& operator=(const ScanGuard&) = delete;

 private:
  bool& flag_;
};

}  // namespace

std::string ManagedFileListPath() { return JoinPath(AppFolder(), "管理ファイルリスト.txt"); }

int StrToInt(std::string_view text) {
  std::string_view digits = text;
  while (!digits.empty() && digits[0] == ' ') digits.remove_prefix(1);
  auto value = ParseDecimal(digits, INT_MIN, INT_MAX);
  if (!value) throw EConvertError::NotAnInteger(text);
  return static_cast<int>(*value);
}

TUpdateCheck::TUpdateCheck(ISiteProfiles& sites, IUpdateView& view, IMessenger& messenger, std::string listPath)
    : sites_(sites), view_(view), messenger_(messenger), listPath_(std::move(listPath)) {
  FindFile1.IsFindSub = true;
  FindFile1.CheckTimeIs = tmNone;
  FindFile1.CheckTimeKind = tmLastWrite;
  FindFile1.CheckedTime = kFindFileCheckedTime;
  FindFile1.OnFind = [this](const std::string& fileName, const std::string& path, TSearchRec& search, bool& cancel) {
    FindFile1Find(fileName, path, search, cancel);
  };
}

bool TUpdateCheck::ScanSites() {
  if (scanning_) return false;
  ScanGuard guard(scanning_);
  FindFile1.SetFileMask(TStringList{"*.html", "*.htm", "*.swf"});
  currentScan_.Clear();
  skippedSites_.Clear();
  skippedNames_.Clear();
  const TStringList sites = sites_.SiteNames();
  // Afterwards the profile holder gets back the site the selector shows, also
  // when the scan fails part way. The selection is read at the end because the
  // user may pick another site while the search yields.
  try {
    for (int i = 0; i + 1 < sites.Count(); ++i) {
      // A site whose root folder has gone is passed over: the others are
      // still checked.
      std::string root;
      try {
        root = sites_.LoadRootDir(sites[i]);
      } catch (const EPathSettingError& e) {
        if (!PassOverMissingRoots) throw;
        skippedSites_.Add("「" + sites[i] + "」は基点フォルダーが無いため更新チェックから外しました: " + e.what());
        skippedNames_.Add(sites[i]);
        continue;
      }
      currentScan_.AddPair(sites[i], "0");
      FindFile1.FolderName = root;
      FindFile1.StartSearch();
    }
  } catch (...) {
    try {
      RestoreSelectedProfile(sites, view_.SelectedSiteIndex());
    } catch (...) {
    }
    throw;  // the scan's own error, not the restore's
  }
  RestoreSelectedProfile(sites, view_.SelectedSiteIndex());
  return true;
}

void TUpdateCheck::RestoreSelectedProfile(const TStringList& sites, int selected) {
  std::string root;
  if (selected >= 0 && selected < sites.Count()) LoadRoot(sites[selected], root);
}

bool TUpdateCheck::LoadRoot(const std::string& site, std::string& root) {
  try {
    root = sites_.LoadRootDir(site);
    return true;
  } catch (const EPathSettingError&) {
    return false;
  }
}

void TUpdateCheck::FindFile1Find(const std::string& fileName, const std::string& path, TSearchRec& search,
                                 bool& /*cancel*/) {
  std::string key = path + fileName;
  if (currentScan_.FindRow(key) == -1) currentScan_.AddPair(std::move(key), std::to_string(search.Time));
}

bool TUpdateCheck::CheckUpdates() {
  if (scanning_) return false;
  pendingUpdates_.Clear();
  unsent_.clear();
  const TStringList sites = sites_.SiteNames();
  if (sites.Count() < 2) return true;
  const int selected = view_.SelectedSiteIndex();
  ScanSites();
  if (FileExists(listPath_)) CompareWithSaved();
  view_.SelectSiteIndex(selected);
  if (selected >= 0 && selected < sites.Count()) {
    std::string root;
    LoadRoot(sites[selected], root);
    view_.ApplySiteProfile();  // a site without its root folder shows as such
  }
  return true;
}

void TUpdateCheck::CompareWithSaved() {
  TStringsList saved;
  saved.LoadRows(listPath_);
  for (int i = 0; i < currentScan_.Count(); ++i) {
    const TStringList& row = currentScan_.RowAt(i);
    if (IsSiteMarker(row)) continue;
    const std::string& key = row[0];
    const int at = saved.FindRow(key);
    if (at == -1 || StrToInt(saved.RowAt(at)[1]) < StrToInt(row[1])) {
      pendingUpdates_.Add(key);
      unsent_[key] = at == -1 ? std::string() : saved.RowAt(at)[1];
    }
  }
}

TStringList TUpdateCheck::TakePendingUnder(std::string_view root) {
  TStringList taken, rest;
  for (const std::string& path : pendingUpdates_) (!root.empty() && IsUnderRoot(root, path) ? taken : rest).Add(path);
  pendingUpdates_ = std::move(rest);
  return taken;
}

std::vector<TSiteUpdates> TUpdateCheck::TakePendingBySite() {
  std::vector<TSiteUpdates> groups;
  if (pendingUpdates_.Empty()) return groups;
  for (const std::string& site : sites_.SiteNames()) {
    std::string root;
    if (!LoadRoot(site, root)) continue;
    TStringList files = TakePendingUnder(root);
    if (!files.Empty()) groups.push_back({site, std::move(files)});
  }
  return groups;
}

void TUpdateCheck::ShowSiteUpdates() {
  if (pendingUpdates_.Empty()) return;
  const TStringList sites = sites_.SiteNames();
  for (const std::string& site : sites) {
    std::string root;
    if (!LoadRoot(site, root)) continue;
    view_.ApplySiteProfile();
    TStringList files = TakePendingUnder(root);
    if (!files.Empty()) {
      view_.ShowUpdatePanel(site, "「" + site + "」に更新ファイルを検出しました。", files);
      return;
    }
  }
}

void TUpdateCheck::FinishSiteUpdates() {
  if (!view_.UpdatePanelVisible()) return;
  view_.HideUpdatePanel();
  ShowSiteUpdates();
}

void TUpdateCheck::UpdateCheckClick() {
  if (!CheckUpdates()) return;  // pressed again while its scan runs
  for (const std::string& line : skippedSites_) view_.ReportSkippedSite(line);
  if (pendingUpdates_.Empty()) {
    messenger_.ShowMessage(TMessageKind::Information, "更新されたファイルは検出されませんでした。");
  } else {
    ShowSiteUpdates();
  }
}

void TUpdateCheck::UpdateCancelClick() { FinishSiteUpdates(); }

void TUpdateCheck::SaveOnDeactivate() {
  // While the panel shows, the saved list stays the baseline of its files.
  if (view_.UpdatePanelVisible() || view_.SiteDialogVisible()) return;
  if (ScanSites()) SaveKeepingUnsent();
}

void TUpdateCheck::SaveOnClose() {
  if (ScanSites()) SaveKeepingUnsent();
}

void TUpdateCheck::SaveManagedFileList() { currentScan_.SaveRows(listPath_); }

void TUpdateCheck::MarkUploaded(const TStringList& files) {
  for (const std::string& file : files) unsent_.erase(file);
}

void TUpdateCheck::SaveKeepingUnsent() {
  if (unsent_.empty() && skippedNames_.Empty()) return SaveManagedFileList();
  TStringsList rows;
  CopySavedRowsOfSkipped(rows);
  for (int i = 0; i < currentScan_.Count(); ++i) {
    const TStringList& row = currentScan_.RowAt(i);
    auto kept = IsSiteMarker(row) ? unsent_.end() : unsent_.find(row[0]);
    if (kept == unsent_.end()) {
      rows.AddRow(row);
    } else if (!kept->second.empty()) {
      rows.AddPair(row[0], kept->second);
    }
  }
  rows.SaveRows(listPath_);
}

void TUpdateCheck::CopySavedRowsOfSkipped(TStringsList& rows) const {
  if (skippedNames_.Empty() || !FileExists(listPath_)) return;
  TStringsList saved;
  saved.LoadRows(listPath_);
  bool copying = false;
  for (int i = 0; i < saved.Count(); ++i) {
    const TStringList& row = saved.RowAt(i);
    if (IsSiteMarker(row)) copying = skippedNames_.Contains(row[0]);
    if (copying) rows.AddRow(row);
  }
}

}  // namespace tovra
