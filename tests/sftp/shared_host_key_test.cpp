// One host key decision per run: parallel sessions ask the user at most
// once, follow the key accepted first, and a refusal ends them all; and the
// site's settings as an SFTP session takes them.
#include "sftp/shared_host_key.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "platform/encoding.h"
#include "support/sshd_server.h"
#include "support/temp_dir.h"

namespace tovra {
namespace {

TEST(SftpSettingsOf, PortNameEncodingPinAndKeyFromTheSite) {
  struct Row {
    int port;
    const char* encoding;  // RemoteNameEncoding; nullptr: absent
    int expectedPort;
    bool utf8;
  } rows[] = {
      {0, nullptr, 22, false},
      {21, "cp932", 22, false},
      {2222, "utf-8", 2222, true},
      {22, "auto", 22, true},
  };
  for (const auto& row : rows) {
    TExtendedSettings extended;
    if (row.encoding != nullptr) extended.Set("RemoteNameEncoding", row.encoding);
    extended.Set("HostKeySha256", "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU");
    extended.Set("PrivateKeyFile", "/home/u/.ssh/id_ed25519");
    TSftpSettings s = SftpSettingsOf("h", row.port, "u", "p", extended);
    EXPECT_EQ(s.port, row.expectedPort) << row.port;
    EXPECT_EQ(s.utf8Names, row.utf8) << (row.encoding ? row.encoding : "absent");
    EXPECT_EQ(s.hostKeyPin, "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU");
    EXPECT_EQ(s.privateKeyFile, "/home/u/.ssh/id_ed25519");
    EXPECT_EQ(s.password, "p");
  }
}

// Counts the questions; answers after a pause, as a user would.
struct CountingPrompt : IHostKeyPrompt {
  explicit CountingPrompt(TTrustAnswer a) : answer(a) {}
  TTrustAnswer TrustUnknownHostKey(const std::string&, int, const THostKey&) override {
    ++asked;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return answer;
  }
  TTrustAnswer answer;
  std::atomic<int> asked{0};
};

class RealServerSharedHostKey : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::SshdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    server = std::make_unique<test::SshdServer>(root.Sub("login"));
    knownHosts = local.Write("known_hosts", "");
  }
  // Connects `count` sessions at once; the errors, "" for those that worked.
  std::vector<std::string> ConnectAll(int count, IHostKeyPrompt& prompt) {
    TSharedHostKey shared;
    std::vector<std::string> errors(count);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
      threads.emplace_back([&, i] {
        TSftpSession session;
        session.Settings.host = "127.0.0.1";
        session.Settings.port = server->Port();
        session.Settings.user = test::SshdServer::User();
        session.Settings.password = test::SshdServer::Password();
        session.Settings.knownHostsFile = knownHosts;
        session.Prompt = &prompt;
        try {
          shared.Connect(session);
          if (!session.Connected()) errors[i] = "not connected";
        } catch (const std::exception& e) {
          errors[i] = e.what();
        }
      });
    }
    for (auto& t : threads) t.join();
    return errors;
  }

  test::TempDir root;
  test::TempDir local;
  std::unique_ptr<test::SshdServer> server;
  std::string knownHosts;
};

TEST_F(RealServerSharedHostKey, TheUserIsAskedOnceAndEverySessionFollows) {
  CountingPrompt prompt(TTrustAnswer::TrustOnce);
  for (const auto& error : ConnectAll(4, prompt)) EXPECT_EQ(error, "");
  EXPECT_EQ(prompt.asked.load(), 1);
}

TEST_F(RealServerSharedHostKey, ARefusalEndsEverySessionWithOneQuestion) {
  CountingPrompt prompt(TTrustAnswer::Reject);
  for (const auto& error : ConnectAll(4, prompt)) {
    EXPECT_NE(error.find(server->Fingerprint()), std::string::npos) << error;
  }
  EXPECT_EQ(prompt.asked.load(), 1);
  EXPECT_EQ(server->Log().find("userauth-request"), std::string::npos);
}

}  // namespace
}  // namespace tovra
