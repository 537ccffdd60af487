// tovra-cli put and ls against a real server, run as a user would run them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

struct RunResult {
  int status = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  CliTest() : server(root.Path()) {}

  // Runs tovra-cli with the arguments (shell-quoted by the caller) and the
  // password in the environment.
  RunResult Run(const std::string& arguments, const std::string& password = "secret") {
    std::string cli = TOVRA_CLI_PATH;
    std::string command = "LC_ALL=C.UTF-8 TOVRA_PASSWORD='" + password + "' " + cli + " " + arguments + " >" +
                          work.Sub("out") + " 2>" + work.Sub("err") + " </dev/null";
    RunResult result;
    int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadFileBytes(work.Sub("out"));
    result.err = ReadFileBytes(work.Sub("err"));
    return result;
  }
  std::string Server() const { return "--host 127.0.0.1 --port " + std::to_string(server.Port()) + " --user tovra"; }

  test::TempDir root;
  test::TempDir work;
  test::PyFtpdServer server;
};

TEST_F(CliTest, PutCreatesTheFoldersAndLsShowsThem) {
  std::string a = work.Write("a.html", "<p>a</p>");
  std::string b = work.Write("b.css", "p{}");
  RunResult put = Run("put " + Server() + " --remote-dir site/css " + a + " " + b);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(ReadFileBytes(root.Sub("site/css/a.html")), "<p>a</p>");
  EXPECT_EQ(ReadFileBytes(root.Sub("site/css/b.css")), "p{}");
  EXPECT_NE(put.out.find(Cp932ToUtf8("転送完了")), std::string::npos) << put.out;

  RunResult ls = Run("ls " + Server() + " /site/css");
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_NE(ls.out.find("- 8 a.html\n"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("- 3 b.css\n"), std::string::npos) << ls.out;

  RunResult top = Run("ls " + Server());
  EXPECT_EQ(top.out, "d 4096 site\n");
  RunResult raw = Run("ls " + Server() + " --raw");
  EXPECT_EQ(raw.out.rfind("drwx", 0), 0u) << raw.out;
  EXPECT_NE(raw.out.find(" site\n"), std::string::npos) << raw.out;
}

TEST_F(CliTest, TraceShowsTheConversationWithThePasswordMasked) {
  std::string a = work.Write("a.txt", "x");
  RunResult put = Run("put --trace " + Server() + " --remote-dir . " + a);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_NE(put.err.find("> PASS ****"), std::string::npos) << put.err;
  EXPECT_NE(put.err.find("> STOR a.txt"), std::string::npos) << put.err;
  EXPECT_EQ(put.err.find("secret"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(root.Sub("a.txt")), "x");
}

TEST_F(CliTest, FailuresAndUsage) {
  RunResult wrong = Run("ls " + Server(), "wrong");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("Authentication failed"), std::string::npos) << wrong.err;

  RunResult missing = Run("put " + Server() + " --remote-dir . " + work.Sub("missing.txt"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("missing.txt"), std::string::npos) << missing.err;

  EXPECT_EQ(Run("put --user tovra --remote-dir . x").status, 2);
  EXPECT_EQ(Run("put " + Server() + " x").status, 2);
  EXPECT_EQ(Run("ls " + Server() + " --port 70000").status, 2);
  EXPECT_EQ(Run("ls " + Server() + " --bogus").status, 2);
  EXPECT_EQ(Run("put " + Server() + " --remote-dir /elsewhere " + work.Write("a.txt", "x")).status, 0)
      << "the login folder is / here, so every absolute folder is below it";
}

}  // namespace
}  // namespace tovra
