#include "sites/site_editor.h"

#include <gtest/gtest.h>

#include <deque>

#include "platform/files.h"
#include "sites/site_list.h"
#include "support/temp_dir.h"
#include "util/char_string.h"

namespace tovra {
namespace {

using Items = std::vector<std::string>;

// Answers questions from a queue (OK when it runs dry) and records everything.
class RecordingMessenger : public IMessenger {
 public:
  void ShowMessage(TMessageKind kind, const std::string& text) override {
    EXPECT_EQ(kind, TMessageKind::Warning);
    log.push_back("show: " + text);
  }
  bool ConfirmOkCancel(const std::string& text) override {
    log.push_back("ask: " + text);
    if (answers.empty()) return true;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  bool ConfirmOkAbort(const std::string& text) override { return ConfirmOkCancel(text); }

  std::deque<bool> answers;
  Items log;
};

class SiteEditorTest : public ::testing::Test {
 protected:
  void SetUp() override { editor.SetSiteList(&list); }

  // Opens the dialog on site (as the main window does) and types newName.
  void Open(const std::string& site, const std::string& newName) {
    profile.LoadProfile(site);
    editor.FormShow();
    profile.edName = newName;
  }
  std::string File(const std::string& site) const { return ProfileFileName(site); }
  void MakeSite(const std::string& site, const std::string& host) {
    app.Write(ReplaceAll(site, "\\", "$~") + ".txt", "[WEBサーバー情報]\r\nWebHostName=" + host + "\r\n");
  }

