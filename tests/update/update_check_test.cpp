#include "update/update_check.h"

#include <gtest/gtest.h>
#include <sys/time.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "platform/encoding.h"
#include "platform/files.h"
#include "sites/site_profile.h"
#include "support/recording_messenger.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

const std::string kNewEntry = "新規登録";
constexpr std::time_t kBase = 1600000000;  // every fixture file starts at this time

class FakeSites : public ISiteProfiles {
 public:
  std::vector<std::pair<std::string, std::string>> sites;  // name, root
  std::string failOn;                                      // LoadRootDir of this name raises
  std::string missingRoot;                                 // this name's root has gone
  std::vector<std::string> loads;                          // every LoadRootDir, in order
  std::string held;                                        // the root of the profile last loaded

  TStringList SiteNames() override {
    TStringList names;
    for (const auto& s : sites) names.Add(s.first);
    names.Add(kNewEntry);
    return names;
  }
  std::string LoadRootDir(const std::string& name) override {
    loads.push_back(name);
    if (name == failOn) throw ETovraError("パス設定エラー : \"" + name + "\"");
    if (name == missingRoot) throw EPathSettingError(name);
    for (const auto& s : sites)
      if (s.first == name) held = s.second;
    return held;  // the reserved entry keeps the root last shown
  }
};

class FakeView : public IUpdateView {
 public:
  int selected = 0;
  bool panel = false;
  bool dialog = false;
  int applied = 0;
  std::vector<std::string> shownSites;
  std::vector<TStringList> shownFiles;
  std::vector<std::string> captions;

  int SelectedSiteIndex() override { return selected; }
  void SelectSiteIndex(int index) override { selected = index; }
  void ApplySiteProfile() override { ++applied; }
  void ShowUpdatePanel(const std::string& site, const std::string& caption, const TStringList& files) override {
    panel = true;
    shownSites.push_back(site);
    captions.push_back(caption);
    shownFiles.push_back(files);
  }
  void HideUpdatePanel() override { panel = false; }
  bool UpdatePanelVisible() override { return panel; }
  TStringList CheckedUpdates() override { return {}; }
  bool SiteDialogVisible() override { return dialog; }
  std::vector<std::string> skipped;
  void ReportSkippedSite(const std::string& line) override { skipped.push_back(line); }
};

class UpdateCheckTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  FakeSites sites;
  FakeView view;
  test::RecordingMessenger messenger{true};
  TUpdateCheck check{sites, view, messenger, dir.Sub("管理ファイルリスト.txt")};

  std::string Page(const std::string& name, std::time_t written = kBase) {
    std::string path = dir.Write(name, "<html></html>");
    Touch(path, written);
    return path;
  }
  void Touch(const std::string& path, std::time_t written) {
    struct timeval tv[2] = {{written, 0}, {written, 0}};
    ASSERT_EQ(::utimes(ToOsPath(path).c_str(), tv), 0);
  }
  // Two sites, each with two pages, and a file no mask takes.
  void TwoSites() {
    sites.sites = {{"A", dir.Sub("a")}, {"B", dir.Sub("b")}};
    Page("a/index.html");
    Page("a/sub/page.htm");
    Page("b/top.HTM");
    Page("b/movie.swf");
    Page("b/style.css");
  }
};

TEST_F(UpdateCheckTest, ScanListsMarkersAndPagesInSiteOrder) {
  TwoSites();
  sites.sites.push_back({"Inner", dir.Sub("a/sub")});  // its file is already listed under A
  ASSERT_TRUE(check.ScanSites());
  const TStringsList& scan = check.CurrentScan();
  std::map<std::string, int> rowOf;
  for (int i = 0; i < scan.Count(); ++i) rowOf[scan.RowAt(i)[0]] = i;
  ASSERT_EQ(scan.Count(), 7);
  EXPECT_EQ(scan.RowAt(0), (TStringList{"A", "0"}));
  EXPECT_LT(rowOf["A"], rowOf[dir.Sub("a/sub/page.htm")]);
  EXPECT_LT(rowOf[dir.Sub("a/sub/page.htm")], rowOf["B"]);
  EXPECT_LT(rowOf["B"], rowOf[dir.Sub("b/movie.swf")]);
  EXPECT_EQ(scan.RowAt(rowOf["Inner"]), (TStringList{"Inner", "0"}));
  EXPECT_EQ(rowOf["Inner"], 6);  // nothing follows it
  EXPECT_EQ(scan.RowAt(rowOf[dir.Sub("b/top.HTM")])[1],
            std::to_string(static_cast<std::int32_t>(ToDosDateTime(kBase))));
  EXPECT_EQ(rowOf.count(dir.Sub("b/style.css")), 0u);
  // The selected site's profile is loaded again last; the reserved entry is never scanned.
  EXPECT_EQ(sites.loads, (std::vector<std::string>{"A", "B", "Inner", "A"}));
}

