// tovra-cli put and ls against a real server, run as a user would run them.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::CliResult;

// The arguments written as one line: none of them holds a space.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < line.size()) {
    std::size_t end = line.find(' ', start);
    if (end == std::string::npos) end = line.size();
    if (end > start) words.push_back(line.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

class CliTest : public ::testing::Test {
 protected:
  CliTest() : server(root.Path()) {}

  // Runs tovra-cli with the arguments and the password in the environment.
  CliResult Run(const std::string& arguments, const std::string& password = "secret") {
    return test::RunCli(Words(arguments), "", "", "", {{"TOVRA_PASSWORD", password}});
  }
  std::string Server() const { return "--host 127.0.0.1 --port " + std::to_string(server.Port()) + " --user tovra"; }

  test::TempDir root;
  test::TempDir work;
  test::PyFtpdServer server;
};

TEST_F(CliTest, PutCreatesTheFoldersAndLsShowsThem) {
  std::string a = work.Write("a.html", "<p>a</p>");
  std::string b = work.Write("b.css", "p{}");
  CliResult put = Run("put " + Server() + " --remote-dir site/css " + a + " " + b);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(ReadFileBytes(root.Sub("site/css/a.html")), "<p>a</p>");
  EXPECT_EQ(ReadFileBytes(root.Sub("site/css/b.css")), "p{}");
  EXPECT_NE(put.out.find("転送完了"), std::string::npos) << put.out;

  CliResult ls = Run("ls " + Server() + " /site/css");
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_NE(ls.out.find("- 8 a.html\n"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("- 3 b.css\n"), std::string::npos) << ls.out;

  CliResult top = Run("ls " + Server());
  EXPECT_EQ(top.out, "d 4096 site\n");
  CliResult raw = Run("ls " + Server() + " --raw");
  EXPECT_EQ(raw.out.rfind("drwx", 0), 0u) << raw.out;
  EXPECT_NE(raw.out.find(" site\n"), std::string::npos) << raw.out;
}

TEST_F(CliTest, TraceShowsTheConversationWithThePasswordMasked) {
  std::string a = work.Write("a.txt", "x");
  CliResult put = Run("put --trace " + Server() + " --remote-dir . " + a);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_NE(put.err.find("> PASS ****"), std::string::npos) << put.err;
  EXPECT_NE(put.err.find("> STOR a.txt"), std::string::npos) << put.err;
  EXPECT_EQ(put.err.find("secret"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(root.Sub("a.txt")), "x");
}

TEST_F(CliTest, FailuresAndUsage) {
  CliResult wrong = Run("ls " + Server(), "wrong");
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find("Authentication failed"), std::string::npos) << wrong.err;

  CliResult missing = Run("put " + Server() + " --remote-dir . " + work.Sub("missing.txt"));
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("missing.txt"), std::string::npos) << missing.err;

  EXPECT_EQ(Run("put --user tovra --remote-dir . x").status, 2);
  EXPECT_EQ(Run("put " + Server() + " x").status, 2);
  EXPECT_EQ(Run("ls " + Server() + " --port 70000").status, 2);
  EXPECT_EQ(Run("ls " + Server() + " --bogus").status, 2);
  EXPECT_EQ(Run("put " + Server() + " --remote-dir /elsewhere " + work.Write("a.txt", "x")).status, 0)
      << "the login folder is / here, so every absolute folder is below it";
}

TEST_F(CliTest, RemoteFoldersWithDotPiecesAreRefused) {
  const std::string file = work.Write("a.txt", "x");
  for (const char* dir : {"/../x", "..", "site/../../x", "./site", "site/.", "/a/./b"}) {
    CliResult put = Run("put " + Server() + " --remote-dir " + dir + " " + file);
    EXPECT_EQ(put.status, 1) << dir;
    EXPECT_NE(put.err.find(dir), std::string::npos) << put.err;
    EXPECT_EQ(put.out.find("転送中"), std::string::npos) << "refused before any connection: " << put.out;
  }
  EXPECT_FALSE(PathExists(root.Sub("a.txt")));
  EXPECT_FALSE(PathExists(root.Sub("site")));
}

}  // namespace
}  // namespace tovra
