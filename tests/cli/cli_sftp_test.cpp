// tovra-cli hostkey, put --sftp and ls --sftp against a real sshd, run as a
// user would run them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/sshd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

using test::CliResult;
using test::Words;

class CliSftpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::SshdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    server = std::make_unique<test::SshdServer>(root.Sub("login"));
  }
  CliResult Run(const std::string& arguments, const std::string& password = test::SshdServer::Password()) {
    return test::RunCli(Words(arguments), "", "", "", {{"TOVRA_PASSWORD", password}});
  }
  std::string Server() const {
    return "--sftp --host 127.0.0.1 --port " + std::to_string(server->Port()) + " --user " + test::SshdServer::User();
  }
  std::string Pin() const { return " --pin " + server->Fingerprint(); }

  test::TempDir root;
  test::TempDir work;
  std::unique_ptr<test::SshdServer> server;
};

TEST_F(CliSftpTest, HostKeyPrintsTheTypeTheFingerprintAndHowToPinIt) {
  CliResult r = Run("hostkey --host 127.0.0.1 --port " + std::to_string(server->Port()));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "ssh-ed25519 " + server->Fingerprint());
  EXPECT_NE(r.out.find("HostKeySha256=" + server->Fingerprint()), std::string::npos) << r.out;
}

TEST_F(CliSftpTest, PutWithThePinCreatesTheFoldersAndLsShowsThem) {
  std::string a = work.Write("a.html", "<p>a</p>");
  std::string name = work.Write(test::Hex("82 CB 82 B1") + ".gif", "GIF89a");  // ねこ.gif
  CliResult put = Run("put " + Server() + Pin() + " --remote-dir site/img " + a + " " + name);
  ASSERT_EQ(put.status, 0) << put.err;
  EXPECT_EQ(put.out, "a.html 転送中\n" + test::Hex("82 CB 82 B1") + ".gif 転送中\n転送完了\n");
  EXPECT_EQ(ReadFileBytes(root.Sub("login/site/img/a.html")), "<p>a</p>");
  EXPECT_EQ(ReadFileBytes(root.Sub("login/site/img/" + test::Hex("82 CB 82 B1") + ".gif")), "GIF89a");

  // An absolute folder below the login folder, and one beside it.
  CliResult below = Run("put " + Server() + Pin() + " --remote-dir " + root.Sub("login/abs") + " " + a);
  ASSERT_EQ(below.status, 0) << below.err;
  EXPECT_EQ(ReadFileBytes(root.Sub("login/abs/a.html")), "<p>a</p>");
  CliResult beside = Run("put " + Server() + Pin() + " --remote-dir " + root.Sub("beside") + " " + a);
  EXPECT_EQ(beside.status, 1) << beside.err;
  EXPECT_FALSE(std::filesystem::exists(ToOsPath(root.Sub("beside"))));

  CliResult ls = Run("ls " + Server() + Pin() + " site/img");
  ASSERT_EQ(ls.status, 0) << ls.err;
  EXPECT_NE(ls.out.find("- 8 a.html\n"), std::string::npos) << ls.out;
  EXPECT_NE(ls.out.find("- 6 " + test::Hex("82 CB 82 B1") + ".gif\n"), std::string::npos) << ls.out;
}

TEST_F(CliSftpTest, UnknownOrWrongKeysEndWithTheFingerprintAndNothingIsSent) {
  std::string a = work.Write("a.html", "x");
  struct Row {
    std::string options;
    std::string says;
  } rows[] = {
      {"", "--pin " + server->Fingerprint()},  // unknown: the advice names the pin option
      {" --pin SHA256:uNiVztksCsDhcc0u9e8BujQXVUpKZIDTMczCvj3tD2s", "警告"},
  };
  for (const auto& row : rows) {
    CliResult put = Run("put " + Server() + row.options + " --remote-dir up " + a);
    EXPECT_EQ(put.status, 1) << row.options;
    EXPECT_NE(put.err.find(row.says), std::string::npos) << put.err;
    EXPECT_NE(put.err.find(server->Fingerprint()), std::string::npos) << put.err;
  }
  EXPECT_FALSE(std::filesystem::exists(ToOsPath(root.Sub("login/up"))));
  EXPECT_EQ(server->Log().find("userauth-request"), std::string::npos) << server->Log();
}

