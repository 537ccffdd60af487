// tovra-cli with site passwords in a real keyring (a private bus with the
// keyring daemon) and without one: what the profile files hold, what
// secret-tool finds, and that uploads still log in.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "sites/dmConfig.h"
#include "support/cli_runner.h"
#include "support/keyring_session.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"
#include "support/test_site.h"

namespace tovra {
namespace {

using test::CliResult;

constexpr char kNoKeyringNote[] = "キーリングが利用できないため、パスワードはプロファイルに保存されます。\n";

class CliKeyringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!keyring.Unavailable().empty()) GTEST_SKIP() << keyring.Unavailable();
    work.Write("site/a.html", "<p>a</p>\r\n");
    CreateDirectory(work.Sub("remote"));
  }
  CliResult Run(const std::vector<std::string>& args, const test::CliEnvironment& environment = {}) {
    return test::RunCli(args, app.Path(), work.Path(), "", environment);
  }
  std::string Profile(const std::string& name) { return ReadFileBytes(ProfileFileName(name)); }
  // Uploads the page to a fresh server that knows user "tovra", password "secret".
  CliResult Upload(const std::string& site) {
    test::PyFtpdServer server(work.Sub("remote"));
    Run({"site", "set", site, "WebPort=" + std::to_string(server.Port())});
    return Run({"upload", "--site", site, "site/a.html"});
  }

  test::KeyringSession keyring;
  test::TempAppFolder app;
  test::TempDir work;
};

TEST_F(CliKeyringTest, NewSitesAndSecuredSitesKeepNoPasswordInAFileAndLogIn) {
  CliResult r =
      Run(test::Words("site set new LocalRootDir=site WebHostName=127.0.0.1 WebUserName=tovra "
                      "WebPasswd=secret ProxyPasswd=proxy-pw"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");  // a keyring answered: nothing to say
  test::SaveTestSite({"古いサイト", work.Sub("site"), 21, "secret", ""});
  EXPECT_NE(Profile("古いサイト").find("WebPasswd=secret\r\n"), std::string::npos);
  r = Run({"site", "secure", "--all"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "new: パスワードはすでにキーリングにあります\n古いサイト: パスワードをキーリングに移しました\n");

  for (const std::string site : {"new", "古いサイト"}) {
    const std::string text = Profile(site);
    EXPECT_NE(text.find("WebPasswd=\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("secret"), std::string::npos) << text;
    EXPECT_NE(text.find("PasswordStore=keyring\r\n"), std::string::npos) << text;
    EXPECT_EQ(keyring.Lookup(site, "WebPasswd"), "secret");
    EXPECT_NE(Run({"site", "show", site}).out.find("\nWebPasswd=********\n"), std::string::npos);
    EXPECT_NE(Run({"site", "show", site, "--show-passwords"}).out.find("\nWebPasswd=secret\n"), std::string::npos);
    r = Upload(site);
    EXPECT_EQ(r.status, 0) << site << ": " << r.out << r.err;
  }
  EXPECT_EQ(keyring.Lookup("new", "ProxyPasswd"), "proxy-pw");
  EXPECT_EQ(Profile("new").find("proxy-pw"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(work.Sub("remote/a.html")), "<p>a</p>\r\n");
}

TEST_F(CliKeyringTest, RenameAndDeleteMoveAndRemoveTheItems) {
  ASSERT_EQ(Run(test::Words("site set one WebPasswd=pw1")).status, 0);
  ASSERT_EQ(Run(test::Words("site set one --yes --rename two")).status, 0);
  EXPECT_EQ(keyring.ItemCount("one"), 0);
  EXPECT_EQ(keyring.Lookup("two", "WebPasswd"), "pw1");
  ASSERT_EQ(Run(test::Words("site delete two --yes")).status, 0);
  EXPECT_EQ(keyring.ItemCount("two"), 0);
}

TEST_F(CliKeyringTest, WithoutASessionBusANewSiteKeepsTheFileAndSaysSo) {
  const test::CliEnvironment noBus{{"DBUS_SESSION_BUS_ADDRESS", test::kNoSessionBus}};
  CliResult r = Run(test::Words("site set plain WebPasswd=pw"), noBus);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, kNoKeyringNote);
  EXPECT_NE(Profile("plain").find("WebPasswd=pw\r\n"), std::string::npos);
  EXPECT_NE(Profile("plain").find("PasswordStore=file\r\n"), std::string::npos);
  r = Run(test::Words("site set plain WebPort=2121"), noBus);  // an edit is no new site
  EXPECT_EQ(r.err, "");
  r = Run(test::Words("site secure plain"), noBus);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("キーリングが利用できないため、サイト「plain」の"), std::string::npos) << r.err;
  EXPECT_NE(Profile("plain").find("WebPasswd=pw\r\n"), std::string::npos);
}

TEST_F(CliKeyringTest, ALockedKeyringIsAnErrorAndNoPasswordReachesAFile) {
  ASSERT_EQ(Run(test::Words("site set kept LocalRootDir=site WebPasswd=kept-pw")).status, 0);
  ASSERT_TRUE(keyring.Lock());
  const std::string locked = "キーリングがロックされているため、サイト「%s」のパスワードを読み書きできません。\n";
  struct Row {
    std::string command, site;
  } rows[] = {
      {"site set fresh WebPasswd=fresh-pw", "fresh"},
      {"site show kept --show-passwords", "kept"},
      {"upload --site kept site/a.html", "kept"},
  };
  for (const auto& row : rows) {
    CliResult r = Run(test::Words(row.command));
    EXPECT_EQ(r.status, 1) << row.command;
    EXPECT_NE(r.err.find(FormatMessage(locked, {row.site})), std::string::npos) << row.command << ": " << r.err;
  }
  EXPECT_FALSE(FileExists(ProfileFileName("fresh")));
  EXPECT_EQ(Profile("kept").find("kept-pw"), std::string::npos);
  // A check for changed files needs no password: the locked keyring is not asked.
  CliResult r = Run({"check-updates"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("キーリング"), std::string::npos) << r.err;
  EXPECT_EQ(keyring.ItemCount("fresh"), 0);
}

}  // namespace
}  // namespace tovra
