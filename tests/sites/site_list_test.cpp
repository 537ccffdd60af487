#include "sites/site_list.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "sites/site_profile.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using namespace std::string_literals;
using Items = std::vector<std::string>;

class SiteListTest : public ::testing::Test {
 protected:
  test::TempAppFolder app;
};

TEST_F(SiteListTest, ReadAsTheFileStands) {
  EXPECT_EQ(SiteListFileName(), app.Path() + "/サイトリスト.txt");
  EXPECT_EQ(LoadSiteList().Items(), Items{"新規登録"});
  struct Case {
    std::string text;
    Items items;
  } cases[] = {
      {"a\r\nb\r\n新規登録\r\n", {"a", "b", "新規登録"}},
      {"a\r\nb", {"a", "b"}},                    // no new-site entry: used unchanged
      {"新規登録\r\na\r\n", {"新規登録", "a"}},  // anywhere in the list
      {"a\nb\rc\r\n", {"a", "b", "c"}},
      {"x\0garbage\r\n\x83\r\n"s, {"x", "\x83"}},  // NUL ends its line; a lone lead byte stays
  };
  for (const auto& c : cases) {
    app.Write("サイトリスト.txt", c.text);
    EXPECT_EQ(LoadSiteList().Items(), c.items);
  }
}

TEST_F(SiteListTest, WrittenWholeWithCrLf) {
  app.Write("サイトリスト.txt", "old\r\nlonger old contents\r\n");
  SaveSiteList(TStringList{"Shop\\Test", "新規登録"});
  EXPECT_EQ(ReadFileBytes(SiteListFileName()), "Shop\\Test\r\n新規登録\r\n");
}

TEST_F(SiteListTest, CreatedSiteGoesBeforeTheLastEntry) {
  TStringList list{"a", "新規登録"};
  AddCreatedSite(list, "b");
  EXPECT_EQ(list.Items(), (Items{"a", "b", "新規登録"}));
  AddCreatedSite(list, "B");  // already there, letter case aside
  EXPECT_EQ(list.Count(), 3);
  TStringList empty;
  AddCreatedSite(empty, "first");
  EXPECT_EQ(empty.Items(), Items{"first"});
}

// What another writer did to the list since this one read it stays.
TEST_F(SiteListTest, MergeKeepsTheChangesOfBothWriters) {
  struct Case {
    const char* what;
    Items base, mine, theirs, merged;
  } cases[] = {
      {"both added", {"a", "新規登録"}, {"a", "m", "新規登録"}, {"a", "t", "新規登録"}, {"a", "m", "t", "新規登録"}},
      {"both added one name", {"新規登録"}, {"x", "新規登録"}, {"X", "新規登録"}, {"x", "新規登録"}},
      {"they removed", {"a", "b", "新規登録"}, {"a", "b", "新規登録"}, {"b", "新規登録"}, {"b", "新規登録"}},
      {"I removed, they added", {"a", "新規登録"}, {"新規登録"}, {"a", "t", "新規登録"}, {"t", "新規登録"}},
      {"I renamed, they added", {"a", "新規登録"}, {"a2", "新規登録"}, {"a", "t", "新規登録"}, {"a2", "t", "新規登録"}},
      {"removed, profile kept", {"kept", "新規登録"}, {"kept", "新規登録"}, {"新規登録"}, {"kept", "新規登録"}},
      {"new-site entry stays", {"a", "新規登録"}, {"a", "新規登録"}, {"a"}, {"a", "新規登録"}},
  };
  auto list = [](const Items& items) {
    TStringList l;
    for (const auto& item : items) l.Add(item);
    return l;
  };
  for (const auto& c : cases) {
    TStringList merged = MergeSiteList(list(c.base), list(c.mine), list(c.theirs),
                                       [](const std::string& name) { return name == "kept"; });
    EXPECT_EQ(merged.Items(), c.merged) << c.what;
  }
}

// Saving through the application folder merges against the list as read.
TEST_F(SiteListTest, SaveKeepsASiteAnotherWriterAdded) {
  SaveSiteList(TStringList{"a", "新規登録"});
  TStringList mine = LoadSiteList();
  app.Write("サイトリスト.txt", "a\r\nother\r\n新規登録\r\n");  // another process meanwhile
  AddCreatedSite(mine, "mine");
  SaveSiteList(mine);
  EXPECT_EQ(ReadFileBytes(SiteListFileName()), "a\r\nmine\r\nother\r\n新規登録\r\n");
}

TEST_F(SiteListTest, LoadNamedSite) {
  TConfigFile config;
  TSiteProfile profile(config);
  app.Write("MySite.txt", "[WEBサーバー情報]\r\nWebHostName=host\r\n");
  app.Write("サイトリスト.txt", "MySite\r\n新規登録\r\n");
  EXPECT_EQ(LoadNamedSite(profile, "mysite"), "MySite");
  EXPECT_EQ(profile.CurrentSiteName(), "MySite");
  EXPECT_EQ(profile.WebHostName, "host");
  try {
    LoadNamedSite(profile, "other");
    FAIL() << "no error";
  } catch (const EUnknownSiteError& e) {
    EXPECT_EQ(std::string(e.what()), "サイト名称「other」は登録されていません。");
  }
}

}  // namespace
}  // namespace tovra
