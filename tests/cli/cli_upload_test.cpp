// tovra-cli upload end to end against a real FTP server: the status lines as
// the window's memo shows them, the missing-files answers, and the exit
// statuses of success, failure, a stop at the question and an abort.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/fake_ftp_server.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"
#include "support/test_site.h"

namespace tovra {
namespace {

using test::CliResult;
using test::RunCli;

class CliUploadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    page = work.Write("site/index.html", "<img src=\"img/a.gif\"><img src=\"img/gone.gif\">\r\n");
    gif = work.Write("site/img/a.gif", "GIF89a");
    work.Write("remote/.keep", "");
  }

  void AddSite(int port, const std::string& password = "secret", const std::string& name = "サイト") {
    test::SaveTestSite({name, root, port, password, ""});
  }

  CliResult Upload(const std::vector<std::string>& args, const std::string& input = "") {
    std::vector<std::string> all{"upload", "--site", "サイト"};
    all.insert(all.end(), args.begin(), args.end());
    return RunCli(all, app.Path(), work.Path(), input);
  }

  test::TempAppFolder app;
  test::TempDir work;
  std::string root = work.Sub("site");
  std::string remote = work.Sub("remote");
  std::string page, gif;
};

TEST_F(CliUploadTest, PrintsTheStatusMemoAndMirrorsTheSite) {
  test::PyFtpdServer server(remote);
  AddSite(server.Port());
  CliResult r = Upload({"--missing", "skip", "site/index.html"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "依存ファイル確認中\nUploas cancel files\n" + root + "/img/gone.gif\nUploadファイル確定\n" + page +
                       "\n" + gif + "\n*********************\nindex.html 転送中\na.gif 転送中\n転送完了\n");
  EXPECT_EQ(ReadFileBytes(JoinPath(remote, "img/a.gif")), "GIF89a");
  EXPECT_EQ(ReadFileBytes(JoinPath(app.Path(), "uplog.txt")), page + "\r\n" + gif + "\r\n");
  // Not a terminal: no live line, only the summary.
  EXPECT_EQ(r.err, "送信 2 件、スキップ 1 件 (ローカルに無い 1 件、サイト外 0 件)、失敗 0 件\n");
}

TEST_F(CliUploadTest, ReusedSessionsGiveTheSameMemo) {
  test::PyFtpdServer server(remote, "tovra", "secret", true);
  TExtendedSettings extended;
  extended.Set("ReuseConnection", "1");
  extended.Set("Connections", "2");
  test::SaveTestSite({"サイト", root, server.Port(), "secret", ""}, extended);
  CliResult r = Upload({"--missing", "skip", "--only", "site/img/a.gif"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "Uploadファイル確定\n" + gif + "\n*********************\na.gif 転送中\n転送完了\n");
  EXPECT_EQ(ReadFileBytes(JoinPath(remote, "img/a.gif")), "GIF89a");
}

// The site's encodings reach the upload: a UTF-8 page's Japanese reference
// names its file, and the name arrives in UTF-8 (the server announces UTF8)
// or, for a profile without the keys, as the CP932 bytes it always was.
TEST_F(CliUploadTest, TheSitesEncodingsDecidePagesAndNames) {
  const std::string u8Page = reinterpret_cast<const char*>(u8"<meta charset=\"utf-8\"><img src=\"写真/表紙.gif\">\r\n");
  work.Write("site/u8.html", u8Page);
  work.Write("site/写真/表紙.gif", "GIF-kanji");
  const std::string utf8Name = reinterpret_cast<const char*>(u8"写真/表紙.gif");
  struct Case {
    bool keys;
    std::string remoteName;                                  // raw bytes on the server
  } cases[] = {{false, "写真/表紙.gif"}, {true, utf8Name}};  // the keys are added to the saved profile
  for (const auto& c : cases) {
    std::filesystem::remove_all(ToOsPath(remote));
    std::filesystem::create_directory(ToOsPath(remote));
    test::PyFtpdServer server(remote);
    TExtendedSettings extended;
    if (c.keys) {
      extended.Set("PageEncoding", "auto");
      extended.Set("RemoteNameEncoding", "auto");
    }
    test::SaveTestSite({"サイト", root, server.Port(), "secret", ""}, extended);
    CliResult r = Upload({"--missing", "skip", "site/u8.html"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::ifstream in(ToOsPath(remote) + "/" + c.remoteName, std::ios::binary);
    const std::string got{std::istreambuf_iterator<char>(in), {}};
    // Read as Shift-JIS, the page names no file that exists: it is reported
    // missing and nothing arrives.
    EXPECT_EQ(got, c.keys ? "GIF-kanji" : "") << c.keys;
    EXPECT_EQ(r.out.find("Uploas cancel files") != std::string::npos, !c.keys) << r.out;
  }
}

TEST_F(CliUploadTest, StoppingAtTheMissingFilesExitsThree) {
  test::PyFtpdServer server(remote);
  AddSite(server.Port());
  const std::string question = "ファイルをスキップして続行しますか? [y/N] ";
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int status;
    std::string asked;  // the question's line on stderr, with its answer
  } cases[] = {
      {{"--missing", "stop"}, "", 3, ""},
      {{"--missing", "ask"}, "n\n", 3, question + "n\n"},  // piped answers count
      {{"--missing", "ask", "--no"}, "", 3, question + "n\n"},
      // No answer at all: a clear stop, never a silent choice.
      {{"--missing", "ask"}, "", 1, question + "\nno answer: standard input ended"},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back(page);
    CliResult r = Upload(args, c.input);
    EXPECT_EQ(r.status, c.status) << c.args.back() << r.err;
    EXPECT_NE(r.err.find(c.asked), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "依存ファイル確認中\n");
    EXPECT_FALSE(FileExists(JoinPath(remote, "img/a.gif")));
  }
  CliResult r = Upload({"--missing", "ask", page}, "y\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(FileExists(JoinPath(remote, "img/a.gif")));
}

TEST_F(CliUploadTest, RefusedLoginEndsWithTheErrorLineAndExitsOne) {
  test::PyFtpdServer server(remote);
  AddSite(server.Port(), "wrong");
  CliResult r = Upload({"--only", page});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\n転送エラー: "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("転送完了"), std::string::npos);
  EXPECT_FALSE(r.err.empty());
}

TEST_F(CliUploadTest, UnknownSiteAndUsageErrors) {
  struct Case {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"upload", "--site", "ない", page}, 1},
      {{"upload", page}, 2},
      {{"upload", "--site", "x", "--missing", "maybe", page}, 2},
  };
  for (const auto& c : cases) EXPECT_EQ(RunCli(c.args, app.Path(), work.Path()).status, c.status);
}

TEST_F(CliUploadTest, InterruptIsTheAbortButton) {
  std::string big = work.Sub("site/big.bin");
  std::filesystem::resize_file(work.Write("site/big.bin", ""), 1024LL * 1024 * 1024);  // sparse
  test::PyFtpdServer server(remote);
  AddSite(server.Port(), "secret", "ascii");
  // Ctrl-C 1.2 s in: during the store of the large file, or before it.
  std::string command = "cd " + work.Path() + " && LC_ALL=C.UTF-8 TOVRA_APP_FOLDER=" + app.Path() +
                        " timeout --preserve-status -s INT 1.2 " + test::CliPath() + " upload --site ascii --only " +
                        big + " " + gif + " > " + work.Sub("out") + " 2>&1";
  int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 130) << ReadFileBytes(work.Sub("out"));
  std::string out = ReadFileBytes(work.Sub("out"));
  EXPECT_EQ(out.find("転送完了"), std::string::npos);
  EXPECT_FALSE(FileExists(JoinPath(remote, "img/a.gif")));
}

// Runs `tovra-cli ARGS` in the work folder and presses Ctrl-C after `seconds`;
// gives the exit status (-1 if killed otherwise) and the seconds it took.
// `input`, when given, is a shell command whose output is standard input.
std::pair<int, double> InterruptAfter(const std::string& seconds, const std::string& args, const std::string& work,
                                      const std::string& app, const std::string& input = "") {
  std::string command = "cd " + work + " && " + (input.empty() ? "" : "(" + input + ") | ") +
                        "LC_ALL=C.UTF-8 TOVRA_PASSWORD=pw TOVRA_APP_FOLDER=" + app +
                        " timeout -k 20 --preserve-status -s INT " + seconds + " " + test::CliPath() + " " + args +
                        " > " + work + "/out 2>&1";
  auto start = std::chrono::steady_clock::now();
  int raw = std::system(command.c_str());
  double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, took};
}