TEST_F(UpdateCheckTest, FirstStartWithoutListFindsNothingAndDeactivationCreatesIt) {
  TwoSites();
  check.UpdateCheckClick();
  EXPECT_EQ(messenger.messages, (std::vector<std::string>{"更新されたファイルは検出されませんでした。"}));
  EXPECT_FALSE(FileExists(check.ListPath()));
  check.SaveOnDeactivate();
  TStringsList saved;
  saved.LoadRows(check.ListPath());
  EXPECT_EQ(saved.Count(), 6);
  EXPECT_GE(saved.FindRow(dir.Sub("a/index.html")), 0);
}

TEST_F(UpdateCheckTest, ChangedAndNewFilesShownSiteBySite) {
  TwoSites();
  check.SaveOnClose();
  Touch(dir.Sub("a/index.html"), kBase + 60);
  Touch(dir.Sub("a/sub/page.htm"), kBase + 60);
  const std::string added = Page("b/new.html", kBase - 3600);  // new, even with an old time
  Touch(dir.Sub("b/top.HTM"), kBase - 60);                     // a time going back is no change
  Touch(dir.Sub("b/movie.swf"), kBase + 1);                    // within the same two seconds
  view.selected = 1;
  check.UpdateCheckClick();
  EXPECT_TRUE(messenger.messages.empty());
  ASSERT_TRUE(view.panel);
  EXPECT_EQ(view.captions.back(), "「A」に更新ファイルを検出しました。");
  TStringList aFiles = view.shownFiles.back();
  EXPECT_EQ(aFiles.Count(), 2);
  EXPECT_TRUE(aFiles.Contains(dir.Sub("a/index.html")) && aFiles.Contains(dir.Sub("a/sub/page.htm")));
  EXPECT_EQ(check.PendingUpdates(), TStringList{added});

  check.UpdateCancelClick();
  ASSERT_TRUE(view.panel);
  EXPECT_EQ(view.shownSites.back(), "B");
  EXPECT_EQ(view.shownFiles.back(), TStringList{added});
  check.FinishSiteUpdates();  // after the upload run of B
  EXPECT_FALSE(view.panel);
  EXPECT_EQ(view.shownSites.size(), 2u);
  check.FinishSiteUpdates();  // the panel is hidden: nothing happens
  EXPECT_EQ(view.shownSites.size(), 2u);
}

TEST_F(UpdateCheckTest, CheckRestoresTheSelectedSite) {
  TwoSites();
  check.SaveOnClose();
  view.selected = 1;
  sites.loads.clear();
  check.CheckUpdates();
  EXPECT_EQ(view.selected, 1);
  EXPECT_EQ(sites.loads.back(), "B");
  EXPECT_EQ(view.applied, 1);
  EXPECT_TRUE(check.PendingUpdates().Empty());
}

TEST_F(UpdateCheckTest, SiteAddedAfterTheLastSaveIsAllNew) {
  TwoSites();
  check.SaveOnClose();
  sites.sites.push_back({"C", dir.Sub("c")});
  Page("c/one.html");
  Page("c/two.swf");
  check.UpdateCheckClick();
  ASSERT_TRUE(view.panel);
  EXPECT_EQ(view.shownSites, std::vector<std::string>{"C"});
  EXPECT_EQ(view.shownFiles.back().Count(), 2);
}

TEST_F(UpdateCheckTest, RootThatIsAPrefixOfAnotherRootKeepsToItsOwnFiles) {
  sites.sites = {{"web", dir.Sub("web")}, {"web2", dir.Sub("web2")}};
  Page("web/index.html");
  Page("web2/index.html");
  check.SaveOnClose();
  Touch(dir.Sub("web2/index.html"), kBase + 60);
  check.UpdateCheckClick();
  ASSERT_TRUE(view.panel);
  EXPECT_EQ(view.shownSites, std::vector<std::string>{"web2"});
}

