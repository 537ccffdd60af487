// tovra-cli sites / site show|set|delete, run as a separate process on a
// temporary application folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <thread>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using test::CliResult;

class SiteCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateDirectory(root.Path() + "/www"); }

  // Runs tovra-cli in the site folder with CP932 arguments, feeding input on stdin.
  CliResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    return test::RunCli(args, app.Path(), root.Path(), input);
  }
  std::string SiteList() { return ReadFileBytes(app.Path() + "/サイトリスト.txt"); }

  test::TempDir app, root;
};

TEST_F(SiteCommandsTest, CreateShowListAndDelete) {
  CliResult r = Run({"sites"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "新規登録\n");

  r = Run({"site", "set", "ショップ\\テスト", "LocalRootDir=www/", "WebHostName=ftp.example.jp", "webpasswd=pa ss=word",
           "WebPort=2121", "WebURL=http://example.jp/"});
  EXPECT_EQ(r.status, 0) << r.err;
  // The tests' session bus is one nothing listens on: no keyring answers.
  EXPECT_EQ(r.err, "キーリングが利用できないため、パスワードはプロファイルに保存されます。\n");
  EXPECT_EQ(SiteList(), "ショップ\\テスト\r\n新規登録\r\n");
  const std::string profile = app.Path() + "/ショップ$~テスト.txt";
  struct stat st;
  ASSERT_EQ(::stat(ToOsPath(profile).c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_EQ(Run({"sites"}).out, "ショップ\\テスト\n新規登録\n");
  const std::string shown = "chkUseProxy=0\nLocalRootDir=" + root.Path() +
                            "/www\nWebURL=http://example.jp/\nWebHostName=ftp.example.jp\nWebUserName=\nWebPasswd=%s\n"
                            "WebPort=2121\nProxyPasswd=\nProxyPort=0\nProxyHostName=\nProxyUserName=\n";
  // A new site is created with the extended settings of one made in the window.
  const std::string extended =
      "DataConnection=passive\nEncryption=explicit-if-available\nPageEncoding=auto\n"
      "RemoteNameEncoding=auto\nReuseConnection=1\nConnections=4\nProtocol=ftp\nPasswordStore=file\nReferences="
      "modern\nVerifyAfterUpload=0\nAtomicUpload=1\n";
  r = Run({"site", "show", "ショップ\\テスト"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, FormatMessage(shown, {"********"}) + extended);
  EXPECT_EQ(Run({"site", "show", "ショップ\\テスト", "--show-passwords"}).out,
            FormatMessage(shown, {"pa ss=word"}) + extended);

  r = Run({"site", "delete", "ショップ\\テスト"}, "n\n");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "サイト名称「ショップ\\テスト」を削除します。 [y/N] n\n");
  EXPECT_TRUE(FileExists(profile));

  r = Run({"site", "delete", "ショップ\\テスト"}, "y\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(FileExists(profile));
  EXPECT_EQ(SiteList(), "新規登録\r\n");
}

TEST_F(SiteCommandsTest, EditAndRenameKeepTheSite) {
  ASSERT_EQ(Run({"site", "set", "abc", "WebUserName=me"}).status, 0);
  ASSERT_EQ(Run({"site", "set", "second"}).status, 0);
  EXPECT_EQ(SiteList(), "abc\r\nsecond\r\n新規登録\r\n");

  CliResult r = Run({"site", "set", "ABC", "WebPort=10021"});  // the list's spelling is edited
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(SiteList(), "abc\r\nsecond\r\n新規登録\r\n");
  EXPECT_NE(Run({"site", "show", "abc"}).out.find("WebUserName=me\nWebPasswd=\nWebPort=10021\n"), std::string::npos);

  r = Run({"site", "set", "abc", "--rename", "xyz", "--yes"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "サイト名称「abc」を「xyz」に変更します。 [y/N] y\n");
  EXPECT_EQ(SiteList(), "xyz\r\nsecond\r\n新規登録\r\n");
  EXPECT_FALSE(FileExists(app.Path() + "/abc.txt"));
  EXPECT_NE(Run({"site", "show", "xyz"}).out.find("WebUserName=me\n"), std::string::npos);
}

TEST_F(SiteCommandsTest, RefusalsExitWithOne) {
  ASSERT_EQ(Run({"site", "set", "abc"}).status, 0);
  const std::string list = SiteList();
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"site", "set", "abc", "--rename", "ABC", "--yes"},
       "サイト名称「abc」を「ABC」に変更します。 [y/N] y\nサイト名称「ABC」は使用済みです。\n"},
      {{"site", "set", "abc", "--rename", "新規登録"}, "サイト名称に「新規登録」は使えません。\n"},
      {{"site", "set", "新規登録"}, "サイト名称に「新規登録」は使えません。\n"},
      {{"site", "delete", "新規登録", "--yes"}, "「新規登録」は削除できません。\n"},
      {{"site", "show", "nothing"}, "サイト名称「nothing」は登録されていません。\n"},
      {{"site", "delete", "nothing"}, "サイト名称「nothing」は登録されていません。\n"},
      {{"site", "set", "nothing", "--rename", "x"}, "サイト名称「nothing」は登録されていません。\n"},
      {{"site", "set", "abc", "LocalRootDir=/no/such/folder"}, "パス設定エラー : \"/no/such/folder\"\n"},
      {{"site", "set", "a/b"}, app.Path() + "/a/b.txt に書き込めません\n"},
      {{"site", "set", "abc", "WebPort=70000"}, "ポート番号は 1 から 65535 の範囲で指定してください。\n"},
      {{"site", "set", "new", "WebPort=-1"}, "ポート番号は 1 から 65535 の範囲で指定してください。\n"},
  };
  for (const auto& c : cases) {
    CliResult r = Run(c.args);
    EXPECT_EQ(r.status, 1) << c.args[2];
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_EQ(SiteList(), list);
  EXPECT_EQ(ListFolder(app.Path()).size(), 2u);  // the list and abc.txt
}

// A profile written with a password is its owner's alone, whatever mode it
// had; a folder others can write is named once on stderr.
TEST_F(SiteCommandsTest, ProfilesStayPrivateAndAnOpenFolderIsWarnedOnce) {
  ASSERT_EQ(Run({"site", "set", "abc"}).status, 0);
  const std::string profile = ToOsPath(app.Path() + "/abc.txt");
  ASSERT_EQ(::chmod(profile.c_str(), 0644), 0);
  ASSERT_EQ(::chmod(ToOsPath(app.Path()).c_str(), 0777), 0);
  CliResult r = Run({"site", "set", "abc", "WebPasswd=secret"});
  EXPECT_EQ(r.status, 0) << r.err;
  struct stat st;
  ASSERT_EQ(::stat(profile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const std::string warning = "警告: アプリケーションフォルダー " + app.Path() + " は他のユーザーも書き込めます。";
  ASSERT_NE(r.err.find(warning), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find(warning, r.err.find(warning) + 1), std::string::npos) << r.err;
  ASSERT_EQ(::chmod(ToOsPath(app.Path()).c_str(), 0700), 0);
  EXPECT_EQ(Run({"sites"}).err, "");
}

// Two tovra-cli processes at once, on one site or creating two: every
// change of both reaches the files, round after round.
TEST_F(SiteCommandsTest, ConcurrentRunsLoseNoChange) {
  ASSERT_EQ(Run({"site", "set", "shared"}).status, 0);
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    const std::string n = std::to_string(round);
    CliResult a, b, c, d;
    std::thread first([&] { a = Run({"site", "set", "shared", "WebUserName=user" + n}); });
    std::thread second([&] { b = Run({"site", "set", "shared", "WebHostName=host" + n}); });
    std::thread third([&] { c = Run({"site", "set", "left" + n}); });
    std::thread fourth([&] { d = Run({"site", "set", "right" + n}); });
    for (auto* t : {&first, &second, &third, &fourth}) t->join();
    for (const auto* r : {&a, &b, &c, &d}) EXPECT_EQ(r->status, 0) << r->err;
    const std::string shown = Run({"site", "show", "shared"}).out;
    EXPECT_NE(shown.find("WebHostName=host" + n + "\nWebUserName=user" + n + "\n"), std::string::npos) << shown;
    const std::string list = SiteList();
    EXPECT_NE(list.find("left" + n + "\r\n"), std::string::npos) << list;
    EXPECT_NE(list.find("right" + n + "\r\n"), std::string::npos) << list;
  }
}

TEST_F(SiteCommandsTest, NamesWithLineBreaksAreRefused) {
  ASSERT_EQ(Run({"site", "set", "real", "WebHostName=h"}).status, 0);
  const std::string list = SiteList();
  for (const std::string name : {"a\nb", "a\rb", "x\r\n/", "\nreal"}) {
    CliResult r = Run({"site", "set", name, "WebHostName=h"});
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find("に書き込めません"), std::string::npos) << r.err;
    r = Run({"site", "set", "real", "--rename", name, "--yes"});
    EXPECT_EQ(r.status, 1) << name;
  }
  EXPECT_EQ(SiteList(), list);
  EXPECT_EQ(Run({"sites"}).out, "real\n新規登録\n");
  EXPECT_NE(Run({"site", "show", "real"}).out.find("WebHostName=h\n"), std::string::npos);
  EXPECT_EQ(ListFolder(app.Path()).size(), 2u);  // the list and real.txt
}

TEST_F(SiteCommandsTest, ValuesReadBackExactlyOrAreRefusedByKey) {
  struct Case {
    std::string value;
  } cases[] = {{" pass word "}, {"\"quoted\""}, {"'single'"}, {"\tx\t"}, {"\""}, {"\"\""}, {std::string(2047, 'u')}};
  for (const auto& c : cases) {
    CliResult r = Run({"site", "set", "s", "WebPasswd=" + c.value, "WebURL=" + c.value});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string shown = Run({"site", "show", "s", "--show-passwords"}).out;
    EXPECT_NE(shown.find("\nWebURL=" + c.value + "\n"), std::string::npos) << "[" << c.value << "] " << shown;
    EXPECT_NE(shown.find("\nWebPasswd=" + c.value + "\n"), std::string::npos) << "[" << c.value << "] " << shown;
  }
  const std::string profile = ReadFileBytes(app.Path() + "/s.txt");
  CliResult tooLong = Run({"site", "set", "s", "WebPasswd=" + std::string(2048, 'p')});
  EXPECT_EQ(tooLong.status, 1);
  EXPECT_NE(tooLong.err.find("WebPasswd"), std::string::npos) << tooLong.err;
  EXPECT_EQ(tooLong.err.find("ppp"), std::string::npos) << "the value itself is never shown";
  EXPECT_EQ(ReadFileBytes(app.Path() + "/s.txt"), profile);
}

TEST_F(SiteCommandsTest, PasswordThatCannotBeConvertedIsNamedByItsKey) {
  // "€" has no Shift-JIS form: the argument is handed over as raw UTF-8.
  const std::string command = "cd '" + ToOsPath(root.Path()) + "' && TOVRA_APP_FOLDER='" + ToOsPath(app.Path()) +
                              "' '" + test::CliPath() + "' site set s 'WebPasswd=Sec\xe2\x82\xacretPW' 2>'" +
                              ToOsPath(app.Path()) + "/err' >/dev/null";
  EXPECT_NE(std::system(command.c_str()), 0);
  const std::string err = ReadFileBytes(app.Path() + "/err");
  EXPECT_NE(err.find("WebPasswd"), std::string::npos) << err;
  EXPECT_EQ(err.find("retPW"), std::string::npos) << err;
  EXPECT_FALSE(FileExists(app.Path() + "/s.txt"));
}

TEST_F(SiteCommandsTest, UsageErrorsExitWithTwo) {
  for (const auto& args : std::vector<std::vector<std::string>>{{"site"},
                                                                {"site", "rename"},
                                                                {"site", "set"},
                                                                {"site", "set", "abc", "Colour=red"},
                                                                {"site", "set", "abc", "WebPort=21a"},
                                                                {"site", "set", "abc", "loose"},
                                                                {"site", "show", "abc", "extra"},
                                                                {"sites", "extra"}}) {
    EXPECT_EQ(Run(args).status, 2) << args.back();
  }
  EXPECT_FALSE(FileExists(app.Path() + "/サイトリスト.txt"));
}

TEST_F(SiteCommandsTest, ExtendedSettingsAreCheckedAndShownWhenStored) {
  // A value no key accepts is shown as it stands, with what a connection does with it.
  app.Write("old.txt", "[WEBサーバー情報]\r\nWebHostName=h\r\n[拡張設定]\r\nEncryption=explicitt\r\n");
  app.Write("サイトリスト.txt", "old\r\n新規登録\r\n");
  const std::string first = Run({"site", "show", "old"}).out;
  EXPECT_EQ(first.find("Connections="), std::string::npos);
  EXPECT_NE(first.find("Encryption=explicitt  (読めない値です: この値のままでは接続しません)\n"), std::string::npos)
      << first;

  struct Case {
    std::string arg;
    int status;
    std::string shown;  // a line of site show afterwards, or the key named in the error
  } cases[] = {
      {"connections=2", 0, "Connections=2\n"},
      {"ReuseConnection=1", 0, "ReuseConnection=1\n"},
      {"Encryption=Implicit", 0, "Encryption=implicit\n"},
      {"Connections=9", 1, "Connections"},
      {"ReuseConnection=true", 1, "ReuseConnection"},
      {"PageEncoding=latin1", 1, "PageEncoding"},
  };
  for (const auto& c : cases) {
    const std::string before = ReadFileBytes(app.Path() + "/old.txt");
    CliResult r = Run({"site", "set", "old", c.arg});
    EXPECT_EQ(r.status, c.status) << c.arg << r.err;
    if (c.status == 0) {
      EXPECT_NE(Run({"site", "show", "old"}).out.find(c.shown), std::string::npos) << c.arg;
    } else {
      EXPECT_NE(r.err.find(c.shown), std::string::npos) << r.err;
      EXPECT_EQ(ReadFileBytes(app.Path() + "/old.txt"), before);
    }
  }
  // Keys never set stay out of the file.
  EXPECT_EQ(ReadFileBytes(app.Path() + "/old.txt").find("Protocol"), std::string::npos);
}

TEST_F(SiteCommandsTest, GoneRootFolderStillShowsTheProfile) {
  app.Write("old.txt", "[基点フォルダー]\r\nLocalRootDir=/gone/folder\r\n[WEBサーバー情報]\r\nWebHostName=h\r\n");
  app.Write("サイトリスト.txt", "old\r\n新規登録\r\n");
  CliResult r = Run({"site", "show", "old"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "パス設定エラー : \"/gone/folder\"\n");
  EXPECT_NE(r.out.find("LocalRootDir=/gone/folder\nWebURL=\nWebHostName=h\n"), std::string::npos);
  r = Run({"site", "set", "old", "LocalRootDir=" + root.Path() + "/www"});  // mended
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(Run({"site", "show", "old"}).err, "");
}

}  // namespace
}  // namespace tovra

namespace tovra {
namespace {

// Every confirming command asks the one way: the question on stderr, the
// answer from --yes, --no or standard input, and a clear stop when input
// runs out instead of a silent no.
TEST_F(SiteCommandsTest, QuestionsAreAnsweredOneWayEverywhere) {
  ASSERT_EQ(Run({"site", "set", "abc"}).status, 0);
  const std::string question = "サイト名称「abc」を削除します。 [y/N] ";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string err;
  } cases[] = {
      {{"site", "delete", "abc", "--no"}, "", 1, question + "n\n"},
      {{"site", "delete", "abc"},
       "",
       1,
       question + "\nno answer: standard input ended before the question was answered (use --yes or --no)\n"},
      {{"site", "delete", "abc"}, "No\n", 1, question + "No\n"},
      {{"site", "delete", "abc", "--yes", "--no"}, "", 2, ""},
  };
  for (const auto& c : cases) {
    CliResult r = Run(c.args, c.input);
    EXPECT_EQ(r.status, c.status) << c.args.back() << " " << c.input;
    if (!c.err.empty()) {
      EXPECT_EQ(r.err, c.err);
    }
    EXPECT_NE(SiteList().find("abc"), std::string::npos);
  }
  CliResult r = Run({"site", "delete", "abc"}, "OK\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(SiteList(), "新規登録\r\n");
}

}  // namespace
}  // namespace tovra
