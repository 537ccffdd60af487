#include "update/FindFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

// Local time as time_t.
std::time_t Local(int y, int mo, int d, int h, int mi, int s) {
  struct tm t = {};
  t.tm_year = y - 1900;
  t.tm_mon = mo - 1;
  t.tm_mday = d;
  t.tm_hour = h;
  t.tm_min = mi;
  t.tm_sec = s;
  t.tm_isdst = -1;
  return std::mktime(&t);
}

void SetTimes(const std::string& path, std::time_t access, std::time_t write) {
  struct timeval tv[2] = {{access, 0}, {write, 0}};
  ASSERT_EQ(::utimes(ToOsPath(path).c_str(), tv), 0) << path;
}

// Runs a search and returns "folder|name" of every report, sorted.
std::vector<std::string> Reports(TFindFile& find) {
  std::vector<std::string> seen;
  find.OnFind = [&](const std::string& name, const std::string& path, TSearchRec&, bool&) {
    seen.push_back(path + "|" + name);
  };
  find.StartSearch();
  std::sort(seen.begin(), seen.end());
  return seen;
}

TEST(WildMatch, MasksAsTheUpdateCheckUsesThem) {
  struct Case {
    const char* name;
    const char* mask;
    bool matches;
  } cases[] = {
      {"index.html", "*.html", true},
      {"index.html", "*.htm*", true},
      {"index.html", "*.htm", false},
      {"INDEX.HTM", "*.htm", true},
      {"movie.SWF", "*.swf", true},
      {"README", "*.*", true},
      {"README", "*", true},
      {"README", "*.htm", false},
      {".htm", "*.htm", false},  // empty base name
      {".htaccess", "*", false},
      {"page.htm", ".htm", false},  // empty base in the mask
      {"a.b.htm", "*.htm", true},   // split at the last dot
      {"a.htm.bak", "*.htm", false},
      {"abc.htm", "a?c.htm", true},
      {"ac.htm", "a?c.htm", false},
      {"abc.htm", "a*x*c.htm", true},  // the middle of a*...*c is not examined
      {"abd.htm", "a*x*c.htm", false},
      {"ab.htm", "abc*.htm", false},
      {"abc.htm", "abc*.htm", true},
      {"\x83\x61.htm", "\x83\x41.htm", false},  // a trail byte is not a letter
      {"\x83\x61.htm", "\x83\x61.HTM", true},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskMatches(c.name, c.mask), c.matches) << c.name << " " << c.mask;
}

TEST(WildMatch, TailRulesByteForByte) {
  EXPECT_TRUE(WildMatch("", ""));
  EXPECT_FALSE(WildMatch("", "A"));
  EXPECT_FALSE(WildMatch("", "*X"));       // the part after the last "*" must end the text
  EXPECT_TRUE(WildMatch("AB", "AB*XYZ"));  // text used up at a "*": the rest is not examined
  EXPECT_FALSE(WildMatch("AB", "ABC*"));
  EXPECT_TRUE(WildMatch("XAB", "*?B"));
  EXPECT_FALSE(WildMatch("XAB", "*?C"));
}

TEST(FindFile, TrailingSeparatorGivesOneSeparator) {
  test::TempDir dir;
  dir.Write("site/a.htm", "");
  dir.Write("site/sub/b.htm", "");
  TFindFile find;
  find.FolderName = dir.Sub("site");
  auto plain = Reports(find);
  find.FolderName = dir.Sub("site") + "/";
  auto slashed = Reports(find);
  EXPECT_EQ(plain, slashed);
  EXPECT_EQ(plain, (std::vector<std::string>{dir.Sub("site/sub/") + "|b.htm", dir.Sub("site/") + "|a.htm"}));
  EXPECT_EQ(find.FoundCount(), 2);
}

TEST(FindFile, JapaneseNamesReportedInCp932) {
  test::TempDir dir;
  dir.Write("\x95\x5C/\x83\x79\x81\x5B\x83\x57.HTM", "");  // 表/ページ.HTM
  TFindFile find;
  find.FolderName = dir.Path();
  find.SetFileMask({"*.htm"});
  EXPECT_EQ(Reports(find), (std::vector<std::string>{dir.Path() + "/\x95\x5C/|\x83\x79\x81\x5B\x83\x57.HTM"}));
}

TEST(FindFile, DotFoldersAndDotFiles) {
  test::TempDir dir;
  dir.Write(".svn/entries.htm", "");
  dir.Write(".profile", "");
  dir.Write("page.htm", "");
  TFindFile find;
  find.FolderName = dir.Path();
  find.SetFileMask({"*.htm"});
  EXPECT_EQ(Reports(find), (std::vector<std::string>{dir.Path() + "/|page.htm"}));
  find.SetFileMask({});
  EXPECT_EQ(Reports(find), (std::vector<std::string>{dir.Path() + "/|.profile", dir.Path() + "/|page.htm"}));
}

TEST(FindFile, SubfoldersOnlyWhenAsked) {
  test::TempDir dir;
  dir.Write("top.html", "");
  dir.Write("a/b/deep.html", "");
  TFindFile find;
  find.FolderName = dir.Path();
  find.IsFindSub = false;
  EXPECT_EQ(Reports(find), (std::vector<std::string>{dir.Path() + "/|top.html"}));
  find.IsFindSub = true;
  EXPECT_EQ(Reports(find).size(), 2u);
}

