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