TEST_F(CliSftpTest, BadOptionsAreUsageErrorsBeforeAnyConnection) {
  for (const char* options : {" --pin AB:CD", " --names latin1", " --port 0", " --bogus"}) {
    CliResult r = Run("ls " + Server() + options);
    EXPECT_EQ(r.status, 2) << options << r.err;
    EXPECT_NE(r.err.find("usage:\n  ls --sftp --host H --user U"), std::string::npos) << r.err;
  }
  // Only the harness's own probe for the server's greeting connected.
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  std::string log = server->Log();
  std::size_t first = log.find("Connection from");
  EXPECT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("Connection from", first + 1), std::string::npos) << log;
}

// A site with Protocol=sftp uploaded by tovra-cli upload: every file of
// the demo site arrives byte-identical over one, reused or parallel
// sessions, and an unknown key ends the run before any login, naming the
// setting that pins it.
TEST_F(CliSftpTest, UploadOfAnSftpSiteSendsTheDemoSite) {
  namespace fs = std::filesystem;
  const std::string site = test::SourceDir() + "/demo/site";
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(ToOsPath(site))) {
    if (entry.is_regular_file()) files.push_back(FromOsPath(entry.path().string()));
  }
  struct Row {
    const char* settings;
    bool pinned;
  } rows[] = {
      {"ReuseConnection=0 Connections=1", true},
      {"ReuseConnection=1 Connections=1 RemoteNameEncoding=cp932", true},
      {"ReuseConnection=1 Connections=4", true},
      {"ReuseConnection=1 Connections=4", false},
  };
  for (const auto& row : rows) {
    test::TempDir app;
    // The login folder stays (it belongs to the server's user); what it holds goes.
    for (const auto& entry : fs::directory_iterator(ToOsPath(root.Sub("login")))) fs::remove_all(entry.path());
    std::vector<std::string> set =
        Words(std::string("site set web --yes WebHostName=127.0.0.1 WebUserName=") + test::SshdServer::User() +
              " WebPort=" + std::to_string(server->Port()) + " Protocol=sftp " + row.settings);
    set.push_back("LocalRootDir=" + site);
    set.push_back(std::string("WebPasswd=") + test::SshdServer::Password());
    if (row.pinned) set.push_back("HostKeySha256=" + server->Fingerprint());
    ASSERT_EQ(test::RunCli(set, app.Path(), "").status, 0);
    std::vector<std::string> upload = {"upload", "--site", "web", "--only", "--missing", "skip"};
    upload.insert(upload.end(), files.begin(), files.end());
    CliResult r = test::RunCli(upload, app.Path(), "");
    if (!row.pinned) {
      EXPECT_NE(r.status, 0) << r.out;
      EXPECT_NE((r.out + r.err).find("HostKeySha256=" + server->Fingerprint()), std::string::npos) << r.out << r.err;
      continue;
    }
    ASSERT_EQ(r.status, 0) << row.settings << "\n" << r.out << r.err;
    EXPECT_NE(r.out.find("転送完了"), std::string::npos) << r.out;
    bool utf8 = std::string(row.settings).find("cp932") == std::string::npos;
    for (const auto& file : files) {
      std::string relative = file.substr(site.size() + 1);
      std::string onServer = ToOsPath(root.Sub("login")) + "/" + (utf8 ? Cp932ToUtf8(relative) : relative);
      std::ifstream in(onServer, std::ios::binary);  // the name's bytes as the server keeps them
      EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), ReadFileBytes(file))
          << row.settings << " " << relative;
    }
  }
}

}  // namespace
}  // namespace tovra
