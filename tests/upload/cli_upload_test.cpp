// tovra-cli upload end to end against a real FTP server: the status lines as
// the window's memo shows them, the missing-files answers, and the exit
// statuses of success, failure, a stop at the question and an abort.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>

#include "platform/files.h"
#include "support/cli_runner.h"
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

  CliResult Upload(const std::vector<std::string>& args) {
    std::vector<std::string> all{"upload", "--site", "サイト"};
    all.insert(all.end(), args.begin(), args.end());
    return RunCli(all, app.Path(), work.Path());
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

TEST_F(CliUploadTest, StoppingAtTheMissingFilesExitsThree) {
  test::PyFtpdServer server(remote);
  AddSite(server.Port());
  struct Case {
    std::string answer;
  } cases[] = {{"stop"}, {"ask"}};  // ask without a terminal stops
  for (const auto& c : cases) {
    CliResult r = Upload({"--missing", c.answer, page});
    EXPECT_EQ(r.status, 3) << c.answer << r.err;
    EXPECT_EQ(r.out, "依存ファイル確認中\n");
    EXPECT_FALSE(FileExists(JoinPath(remote, "img/a.gif")));
  }
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

}  // namespace
}  // namespace tovra