TEST_F(UpdateCheckTest, OnlyTheReservedEntryShowsTheMessageAtOnce) {
  check.UpdateCheckClick();
  EXPECT_EQ(messenger.messages.size(), 1u);
  EXPECT_TRUE(sites.loads.empty());
  EXPECT_FALSE(view.panel);
}

TEST_F(UpdateCheckTest, BadSavedRowsStopTheComparison) {
  struct Case {
    const char* row;
    const char* message;
  } cases[] = {
      {"", "リストのインデックスが範囲を超えています (1)"},
      {"?$B?x", "'x' は整数ではありません"},
      {"?$B?12a", "'12a' は整数ではありません"},
      {"?$B?99999999999", "'99999999999' は整数ではありません"},
  };
  sites.sites = {{"A", dir.Sub("a")}, {"B", dir.Sub("b")}};
  const std::string first = Page("a/1.htm");
  const std::string second = Page("b/2.htm");
  for (const auto& c : cases) {
    WriteFileAtomic(check.ListPath(), "A?$B?0\r\nB?$B?0\r\n" + second + c.row + "\r\n");
    try {
      check.CheckUpdates();
      ADD_FAILURE() << c.row;
    } catch (const ETovraError& e) {
      EXPECT_EQ(std::string(e.what()), c.message);
    }
    // Found new before the bad row was met: it stays pending.
    EXPECT_EQ(check.PendingUpdates(), TStringList{first});
  }
}

TEST_F(UpdateCheckTest, IntegerTexts) {
  EXPECT_EQ(StrToInt("829582501"), 829582501);
  EXPECT_EQ(StrToInt("-2147483648"), -2147483648LL);
  EXPECT_EQ(StrToInt(" 7"), 7);
  for (const char* bad : {"", "-", "2147483648", "1 ", "0x10", "１"}) EXPECT_THROW(StrToInt(bad), EConvertError) << bad;
}

TEST_F(UpdateCheckTest, CheckEmptiesPendingFirst) {
  TwoSites();
  check.SaveOnClose();
  Touch(dir.Sub("a/index.html"), kBase + 60);
  Touch(dir.Sub("b/top.HTM"), kBase + 60);
  check.UpdateCheckClick();  // the panel shows A; B's file waits
  check.UpdateCheckClick();  // checked again while the panel is open
  check.UpdateCancelClick();
  EXPECT_EQ(view.shownSites, (std::vector<std::string>{"A", "A", "B"}));
  EXPECT_EQ(view.shownFiles.back(), TStringList{dir.Sub("b/top.HTM")});
  EXPECT_TRUE(check.PendingUpdates().Empty());
}

TEST_F(UpdateCheckTest, DeactivationSavesOnlyWithoutPanelOrSiteDialog) {
  TwoSites();
  view.panel = true;
  check.SaveOnDeactivate();
  EXPECT_FALSE(FileExists(check.ListPath()));
  view.panel = false;
  view.dialog = true;
  check.SaveOnDeactivate();
  EXPECT_FALSE(FileExists(check.ListPath()));
  view.dialog = false;
  check.SaveOnDeactivate();
  EXPECT_TRUE(FileExists(check.ListPath()));
}

TEST_F(UpdateCheckTest, FailingProfileStopsScanWithoutSaveAndRestoresSelection) {
  TwoSites();
  check.SaveOnClose();
  const std::string before = ReadFileBytes(check.ListPath());
  Page("a/later.html");
  sites.failOn = "B";
  sites.loads.clear();
  EXPECT_THROW(check.SaveOnClose(), ETovraError);
  EXPECT_EQ(ReadFileBytes(check.ListPath()), before);
  EXPECT_EQ(sites.loads, (std::vector<std::string>{"A", "B", "A"}));
  EXPECT_THROW(check.UpdateCheckClick(), ETovraError);
  EXPECT_TRUE(messenger.messages.empty());
  EXPECT_FALSE(view.panel);
}

TEST_F(UpdateCheckTest, AMissingRootIsPassedOverWhenAsked) {
  TwoSites();
  check.SaveOnClose();
  const std::string before = ReadFileBytes(check.ListPath());
  std::filesystem::remove_all(dir.Sub("b"));
  sites.sites[1].second = dir.Sub("b");
  sites.missingRoot = "B";
  EXPECT_THROW(check.SaveOnClose(), EPathSettingError);  // the command line's check fails
  check.PassOverMissingRoots = true;
  Page("a/new.html");
  check.UpdateCheckClick();
  EXPECT_EQ(view.shownSites, std::vector<std::string>{"A"});
  ASSERT_EQ(view.skipped.size(), 1u);
  EXPECT_EQ(view.skipped[0].rfind("「B」", 0), 0u) << view.skipped[0];
  check.UpdateCancelClick();
  check.SaveOnClose();  // B keeps its saved rows
  const std::string after = ReadFileBytes(check.ListPath());
  EXPECT_NE(after.find(dir.Sub("b/movie.swf") + "?$B?"), std::string::npos);
  EXPECT_NE(before.find(dir.Sub("b/movie.swf") + "?$B?"), std::string::npos);
}

