// Site passwords kept in a real keyring (a private bus with the keyring
// daemon): what the profile file holds, what secret-tool finds, and how
// saving, renaming and deleting a site move the items.
#include "sites/site_passwords.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/secret_store.h"
#include "sites/site_editor.h"
#include "sites/site_profile.h"
#include "support/keyring_session.h"
#include "support/recording_messenger.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

class SitePasswordsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!keyring.Unavailable().empty()) GTEST_SKIP() << keyring.Unavailable();
    CreateDirectory(app.Sub("www"));
  }
  // A site made as in the window, with both passwords.
  void MakeSite(const std::string& name) {
    TSiteProfile p(config);
    p.LoadProfile(std::string(kNewSiteName));
    p.edName = name;
    p.ChooseRootFolder(app.Sub("www"));
    p.WebPasswd = "web-pw";
    p.ProxyPasswd = "プロキシ";
    p.SaveProfile();
  }
  std::string File(const std::string& name) { return ReadFileBytes(ProfileFileName(name)); }

  test::KeyringSession keyring;
  test::TempAppFolder app;
  TConfigFile config;
};

TEST_F(SitePasswordsTest, NewSiteKeepsItsPasswordsOutOfItsFile) {
  MakeSite("ショップ");
  const std::string text = File("ショップ");
  EXPECT_NE(text.find("WebPasswd=\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("ProxyPasswd=\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("PasswordStore=keyring\r\n"), std::string::npos) << text;
  EXPECT_EQ(keyring.Lookup("ショップ", "WebPasswd"), "web-pw");
  EXPECT_EQ(keyring.Lookup("ショップ", "ProxyPasswd"), "プロキシ");

  TSiteProfile back(config);
  back.LoadProfile("ショップ");
  EXPECT_EQ(back.WebPasswd, "web-pw");
  EXPECT_EQ(back.ProxyPasswd, "プロキシ");
  back.ProxyPasswd.clear();  // an emptied password leaves no item
  back.SaveProfile();
  EXPECT_EQ(keyring.ItemCount("ショップ"), 1);
}

TEST_F(SitePasswordsTest, RenameMovesTheItemsAndDeleteRemovesThem) {
  MakeSite("old");
  TSiteProfile p(config);
  test::RecordingMessenger yes(true);
  TSiteEditor editor(p, yes);
  p.LoadProfile("old");
  editor.FormShow();
  p.edName = "new";
  ASSERT_EQ(editor.Button1Click(), TModalResult::Ok);
  EXPECT_EQ(keyring.ItemCount("old"), 0);
  EXPECT_EQ(keyring.Lookup("new", "WebPasswd"), "web-pw");
  EXPECT_EQ(keyring.Lookup("new", "ProxyPasswd"), "プロキシ");

  editor.FormShow();
  p.edName.clear();
  ASSERT_EQ(editor.Button1Click(), TModalResult::Ok);
  EXPECT_EQ(keyring.ItemCount("new"), 0);
  EXPECT_FALSE(FileExists(ProfileFileName("new")));
}

TEST_F(SitePasswordsTest, BackToTheFileTakesThePasswordsOutOfTheKeyring) {
  MakeSite("s");
  TSiteProfile p(config);
  p.LoadProfile("s");
  p.Extended.Set("PasswordStore", "file");
  p.SaveProfile();
  EXPECT_NE(File("s").find("WebPasswd=web-pw\r\n"), std::string::npos);
  EXPECT_EQ(keyring.ItemCount("s"), 0);
}

TEST_F(SitePasswordsTest, AFailedWriteLeavesKeyringAndFileAsTheyWere) {
  // A plain profile moved to a locked keyring: refused, the file untouched.
  app.Write("plain.txt", "[WEBサーバー情報]\r\nWebPasswd=plain-pw\r\n");
  TSiteProfile p(config);
  p.LoadProfile("plain");
  ASSERT_TRUE(keyring.Lock());
  p.Extended.Set("PasswordStore", "keyring");
  try {
    p.SaveProfile();
    FAIL() << "saved into a locked keyring";
  } catch (const ESecretStoreError& e) {
    EXPECT_EQ(e.Fault(), TSecretStoreFault::Locked);
    EXPECT_NE(std::string(e.what()).find("サイト「plain」"), std::string::npos);
  }
  EXPECT_EQ(File("plain"), "[WEBサーバー情報]\r\nWebPasswd=plain-pw\r\n");
  EXPECT_EQ(keyring.ItemCount("plain"), 0);
}

TEST_F(SitePasswordsTest, AProfileThatCannotBeWrittenTakesTheKeyringWriteBack) {
  MakeSite("busy");
  CreateDirectory(app.Sub("busy2.txt"));  // no file can replace a folder
  TSiteProfile p(config);
  p.LoadProfile("busy");
  p.edName = "busy2";
  p.WebPasswd = "changed";
  EXPECT_THROW(p.SaveProfile(), EFileError);
  EXPECT_EQ(keyring.ItemCount("busy2"), 0);
  EXPECT_EQ(keyring.Lookup("busy", "WebPasswd"), "web-pw");
}

TEST_F(SitePasswordsTest, ALockedKeyringIsAnErrorWhenTheSiteLoads) {
  MakeSite("s");
  ASSERT_TRUE(keyring.Lock());
  TSiteProfile p(config);
  try {
    p.LoadProfile("s");
    FAIL() << "loaded without its passwords";
  } catch (const ESecretStoreError& e) {
    EXPECT_STREQ(e.what(), "キーリングがロックされているため、サイト「s」のパスワードを読み書きできません。");
  }
  EXPECT_EQ(p.WebPasswd, "");
  EXPECT_EQ(p.LocalRootDir, app.Sub("www"));         // everything else was read
  EXPECT_THROW(p.SaveProfile(), ESecretStoreError);  // never the empty fields over the items
  EXPECT_EQ(keyring.ItemCount("s"), 2);
  EXPECT_EQ(File("s").find("web-pw"), std::string::npos);
}

}  // namespace
}  // namespace tovra
