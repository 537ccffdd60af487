// tovra-cli put and ls against a real server, run as a user would run them.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/fake_ftp_server.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::CliResult;
using test::Words;

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
  EXPECT_EQ(put.out, "a.html 転送中\nb.css 転送中\n転送完了\n");

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

// --names: the same Japanese names, kept by the server as CP932 bytes or,
// asked for the server's encoding (pyftpdlib lists UTF8), in UTF-8; either
// way ls shows them as they were given.
TEST_F(CliTest, NamesInTheServersEncoding) {
  const std::string file = work.Write("表紙ソ.gif", "GIF");
  struct Case {
    const char* option;
    std::string folderOnDisk;  // raw bytes below the server root
  } cases[] = {{"", "写真"},
               {"--names cp932", "写真"},
               {"--names auto", reinterpret_cast<const char*>(u8"写真")},
               {"--names utf-8", reinterpret_cast<const char*>(u8"写真")}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.option);
    std::filesystem::remove_all(ToOsPath(root.Path()) + "/" + c.folderOnDisk);
    CliResult put = Run("put " + Server() + " " + c.option + " --remote-dir 写真 " + file);
    ASSERT_EQ(put.status, 0) << put.err;
    const bool utf8 = c.folderOnDisk != "写真";
    const std::string name = utf8 ? reinterpret_cast<const char*>(u8"表紙ソ.gif") : "表紙ソ.gif";
    EXPECT_TRUE(std::filesystem::exists(ToOsPath(root.Path()) + "/" + c.folderOnDisk + "/" + name));
    CliResult ls = Run("ls " + Server() + " " + c.option + " /写真");
    EXPECT_EQ(ls.out, "- 3 表紙ソ.gif\n") << ls.err;
  }
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

  const std::string fifo = work.Sub("pipe.bin");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  CliResult pipe = Run("put " + Server() + " --remote-dir . " + fifo);
  EXPECT_EQ(pipe.status, 1);
  EXPECT_NE(pipe.err.find(fifo), std::string::npos) << pipe.err;
  EXPECT_FALSE(PathExists(root.Sub("pipe.bin")));

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

TEST_F(CliTest, PasswordThatCannotBeConvertedIsNamedNotShown) {
  const std::string file = work.Write("a.txt", "x");
  // "€" has no Shift-JIS form; the variable is handed over as raw UTF-8.
  const std::string password = "Sec\xe2\x82\xacretPW";
  for (const std::string& command : {"ls " + Server(), "put " + Server() + " --remote-dir . " + file}) {
    CliResult r = Run(command, password);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_NE(r.err.find("TOVRA_PASSWORD"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("retPW"), std::string::npos) << r.err;
  }
}

// An absolute --remote-dir is taken below the login folder the server names
// (here /home/u); one beside it or above it is refused, and nothing is sent.
TEST(CliPutAbsoluteFolder, IsTakenBelowTheLoginFolder) {
  test::TempDir work;
  const std::string file = work.Write("a.txt", "x");
  struct Case {
    const char* dir;
    int status;
    const char* made;  // the MKD the walk sends; "" for none
  } cases[] = {
      {"/home/u/site/", 0, "MKD site"}, {"/home/u", 0, ""}, {"/elsewhere", 1, ""}, {"/home/user2", 1, ""}, {"/", 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dir);
    test::FakeFtpServer server;
    server.Reply("PWD", "257 \"/home/u\" is the current directory.\r\n");
    CliResult r = test::RunCli({"put", "--host", "127.0.0.1", "--port", std::to_string(server.Port()), "--user", "u",
                                "--remote-dir", c.dir, file},
                               "", "", "", {{"TOVRA_PASSWORD", "pw"}});
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(server.WasStored("a.txt"), c.status == 0);
    const std::vector<std::string> sent = server.Transcript();
    EXPECT_EQ(std::find(sent.begin(), sent.end(), c.made) != sent.end(), *c.made != '\0');
    if (c.status == 0) {
      EXPECT_EQ(r.out, "a.txt 転送中\n転送完了\n");
    } else {
      EXPECT_NE(r.err.find(c.dir), std::string::npos) << r.err;
      EXPECT_NE(r.err.find("/home/u "), std::string::npos) << r.err;
    }
  }
}

// Names, replies and listing lines from a hostile server reach the terminal
// with their control characters escaped, and a reply's line end as a line end.
TEST(CliOutsideText, ControlCharactersFromTheServerAreEscaped) {
  const std::string evil = "\x1b]0;owned\x07\x1b[2J";
  const std::string shown = "\\x1b]0;owned\\x07\\x1b[2J";
  struct Case {
    const char* extra;  // ls arguments after the connection options
    std::string listing, passReply;
    std::string inOut, inErr;  // what stdout and stderr must hold
  } cases[] = {
      {"", "-rw-r--r-- 1 u g 5 Jan 01 2020 x" + evil + "\tname\r\n", "230 ok\r\n", "x" + shown + "\tname", ""},
      {"--raw", "-rw-r--r-- 1 u g 5 Jan 01 2020 y" + evil + "\r\n", "230 ok\r\n", "y" + shown, ""},
      {"", "", "530 no " + evil + "\r\n", "", "no " + shown},
  };
  for (const auto& c : cases) {
    test::FakeFtpServer server;
    if (!c.listing.empty()) server.AddListing(c.listing);
    server.Reply("PASS", c.passReply);
    std::vector<std::string> args = {"ls",     "--host", "127.0.0.1", "--port", std::to_string(server.Port()),
                                     "--user", "u"};
    if (*c.extra != '\0') args.push_back(c.extra);
    CliResult r = test::RunCli(args, "", "", "", {{"TOVRA_PASSWORD", "pw"}});
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find('\x07'), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.inOut), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.inErr), std::string::npos) << r.err;
    // A refusal's CR LF ends its line: no escaped CR, no empty line after it.
    EXPECT_EQ(r.err.find("\\x0d"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("\n\n"), std::string::npos) << r.err;
  }
}

}  // namespace
}  // namespace tovra