  test::TempAppFolder app;
  TConfigFile config;
  TSiteProfile profile{config};
  RecordingMessenger messenger;
  TSiteEditor editor{profile, messenger};
  TStringList list{"abc", "other", "新規登録"};
};

TEST_F(SiteEditorTest, BlankNameDeletesAfterConfirmation) {
  for (const std::string blank : {"", "  ", "\x81\x40\t"}) {
    MakeSite("abc", "h");
    app.Write("abc.publish", "record");
    list = TStringList{"abc", "other", "新規登録"};
    messenger.log.clear();
    messenger.answers = {false};
    Open("abc", blank);
    EXPECT_EQ(editor.Button1Click(), TModalResult::None);
    EXPECT_TRUE(FileExists(File("abc")));
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(editor.Button1Click(), TModalResult::Ok);
    EXPECT_EQ(messenger.log, (Items{"ask: サイト名称「abc」を削除します。", "ask: サイト名称「abc」を削除します。"}));
    EXPECT_FALSE(FileExists(File("abc")));
    EXPECT_FALSE(FileExists(PublishRecordFileName("abc")));
    EXPECT_EQ(list.Items(), (Items{"other", "新規登録"}));
  }
}

TEST_F(SiteEditorTest, RefusalsChangeNothing) {
  MakeSite("abc", "h");
  const std::string badPort = "show: ポート番号は 1 から 65535 の範囲で指定してください。";
  struct Case {
    std::string site, typed, message;
    int port = 21;
  } cases[] = {
      {"新規登録", "", "show: 「新規登録」は削除できません。"},
      {"新規登録", "\x81\x40", "show: 「新規登録」は削除できません。"},
      {"abc", "新規登録", "show: サイト名称に「新規登録」は使えません。"},
      {"新規登録", "新規登録", "show: サイト名称に「新規登録」は使えません。"},
      {"新規登録", "OTHER", "show: サイト名称「OTHER」は使用済みです。"},
      {"abc", "abc", badPort, 65536},
      {"abc", "renamed", badPort, -1},
      {"新規登録", "new", badPort, 0},
  };
  for (const auto& c : cases) {
    messenger.log.clear();
    Open(c.site, c.typed);
    profile.WebPort = c.port;
    EXPECT_EQ(editor.Button1Click(), TModalResult::None) << c.typed;
    EXPECT_EQ(messenger.log, Items{c.message});
  }
  EXPECT_EQ(list.Items(), (Items{"abc", "other", "新規登録"}));
  EXPECT_EQ(ListFolder(app.Path()).size(), 1u);
}

TEST_F(SiteEditorTest, RenameIsConfirmedBeforeTheNameIsTested) {
  MakeSite("abc", "h");
  Open("abc", "ABC");
  EXPECT_EQ(editor.Button1Click(), TModalResult::None);
  EXPECT_EQ(messenger.log,
            (Items{"ask: サイト名称「abc」を「ABC」に変更します。", "show: サイト名称「ABC」は使用済みです。"}));
  messenger.log.clear();
  messenger.answers = {false};
  EXPECT_EQ(editor.Button1Click(), TModalResult::None);
  EXPECT_EQ(messenger.log, Items{"ask: サイト名称「abc」を「ABC」に変更します。"});
  EXPECT_TRUE(FileExists(File("abc")));
  EXPECT_FALSE(FileExists(File("ABC")));
  EXPECT_EQ(list.Items(), (Items{"abc", "other", "新規登録"}));
}

TEST_F(SiteEditorTest, RenameMovesTheProfileAndKeepsThePosition) {
  MakeSite("abc", "old host");
  app.Write("abc.publish", "record");
  Open("abc", "xyz");
  profile.WebHostName = "new host";
  EXPECT_EQ(editor.Button1Click(), TModalResult::Ok);
  EXPECT_EQ(list.Items(), (Items{"xyz", "other", "新規登録"}));
  EXPECT_FALSE(FileExists(File("abc")));
  EXPECT_FALSE(FileExists(PublishRecordFileName("abc")));
  EXPECT_EQ(ReadFileBytes(PublishRecordFileName("xyz")), "record");
  TSiteProfile check(config);
  check.LoadProfile("xyz");
  EXPECT_EQ(check.WebHostName, "new host");
}

TEST_F(SiteEditorTest, FailedRenameLosesNothing) {
  MakeSite("abc", "h");
  Open("abc", "x/y");
  EXPECT_THROW(editor.Button1Click(), EFileError);
  EXPECT_TRUE(FileExists(File("abc")));
  EXPECT_EQ(list.Items(), (Items{"abc", "other", "新規登録"}));
}

TEST_F(SiteEditorTest, NamesSharingOneProfileFile) {
  list = TStringList{"a\\b", "新規登録"};
  MakeSite("a\\b", "h");
  Open("新規登録", "A$~B");  // would overwrite the profile of a\b
  EXPECT_EQ(editor.Button1Click(), TModalResult::None);
  EXPECT_EQ(messenger.log.back(), "show: サイト名称「A$~B」は使用済みです。");

  Open("a\\b", "a$~b");  // a rename onto its own file
  profile.WebHostName = "renamed";
  EXPECT_EQ(editor.Button1Click(), TModalResult::Ok);
  EXPECT_EQ(list.Items(), (Items{"a$~b", "新規登録"}));
  TSiteProfile check(config);
  check.LoadProfile("a$~b");
  EXPECT_EQ(check.WebHostName, "renamed");
}

TEST_F(SiteEditorTest, CreateAndSave) {
  Open("新規登録", " spaced ");
  profile.WebHostName = "host";
  EXPECT_EQ(editor.Button1Click(), TModalResult::Ok);
  EXPECT_TRUE(messenger.log.empty());
  EXPECT_TRUE(FileExists(File(" spaced ")));  // stored untrimmed
  EXPECT_EQ(list.Count(), 3);                 // the caller adds it
  AddCreatedSite(list, profile.CurrentSiteName());
  EXPECT_EQ(list.Items(), (Items{"abc", "other", " spaced ", "新規登録"}));

  Open(" spaced ", " spaced ");
  profile.WebPort = 10021;
  EXPECT_EQ(editor.Button1Click(), TModalResult::Ok);
  EXPECT_TRUE(messenger.log.empty());
  TSiteProfile check(config);
  check.LoadProfile(" spaced ");
  EXPECT_EQ(check.WebPort, 10021);
}

TEST_F(SiteEditorTest, CancelReloadsTheOldProfile) {
  MakeSite("abc", "stored");
  Open("abc", "typed name");
  profile.WebHostName = "edited";
  EXPECT_EQ(editor.Button2Click(), TModalResult::Cancel);
  EXPECT_EQ(profile.CurrentSiteName(), "abc");
  EXPECT_EQ(profile.WebHostName, "stored");

  Open("other", "other");  // no profile file yet: the defaults of an absent file
  profile.WebPort = 1;
  EXPECT_EQ(editor.Button2Click(), TModalResult::Cancel);
  EXPECT_EQ(profile.WebPort, 15);
  EXPECT_EQ(profile.LocalRootDir, "/");

  Open("新規登録", "draft");
  profile.WebHostName = "draft host";
  EXPECT_EQ(editor.Button2Click(), TModalResult::Cancel);
  EXPECT_EQ(profile.CurrentSiteName(), "新規登録");
  EXPECT_EQ(profile.WebHostName, "");
  EXPECT_EQ(profile.WebPort, 21);
  EXPECT_TRUE(messenger.log.empty());
}

}  // namespace
}  // namespace tovra
