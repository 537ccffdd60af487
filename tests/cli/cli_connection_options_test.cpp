// tovra-cli put and ls with --passive, --tls and --pin against pyftpdlib
// (plain FTP only): passive transfers, the encryption choices meeting a
// server without TLS, and the options' usage errors.
#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::CliResult;
using test::Words;

class CliConnectionTest : public ::testing::Test {
 protected:
  CliConnectionTest() : server(root.Path()) {}
  CliResult Run(const std::string& arguments) {
    return test::RunCli(Words(arguments), "", "", "", {{"TOVRA_PASSWORD", "secret"}});
  }
  std::string Server() const { return "--host 127.0.0.1 --port " + std::to_string(server.Port()) + " --user tovra"; }

  test::TempDir root;
  test::TempDir work;
  test::PyFtpdServer server;
};

TEST_F(CliConnectionTest, PassivePutAndLsUseTheServersPassivePort) {
  std::string a = work.Write("a.html", "<p>passive</p>");
  CliResult put = Run("put " + Server() + " --passive --trace --remote-dir p/q " + a);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(ReadFileBytes(root.Sub("p/q/a.html")), "<p>passive</p>");
  EXPECT_NE(put.err.find("> EPSV"), std::string::npos) << put.err;
  EXPECT_EQ(put.err.find("> PORT"), std::string::npos) << put.err;
  CliResult ls = Run("ls " + Server() + " --passive /p/q");
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_EQ(ls.out, "- 14 a.html\n");
}

TEST_F(CliConnectionTest, ExplicitIfAvailableFallsBackAndSaysSo) {
  std::string a = work.Write("b.html", "b");
  CliResult put = Run("put " + Server() + " --tls explicit-if-available --remote-dir . " + a);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_NE(put.out.find("暗号化されていません"), std::string::npos) << put.out;
  EXPECT_EQ(ReadFileBytes(root.Sub("b.html")), "b");
}

TEST_F(CliConnectionTest, RequiredTlsOnAPlainServerSendsNoPassword) {
  std::string a = work.Write("c.html", "c");
  CliResult put = Run("put " + Server() + " --tls explicit --trace --remote-dir . " + a);
  EXPECT_EQ(put.status, 1);
  EXPECT_NE(put.err.find("パスワードは送っていません"), std::string::npos) << put.err;
  EXPECT_EQ(put.err.find("> USER"), std::string::npos) << put.err;
  EXPECT_EQ(put.err.find("> PASS"), std::string::npos) << put.err;
  EXPECT_FALSE(FileExists(root.Sub("c.html")));
}

struct UsageCase {
  const char* name;
  const char* options;
  const char* message;
};

class CliConnectionUsage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CliConnectionUsage, IsRefusedBeforeConnecting) {
  CliResult r = test::RunCli(Words(std::string("ls --host 127.0.0.1 --port 1 --user u ") + GetParam().options), "", "",
                             "", {{"TOVRA_PASSWORD", "x"}});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(GetParam().message), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("usage:\n  ls --host H --user U"), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(Options, CliConnectionUsage,
                         ::testing::Values(UsageCase{"UnknownTls", "--tls ssl", "--tls takes"},
                                           UsageCase{"ShortPin", "--pin AB:CD", "--pin takes"},
                                           UsageCase{"PinNotHex",
                                                     "--pin "
                                                     "ZZ332477A1B98DCDF655D5645A45598AECE05B2EDB53AD5B58E47BA73898F560",
                                                     "--pin takes"},
                                           UsageCase{"UnknownOption", "--bogus", "unknown option --bogus\n"},
                                           UsageCase{"SftpOnly", "--key id_ed25519", "unknown option --key\n"},
                                           UsageCase{"GivenTwice", "--passive --passive",
                                                     "--passive is given more than once"},
                                           UsageCase{"NoValue", "--tls", "--tls needs a value"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tovra
