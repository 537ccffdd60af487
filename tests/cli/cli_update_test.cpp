// tovra-cli check-updates and upload --changed, run as a separate process on a
// temporary application folder holding two sites whose pages the tests edit
// by setting their times.
#include <gtest/gtest.h>
#include <sys/time.h>

#include <cstdint>
#include <ctime>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

const std::string kNothingFound = "更新されたファイルは検出されませんでした。\n";
const std::string kBeta = "ベータ";

// 12:00:00 local time on 10 January 2024: every fixture file starts here.
std::time_t BaseTime() {
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 0;
  tm.tm_mday = 10;
  tm.tm_hour = 12;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}
// Its packed form: years since 1980, month, day | hours, minutes, seconds / 2.
constexpr std::uint32_t kBasePacked = (44u << 25) | (1u << 21) | (10u << 16) | (12u << 11);

using test::CliResult;

class CliUpdateTest : public ::testing::Test {
 protected:
  CliResult Run(const std::vector<std::string>& args) { return test::RunCli(args, app.Path(), web.Path()); }
  // A file below the sites' folder, last written `at` seconds after the base time.
  std::string Write(const std::string& name, const std::string& text, long at = 0) {
    std::string path = web.Write(name, text);
    SetTime(name, at);
    return path;
  }
  void SetTime(const std::string& name, long at) {
    timeval tv[2] = {{BaseTime() + at, 0}, {BaseTime() + at, 0}};
    ASSERT_EQ(::utimes(ToOsPath(web.Sub(name)).c_str(), tv), 0) << name;
  }
  void AddSite(const std::string& name, const std::string& folder, std::vector<std::string> keys = {}) {
    std::vector<std::string> args{"site", "set", name, "LocalRootDir=" + web.Sub(folder)};
    args.insert(args.end(), keys.begin(), keys.end());
    CliResult r = Run(args);
    ASSERT_EQ(r.status, 0) << r.err;
  }
  std::string ListPath() const { return app.Path() + "/管理ファイルリスト.txt"; }
  std::string List() const { return ReadFileBytes(ListPath()); }
  // The check's report of one site, as it is printed.
  std::string Report(const std::string& site, const std::vector<std::string>& names) const {
    std::string text = "[" + site + "]\n";
    for (const auto& name : names) text += "  " + web.Sub(name) + "\n";
    return text;
  }

  test::TempDir app, web;
};

