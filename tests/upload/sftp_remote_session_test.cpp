// The transfer run's SFTP session against a real sshd: stores land in the
// entered folder with their progress, a session logs in again after a close
// or an abort, and the run's cancel flag cuts a store.
#include "upload/sftp_remote_session.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "ftp/id_exceptions.h"
#include "platform/encoding.h"
#include "support/sshd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

class RealServerSftpRemote : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::SshdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    server = std::make_unique<test::SshdServer>(root.Sub("login"));
    settings.host = "127.0.0.1";
    settings.port = server->Port();
    settings.user = test::SshdServer::User();
    settings.password = test::SshdServer::Password();
    settings.hostKeyPin = server->Fingerprint();
    settings.timeoutMs = 10000;
  }
  std::string OnServer(const std::string& relative) const {
    std::ifstream in(ToOsPath(root.Sub("login/" + relative)), std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
  }

  test::TempDir root;
  test::TempDir local;
  std::unique_ptr<test::SshdServer> server;
  TSftpSettings settings;
  TSharedHostKey hostKey;
  std::atomic<std::uint8_t> cancel{0};
};

TEST_F(RealServerSftpRemote, StoresLandInTheEnteredFolderWithTheirProgress) {
  TSftpRemoteSession session(settings, hostKey, nullptr, &cancel);
  std::vector<std::int64_t> progress;
  session.OnBytes = [&](std::int64_t sent) { progress.push_back(sent); };
  std::string bytes(300000, 'x');
  std::string file = local.Write("page.html", bytes);

  EXPECT_THROW(session.EnterFolder("/x/"), EIdNotConnected);
  session.Connect();
  EXPECT_THROW(session.Store(file, "page.html"), ESftpError);  // no folder entered yet
  session.EnterFolder(session.Home() + "/site/img/");
  session.Store(file, "page.html");
  EXPECT_EQ(OnServer("site/img/page.html"), bytes);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), 300000);
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));

  // After a close the session logs in again and must enter a folder anew.
  session.Close();
  EXPECT_FALSE(session.IsConnected());
  session.Connect();
  EXPECT_THROW(session.Store(file, "again.html"), ESftpError);
  session.EnterFolder(session.Home() + "/");
  session.Store(file, "again.html");
  EXPECT_EQ(OnServer("again.html"), bytes);
  auto entries = session.List(session.Home() + "/site");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "img");
  EXPECT_EQ(entries[0].type, 'd');
}

TEST_F(RealServerSftpRemote, TheRunsCancelFlagCutsAStoreAndAnAbortedSessionConnectsAgain) {
  std::string big = local.Sub("big");
  {
    std::ofstream out(ToOsPath(big), std::ios::binary);
    std::string block(1 << 20, 'b');
    for (int i = 0; i < 256; ++i) out << block;
  }
  TSftpRemoteSession session(settings, hostKey, nullptr, &cancel);
  session.OnBytes = [&](std::int64_t sent) {
    if (sent > (4 << 20)) cancel = 1;
  };
  session.Connect();
  session.EnterFolder(session.Home() + "/");
  auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(session.Store(big, "big"), EIdCancelled);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  session.Close();

  cancel = 0;
  session.OnBytes = nullptr;
  session.Connect();
  session.EnterFolder(session.Home() + "/");
  session.Store(local.Write("small", "abc"), "small");
  EXPECT_EQ(OnServer("small"), "abc");
}

}  // namespace
}  // namespace tovra