TEST(FindFile, CancelInTheHandlerStopsAfterThatReport) {
  test::TempDir dir;
  for (const char* name : {"a.htm", "b.htm", "sub/c.htm", "sub/d.htm"}) dir.Write(name, "");
  TFindFile find;
  find.FolderName = dir.Path();
  int calls = 0;
  find.OnFind = [&](const std::string&, const std::string&, TSearchRec&, bool& cancel) {
    ++calls;
    cancel = true;
  };
  EXPECT_EQ(find.StartSearch(), 1);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(find.Cancel);  // stays set until the next search
  find.OnFind = nullptr;
  EXPECT_EQ(find.StartSearch(), 4);  // counted without a handler
  EXPECT_FALSE(find.Cancel);
}

TEST(FindFile, CancelFromTheUserInterfaceBetweenEntries) {
  test::TempDir dir;
  for (const char* name : {"a.htm", "b.htm", "c.htm"}) dir.Write(name, "");
  TFindFile find;
  find.FolderName = dir.Path();
  int yields = 0;
  find.OnProcessMessages = [&] {
    if (++yields == 2) find.Cancel = true;
  };
  EXPECT_EQ(find.StartSearch(), 1);
}

TEST(FindFile, EmptyMissingAndUnreadableFolders) {
  test::TempDir dir;
  TFindFile find;
  EXPECT_EQ(find.FolderName, "/");
  find.FolderName = "";
  EXPECT_EQ(find.StartSearch(), -1);
  find.FolderName = dir.Sub("missing");
  EXPECT_EQ(find.StartSearch(), 0);
  dir.Write("locked/x.htm", "");
  dir.Write("open.htm", "");
  ::chmod(ToOsPath(dir.Sub("locked")).c_str(), 0);
  find.FolderName = dir.Path();
  EXPECT_GE(find.StartSearch(), 1);  // the unreadable folder yields nothing (root may read it)
  ::chmod(ToOsPath(dir.Sub("locked")).c_str(), 0755);
}

TEST(FindFile, LinkedFoldersAreNotEntered) {
  test::TempDir dir;
  dir.Write("site/a.htm", "");
  std::filesystem::create_directory_symlink(ToOsPath(dir.Sub("site")), ToOsPath(dir.Sub("site/loop")));
  TFindFile find;
  find.FolderName = dir.Sub("site");
  EXPECT_EQ(find.StartSearch(), 1);
}

TEST(FindFile, ReportCarriesPackedLocalWriteTimeAndFindData) {
  test::TempDir dir;
  const std::string page = dir.Write("index.html", "12345");
  const std::time_t written = Local(2004, 11, 18, 13, 37, 10);
  SetTimes(page, written + 3600, written);
  TFindFile find;
  find.FolderName = dir.Path();
  TSearchRec seen;
  find.OnFind = [&](const std::string&, const std::string&, TSearchRec& rec, bool&) { seen = rec; };
  ASSERT_EQ(find.StartSearch(), 1);
  EXPECT_EQ(seen.Time, 829582501);
  EXPECT_EQ(seen.Name, "index.html");
  EXPECT_EQ(seen.Size, 5);
  EXPECT_EQ(seen.FindData.ftLastWriteTime, written);
  EXPECT_EQ(seen.FindData.ftLastAccessTime, written + 3600);
  EXPECT_EQ(seen.Attr & faDirectory, 0);
}

TEST(FindFile, TimeFilterOlderNewerAndEqual) {
  test::TempDir dir;
  const std::time_t moment = Local(2020, 6, 1, 12, 0, 0);
  struct {
    const char* name;
    std::time_t write;
  } files[] = {{"old.htm", moment - 60}, {"same.htm", moment}, {"new.htm", moment + 60}};
  for (const auto& f : files) SetTimes(dir.Write(f.name, ""), moment + 86400 * 10, f.write);
  TFindFile find;
  find.FolderName = dir.Path();
  find.CheckedTime = FileTimeToDateTime(moment);
  find.CheckTimeIs = tmOlder;
  EXPECT_EQ(Reports(find), (std::vector<std::string>{dir.Path() + "/|old.htm"}));
  find.CheckTimeIs = tmNewer;
  EXPECT_EQ(Reports(find), (std::vector<std::string>{dir.Path() + "/|new.htm"}));
  find.CheckTimeKind = tmLastAccess;  // every access time lies ten days later
  EXPECT_EQ(Reports(find).size(), 3u);
  find.CheckTimeIs = tmOlder;
  EXPECT_TRUE(Reports(find).empty());
  find.CheckTimeKind = tmCreate;  // created just now, long after the moment
  EXPECT_TRUE(Reports(find).empty());
}

TEST(FindFile, DateTimeIsDaysSince1899InLocalTime) {
  EXPECT_EQ(FileTimeToDateTime(0), 0.0);
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(Local(2004, 11, 18, 0, 0, 0)), 38309.0);
  EXPECT_DOUBLE_EQ(FileTimeToDateTime(Local(2004, 11, 18, 18, 0, 0)), 38309.75);
}

}  // namespace
}  // namespace tovra