TEST_F(CliUploadTest, InterruptBeforeTheRunStartsIsNotLost) {
  test::PyFtpdServer server(remote);
  AddSite(server.Port(), "secret", "ascii");
  // Ctrl-C 0.2 s in, while the missing-files question waits for its answer
  // (which comes later): the run, which clears the flag as it starts, must
  // still see the press.
  auto [status, took] =
      InterruptAfter("0.2", "upload --site ascii --missing ask " + page, work.Path(), app.Path(), "sleep 1; echo y");
  std::string out = ReadFileBytes(work.Sub("out"));
  EXPECT_EQ(status, 130) << out;
  EXPECT_EQ(out.find("転送完了"), std::string::npos) << out;
  EXPECT_FALSE(FileExists(JoinPath(remote, "index.html")));
  EXPECT_FALSE(FileExists(JoinPath(remote, "img/a.gif")));
}

TEST_F(CliUploadTest, InterruptDuringAWaitEndsTheCommandAtOnce) {
  test::FakeFtpServer silent;
  silent.SetGreeting("");  // connected, but no greeting ever comes
  AddSite(silent.Port(), "secret", "ascii");
  std::string server = "--host 127.0.0.1 --port " + std::to_string(silent.Port()) + " --user web";
  struct Case {
    std::string args;
  } cases[] = {{"upload --site ascii --only " + gif}, {"ls " + server}, {"put " + server + " --remote-dir x " + gif}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    auto [status, took] = InterruptAfter("1.5", c.args, work.Path(), app.Path());
    EXPECT_EQ(status, 130) << ReadFileBytes(work.Sub("out"));
    EXPECT_LT(took, 3.5);
  }
}

}  // namespace
}  // namespace tovra