// Two sites, the second's root beginning with the first's ("alpha2" and
// "alpha"), so a bare prefix test would give the second's files to the first.
TEST_F(CliUpdateTest, ChecksSiteBySiteAndSaveSetsTheBaseline) {
  Write("alpha/index.html", "<html>");
  Write("alpha/sub/page.htm", "<html>");
  Write("alpha/movie.swf", "FWS");
  Write("alpha/style.css", "p{}");
  Write("alpha/.svn/entries.html", "x");
  Write("alpha2/top.html", "<html>");
  AddSite("alpha", "alpha");
  AddSite(kBeta, "alpha2");

  // Without a saved list nothing is new; the window's message, and a hint.
  CliResult r = Run({"check-updates"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err.substr(0, kNothingFound.size()), kNothingFound);
  EXPECT_NE(r.err.find("check-updates --save"), std::string::npos);
  EXPECT_FALSE(FileExists(ListPath()));

  r = Run({"check-updates", "--save"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kNothingFound);
  const std::string saved = List();
  const std::string packed = std::to_string(static_cast<std::int32_t>(kBasePacked));
  EXPECT_EQ(saved.substr(0, 13), "alpha?$B?0\r\n/");
  for (const char* name : {"alpha/index.html", "alpha/sub/page.htm", "alpha/movie.swf", "alpha2/top.html"})
    EXPECT_NE(saved.find("\n" + web.Sub(name) + "?$B?" + packed + "\r\n"), std::string::npos) << name;
  EXPECT_LT(saved.find("alpha/movie.swf"), saved.find("\r\n" + kBeta + "?$B?0\r\n"));
  EXPECT_LT(saved.find("\r\n" + kBeta + "?$B?0\r\n"), saved.find("alpha2/top.html"));
  EXPECT_EQ(saved.find("style.css"), std::string::npos);
  EXPECT_EQ(saved.find(".svn"), std::string::npos);

  SetTime("alpha/index.html", 3600);     // edited
  SetTime("alpha/sub/page.htm", -3600);  // an older copy put back: not reported
  SetTime("alpha/movie.swf", 1);         // within the same two-second step
  SetTime("alpha/style.css", 3600);      // not a page
  Write("alpha2/new.html", "<html>", 10);
  const std::string expected = Report("alpha", {"alpha/index.html"}) + Report(kBeta, {"alpha2/new.html"});
  r = Run({"check-updates"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);
  EXPECT_EQ(r.err, "");
  // A check alone writes nothing: it says the same again.
  EXPECT_EQ(List(), saved);
  EXPECT_EQ(Run({"check-updates"}).out, expected);

  r = Run({"check-updates", "--save"});
  EXPECT_EQ(r.out, expected);
  EXPECT_NE(List(), saved);
  r = Run({"check-updates"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kNothingFound);
}

TEST_F(CliUpdateTest, FailuresAndRefusals) {
  // With only the new-site entry there is nothing to check.
  CliResult r = Run({"check-updates", "--save"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kNothingFound);

  Write("alpha/index.html", "<html>");
  CreateDirectory(web.Sub("gone"));
  AddSite("alpha", "alpha");
  AddSite(kBeta, "gone");
  ASSERT_EQ(Run({"check-updates", "--save"}).status, 0);
  const std::string saved = List();

  // A root that has gone stops the check, and nothing is written.
  ASSERT_EQ(::rmdir(ToOsPath(web.Sub("gone")).c_str()), 0);
  SetTime("alpha/index.html", 3600);
  r = Run({"check-updates", "--save"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("パス設定エラー"), std::string::npos) << r.err;
  EXPECT_EQ(List(), saved);
  CreateDirectory(web.Sub("gone"));

  // A saved time that is no number stops the comparison with its error.
  WriteFileAtomic(ListPath(), "alpha?$B?0\r\n" + web.Sub("alpha/index.html") + "?$B?12x\r\n");
  r = Run({"check-updates"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "'12x' は整数ではありません\n");

  struct Case {
    std::vector<std::string> args;
  } usage[] = {
      {{"check-updates", "extra"}},
      {{"check-updates", "--bogus"}},
      {{"upload", "--site", "alpha", "--changed", "alpha/index.html"}},
      {{"upload", "--changed"}},
  };
  for (const auto& c : usage) EXPECT_EQ(Run(c.args).status, 2) << c.args[0] << " " << c.args.back();
}

// Uploads go to a real server; what the server holds afterwards is exactly
// the changed files and the page's dependency.
TEST_F(CliUpdateTest, UploadChangedSendsTheSitesChangedFilesAndRecordsThem) {
  test::TempDir served;
  test::PyFtpdServer server(served.Path());
  auto serverFile = [&](const std::string& name) {
    return FileExists(served.Sub(name)) ? ReadFileBytes(served.Sub(name)) : "<missing>";
  };
  const std::string port = "WebPort=" + std::to_string(server.Port());
  Write("alpha/index.html", "<html><img src=\"img/logo.gif\"></html>");
  Write("alpha/img/logo.gif", "GIF89a");
  Write("alpha/about.html", "<html>about</html>");
  Write("alpha2/top.html", "<html>top</html>");
  AddSite("alpha", "alpha", {"WebHostName=127.0.0.1", "WebUserName=tovra", "WebPasswd=wrong", port});
  AddSite(kBeta, "alpha2", {"WebHostName=127.0.0.1", "WebUserName=tovra", "WebPasswd=secret", port});

  // Before any saved list, nothing counts as changed: nothing is sent.
  CliResult r = Run({"upload", "--site", "alpha", "--changed"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err.substr(0, kNothingFound.size()), kNothingFound);
  EXPECT_EQ(serverFile("index.html"), "<missing>");

  ASSERT_EQ(Run({"check-updates", "--save"}).status, 0);
  Write("alpha/index.html", "<html><img src=\"img/logo.gif\">v2</html>", 3600);
  Write("alpha/sub/new.htm", "<html>new</html>", 60);
  Write("alpha2/top.html", "<html>top v2</html>", 3600);
  Write("alpha2/fresh.html", "<html>fresh</html>", 60);

  // A run that fails (the password is refused) records nothing.
  const std::string saved = List();
  r = Run({"upload", "--site", "alpha", "--changed", "--missing", "stop"});
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_EQ(List(), saved);

  AddSite("alpha", "alpha", {"WebPasswd=secret"});
  r = Run({"upload", "--site", "alpha", "--changed", "--missing", "stop"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(serverFile("index.html"), "<html><img src=\"img/logo.gif\">v2</html>");
  EXPECT_EQ(serverFile("img/logo.gif"), "GIF89a");
  EXPECT_EQ(serverFile("sub/new.htm"), "<html>new</html>");
  EXPECT_EQ(serverFile("about.html"), "<missing>");
  EXPECT_EQ(serverFile("top.html"), "<missing>");
  EXPECT_EQ(serverFile("fresh.html"), "<missing>");

  // The other site's changes, edited and new, are still reported.
  r = Run({"check-updates"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, kBeta.size() + 3), "[" + kBeta + "]\n");
  EXPECT_NE(r.out.find("  " + web.Sub("alpha2/top.html") + "\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  " + web.Sub("alpha2/fresh.html") + "\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("alpha/"), std::string::npos) << r.out;

  // The second run of the same site finds nothing and sends nothing.
  ASSERT_TRUE(DeleteFile(served.Sub("index.html")));
  r = Run({"upload", "--site", "alpha", "--changed"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, kNothingFound);
  EXPECT_EQ(serverFile("index.html"), "<missing>");

  r = Run({"upload", "--site", kBeta, "--changed"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_EQ(serverFile("top.html"), "<html>top v2</html>");
  EXPECT_EQ(serverFile("fresh.html"), "<html>fresh</html>");
  r = Run({"check-updates"});
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, kNothingFound);
}

}  // namespace
}  // namespace tovra