TEST_F(UpdateCheckTest, FilesFoundStayPendingUntilUploaded) {
  TwoSites();
  check.SaveOnClose();
  Touch(dir.Sub("a/index.html"), kBase + 60);
  Touch(dir.Sub("a/sub/page.htm"), kBase + 60);
  const std::string added = Page("a/new.html", kBase + 60);
  const auto pendingAfterSave = [&] {
    check.SaveOnDeactivate();
    check.CheckUpdates();
    std::vector<std::string> pending(check.PendingUpdates().begin(), check.PendingUpdates().end());
    std::sort(pending.begin(), pending.end());
    return pending;
  };
  std::vector<std::string> all{dir.Sub("a/index.html"), added, dir.Sub("a/sub/page.htm")};
  std::sort(all.begin(), all.end());
  check.CheckUpdates();
  EXPECT_EQ(pendingAfterSave(), all);  // shown, not sent: all three again
  check.MarkUploaded({dir.Sub("a/index.html"), added});
  EXPECT_EQ(pendingAfterSave(), std::vector<std::string>{dir.Sub("a/sub/page.htm")});
  check.MarkUploaded({dir.Sub("a/sub/page.htm")});
  EXPECT_TRUE(pendingAfterSave().empty());
  // An explicit baseline records every file as it is now.
  Touch(added, kBase + 120);
  check.CheckUpdates();
  check.SaveManagedFileList();
  check.CheckUpdates();
  EXPECT_TRUE(check.PendingUpdates().Empty());
}

TEST_F(UpdateCheckTest, ListThatCannotBeWrittenKeepsTheOldFile) {
  TwoSites();
  TUpdateCheck blocked{sites, view, messenger, dir.Sub("a")};  // a folder stands where the list goes
  EXPECT_THROW(blocked.SaveOnClose(), EFileError);
  EXPECT_TRUE(DirectoryExists(dir.Sub("a")));
}

TEST_F(UpdateCheckTest, ScanStartedWhileScanningIsRefused) {
  TwoSites();
  int yields = 0;
  check.FindFile1.OnProcessMessages = [&] {
    if (yields++ > 0) return;
    check.SaveOnDeactivate();  // the user switches away mid-scan
    check.UpdateCheckClick();  // and presses the check button again
    view.selected = 1;         // and picks the other site
  };
  check.CheckUpdates();
  EXPECT_FALSE(FileExists(check.ListPath()));  // no half-built list was saved
  EXPECT_TRUE(messenger.messages.empty());
  EXPECT_EQ(check.CurrentScan().Count(), 6);
  EXPECT_EQ(sites.loads, (std::vector<std::string>{"A", "B", "B", "A"}));  // holder follows the selector
  check.FindFile1.OnProcessMessages = nullptr;
  check.SaveOnDeactivate();
  EXPECT_TRUE(FileExists(check.ListPath()));
}

TEST_F(UpdateCheckTest, PendingFilesGroupedSiteBySiteForTheCommandLine) {
  TwoSites();
  check.SaveOnClose();
  Touch(dir.Sub("a/index.html"), kBase + 60);
  Touch(dir.Sub("b/top.HTM"), kBase + 60);
  Touch(dir.Sub("b/movie.swf"), kBase + 60);
  check.CheckUpdates();
  EXPECT_EQ(check.TakePendingUnder(dir.Sub("a")), TStringList{dir.Sub("a/index.html")});
  check.CheckUpdates();
  auto groups = check.TakePendingBySite();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(groups[0].site, "A");
  EXPECT_EQ(groups[0].files, TStringList{dir.Sub("a/index.html")});
  EXPECT_EQ(groups[1].site, "B");
  EXPECT_EQ(groups[1].files.Count(), 2);
  EXPECT_TRUE(check.PendingUpdates().Empty());
  EXPECT_FALSE(view.panel);
}

}  // namespace
}  // namespace tovra
