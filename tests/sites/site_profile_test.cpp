#include "sites/site_profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using namespace std::string_literals;

class SiteProfileTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateDirectory(root.Path() + "/site"); }

  std::string SiteRoot() const { return root.Path() + "/site"; }

  void FillFields(TSiteProfile& p) {
    p.ChooseRootFolder(SiteRoot());
    p.WebURL = "http://example.jp/~me/";
    p.WebHostName = "ftp.example.jp";
    p.WebUserName = "me";
    p.WebPasswd = "p a=ss\"'\x83\x5C";
    p.WebPort = 2121;
    p.chkUseProxy = true;
    p.ProxyHostName = "proxy";
    p.ProxyUserName = "puser";
    p.ProxyPasswd = "ppass";
    p.ProxyPort = -1;
  }

  test::TempAppFolder app;
  test::TempDir root;
  TConfigFile config;
};

TEST_F(SiteProfileTest, SavedFileLayoutAndRoundTrip) {
  TSiteProfile saved(config);
  FillFields(saved);
  saved.edName = "\x83\x54\x83\x43\x83\x67";  // サイト
  saved.SaveProfile();
  const std::string path = app.Path() + "/サイト.txt";
  EXPECT_EQ(ReadFileBytes(path),
            "[chkUseProxy]\r\nchkUseProxy=1\r\n\r\n"
            "[基点フォルダー]\r\nLocalRootDir=" +
                SiteRoot() +
                "\r\n\r\n"
                "[WEBサーバー情報]\r\nWebURL=http://example.jp/~me/\r\nWebHostName=ftp.example.jp\r\n"
                "WebUserName=me\r\nWebPasswd=p a=ss\"'\x83\x5C\r\nWebPort=2121\r\n\r\n"
                "[Proxyサーバー情報]\r\nProxyPasswd=ppass\r\nProxyPort=-1\r\nProxyHostName=proxy\r\n"
                "ProxyUserName=puser\r\n");
  struct stat st;
  ASSERT_EQ(::stat(ToOsPath(path).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  TSiteProfile loaded(config);
  loaded.LoadProfile(saved.edName);
  EXPECT_EQ(loaded.CurrentSiteName(), saved.edName);
  EXPECT_EQ(loaded.LocalRootDir, SiteRoot());
  EXPECT_EQ(loaded.FolderTree().SelectedFolder(), SiteRoot());
  EXPECT_EQ(loaded.WebURL, saved.WebURL);
  EXPECT_EQ(loaded.WebHostName, saved.WebHostName);
  EXPECT_EQ(loaded.WebUserName, saved.WebUserName);
  EXPECT_EQ(loaded.WebPasswd, saved.WebPasswd);
  EXPECT_EQ(loaded.WebPort, 2121);
  EXPECT_TRUE(loaded.chkUseProxy);
  EXPECT_EQ(loaded.ProxyHostName, "proxy");
  EXPECT_EQ(loaded.ProxyUserName, "puser");
  EXPECT_EQ(loaded.ProxyPasswd, "ppass");
  EXPECT_EQ(loaded.ProxyPort, -1);
}

TEST_F(SiteProfileTest, FileNamesOfUnusualSites) {
  TSiteProfile p(config);
  for (const auto& name : {"Shop\\Test"s, "\x95\x5C\x8e\xa6"s, " lead and trail \x81\x40"s}) {
    p.edName = name;
    p.SaveProfile();
  }
  EXPECT_TRUE(FileExists(app.Path() + "/Shop$~Test.txt"));
  EXPECT_TRUE(FileExists(app.Path() + "/\x95\x5C\x8e\xa6.txt"));
  EXPECT_TRUE(FileExists(app.Path() + "/ lead and trail \x81\x40.txt"));
  EXPECT_EQ(ListFolder(app.Path()).size(), 3u);
}

TEST_F(SiteProfileTest, NameWithSeparatorIsRefusedWithTheWriteError) {
  CreateDirectory(app.Path() + "/sub");
  TSiteProfile p(config);
  for (const auto& name : {"sub/x"s, "../escape"s}) {
    p.edName = name;
    try {
      p.SaveProfile();
      FAIL() << name;
    } catch (const EFileError& e) {
      EXPECT_EQ(std::string(e.what()), app.Path() + "/" + name + ".txt に書き込めません");
    }
  }
  EXPECT_TRUE(ListFolder(app.Path() + "/sub").empty());
  EXPECT_FALSE(FileExists(root.Path() + "/escape.txt"));
}

TEST_F(SiteProfileTest, DefaultsOfAbsentKeysAndOfAReset) {
  app.Write("nokeys.txt", "[WEBサーバー情報]\r\nWebHostName=h\r\n");
  TSiteProfile p(config);
  p.LoadProfile("nokeys");
  EXPECT_EQ(p.WebHostName, "h");
  EXPECT_EQ(p.WebPort, 15);
  EXPECT_EQ(p.ProxyPort, 15);
  EXPECT_EQ(p.LocalRootDir, "/");
  EXPECT_FALSE(p.chkUseProxy);

  p.LoadProfile("no file at all");
  EXPECT_EQ(p.WebHostName, "");
  EXPECT_EQ(p.WebPort, 15);
  EXPECT_EQ(p.ProxyPort, 15);

  FillFields(p);
  p.LoadProfile(std::string(kNewSiteName));
  EXPECT_EQ(p.edName, "新規登録");
  EXPECT_EQ(p.WebPort, 21);
  EXPECT_EQ(p.ProxyPort, 0);
  EXPECT_EQ(p.WebHostName, "");
  EXPECT_EQ(p.WebURL, "");
  EXPECT_EQ(p.WebPasswd, "");
  EXPECT_EQ(p.ProxyUserName, "");
  EXPECT_FALSE(p.chkUseProxy);
  // The root folder label and the tree keep what they showed.
  EXPECT_EQ(p.LocalRootDir, SiteRoot());
  EXPECT_EQ(p.FolderTree().SelectedFolder(), SiteRoot());
}

TEST_F(SiteProfileTest, MissingRootFolderStopsTheLoad) {
  TSiteProfile p(config);
  FillFields(p);
  app.Write("gone.txt",
            "[chkUseProxy]\r\nchkUseProxy=0\r\n[基点フォルダー]\r\nLocalRootDir=/no/such/folder\r\n"
            "[WEBサーバー情報]\r\nWebHostName=new\r\nWebPort=99\r\n");
  try {
    p.LoadProfile("gone");
    FAIL() << "no error";
  } catch (const EPathSettingError& e) {
    EXPECT_EQ(std::string(e.what()), "パス設定エラー : \"/no/such/folder\"");
  }
  EXPECT_EQ(p.edName, "gone");
  EXPECT_FALSE(p.chkUseProxy);
  EXPECT_EQ(p.LocalRootDir, "/no/such/folder");
  EXPECT_EQ(p.FolderTree().SelectedFolder(), SiteRoot());
  EXPECT_EQ(p.WebHostName, "ftp.example.jp");  // read after the root: kept
  EXPECT_EQ(p.WebPort, 2121);
  EXPECT_THROW(p.ChooseRootFolder(root.Path() + "/missing"), EPathSettingError);
}

TEST_F(SiteProfileTest, RootWithTrailingSeparatorLoadsWithoutIt) {
  struct Case {
    std::string stored, loaded;
  } cases[] = {{SiteRoot() + "/", SiteRoot()}, {SiteRoot() + "//", SiteRoot()}, {"/", "/"}};
  for (const auto& c : cases) {
    app.Write("trail.txt", "[基点フォルダー]\r\nLocalRootDir=" + c.stored + "\r\n");
    TSiteProfile p(config);
    p.LoadProfile("trail");
    EXPECT_EQ(p.LocalRootDir, c.loaded) << c.stored;
    EXPECT_EQ(p.FolderTree().SelectedFolder(), c.loaded);
  }
}

TEST_F(SiteProfileTest, BadProfileFiles) {
  std::string longValue(5000, 'h');
  app.Write("bad.txt", "garbage\r\n[WEBサーバー情報\r\nWebHostName=" + longValue +
                           "\r\nWebPort=twenty\r\nWebUserName=us\0er\r\nWebPasswd=\x83\r\n"
                           "[Proxyサーバー情報]\r\nProxyPort=0x50\r\n[基点フォルダー]\r\nLocalRootDir=\r\n"s);
  TSiteProfile p(config);
  p.LoadProfile("bad");
  EXPECT_EQ(p.WebHostName, std::string(2047, 'h'));
  EXPECT_EQ(p.WebPort, 15);
  EXPECT_EQ(p.WebUserName, "us");
  EXPECT_EQ(p.WebPasswd, "\x83");
  EXPECT_EQ(p.ProxyPort, 80);
  EXPECT_EQ(p.LocalRootDir, "");  // saved without a selected folder: loads as none
  EXPECT_EQ(p.FolderTree().SelectedFolder(), "");
}

TEST_F(SiteProfileTest, SavingKeepsForeignKeysAndWritesTheTreeSelection) {
  class FixedTree : public IFolderTree {
   public:
    std::string SelectedFolder() const override { return "/tree/choice"; }
    void SelectFolder(const std::string&) override {}
  } tree;
  app.Write("keep.txt", "; note\r\n[WEBサーバー情報]\r\nExtra=1\r\nWebPort=1\r\n");
  TSiteProfile p(config);
  p.SetFolderTree(&tree);
  p.edName = "keep";
  p.LocalRootDir = "/label/only";
  p.SaveProfile();
  const std::string text = ReadFileBytes(app.Path() + "/keep.txt");
  EXPECT_EQ(text.rfind("; note\r\n[WEBサーバー情報]\r\nExtra=1\r\nWebPort=21\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("LocalRootDir=/tree/choice\r\n"), std::string::npos);
}

// A dialog kept open while another writer saves the same site: each save
// writes only its own changes, so neither is lost.
TEST_F(SiteProfileTest, TwoWritersOfOneSiteKeepEachOthersChanges) {
  TSiteProfile first(config);
  first.edName = "shared";
  FillFields(first);
  first.SaveProfile();
  TConfigFile otherConfig;
  TSiteProfile window(config), other(otherConfig);
  window.LoadProfile("shared");
  other.LoadProfile("shared");
  other.WebUserName = "changed elsewhere";
  other.Extended.Set("Encryption", "explicit");
  other.SaveProfile();
  window.WebHostName = "changed here";
  window.SaveProfile();
  window.WebPort = 2222;  // a second save of the same dialog
  window.SaveProfile();
  TSiteProfile check(config);
  check.LoadProfile("shared");
  EXPECT_EQ(check.WebUserName, "changed elsewhere");
  EXPECT_EQ(check.Extended.Stored("Encryption").value_or(""), "explicit");
  EXPECT_EQ(check.WebHostName, "changed here");
  EXPECT_EQ(check.WebPort, 2222);
  EXPECT_EQ(check.WebPasswd, first.WebPasswd);
}

TEST(PortFromText, NumbersAndEverythingElse) {
  EXPECT_EQ(PortFromText("21"), 21);
  EXPECT_EQ(PortFromText(" 2121 "), 2121);
  EXPECT_EQ(PortFromText("-3"), -3);
  EXPECT_EQ(PortFromText("abc"), 0);
  EXPECT_EQ(PortFromText(""), 0);
  EXPECT_EQ(PortFromText("99999999999"), 0);
}

}  // namespace
}  // namespace tovra
