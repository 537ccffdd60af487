// The transfer engine against a real vsftpd: folders its listing hides, and
// a limit of logins per address. vsftpd needs root; without it these skip.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>

#include "ftp/id_exceptions.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"
#include "upload/recording_upload_view.h"
#include "upload/upload_job.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;

TExtendedSettings Parallel(int connections) {
  TExtendedSettings extended;
  extended.Set("ReuseConnection", "1");
  extended.Set("Connections", std::to_string(connections));
  extended.Set("DataConnection", "passive");
  return extended;
}

std::string Bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TransferEngineVsftpd : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::VsftpdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why << "; engine tests against vsftpd skipped";
    ::chmod(dir.Path().c_str(), 0755);
    fs::create_directories(remote);
  }
  TRunOutcome Run(const TStringList& list, const test::VsftpdServer& server, int connections,
                  test::RecordingUploadView& view, const TRunHooks& hooks = {}, TExtendedSettings extended = {}) {
    TUploadJob job(hooks, view, {});
    if (extended.Empty()) extended = Parallel(connections);
    TUploadSite site{root, THostInfo{"127.0.0.1", server.User(), server.Password(), server.Port()}, {}, extended};
    site.name = "web site";
    site.readTimeoutMs = 10000;
    return job.RunTransfer(*BuildUploadPlan(list, site, {}, 0));
  }

  test::TempDir dir;
  std::string root = dir.Sub("site");
  std::string remote = dir.Path() + "/remote";
};

// vsftpd's bare LIST leaves out dot folders; a linked folder lists as a link.
// Both exist, so the refused MKD is followed by entering them.
TEST_F(TransferEngineVsftpd, FoldersTheListingHidesAreEntered) {
  struct Case {
    const char* folder;
    bool linked;
  } cases[] = {{".well-known", false}, {"linked", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.folder);
    const std::string folder = c.folder;
    if (c.linked) {
      fs::create_directories(remote + "/real");
      fs::create_symlink("real", remote + "/" + folder);
    } else {
      fs::create_directories(remote + "/" + folder);
    }
    test::VsftpdServer server(remote);
    ASSERT_NE(server.Port(), 0) << server.StartLog();
    TStringList list{dir.Write("site/" + folder + "/acme/t1", "token one"), dir.Write("site/index.html", "home"),
                     dir.Write("site/" + folder + "/t2", "token two")};
    for (int run = 0; run < 2; ++run) {
      test::RecordingUploadView view;
      ASSERT_EQ(Run(list, server, 4, view), TRunOutcome::Completed) << run << ": " << view.Error();
      EXPECT_EQ(view.StatusLines().back(), "転送完了");
    }
    EXPECT_EQ(Bytes(remote + "/" + folder + "/acme/t1"), "token one");
    EXPECT_EQ(Bytes(remote + "/" + folder + "/t2"), "token two");
  }
}

// vsftpd turns the third login from one address away with 421: the run goes
// on over the two it allows, says so once, and sends every file.
TEST_F(TransferEngineVsftpd, ALimitOfLoginsSendsEveryFileOverTheSessionsAllowed) {
  test::VsftpdServer server(remote, "max_per_ip=2");
  ASSERT_NE(server.Port(), 0) << server.StartLog();
  TStringList list;
  for (int i = 0; i < 21; ++i)
    list.Add(dir.Write("site/p/f" + std::to_string(i) + ".txt", "file " + std::to_string(i)));
  test::RecordingUploadView view;
  ASSERT_EQ(Run(list, server, 4, view), TRunOutcome::Completed) << view.Error();
  for (int i = 0; i < 21; ++i)
    EXPECT_EQ(Bytes(remote + "/p/f" + std::to_string(i) + ".txt"), "file " + std::to_string(i));
  auto lines = view.StatusLines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("件まででした") != std::string::npos; }),
            1);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("転送失敗") != std::string::npos; }),
            0);
  EXPECT_EQ(view.Summary(), "送信 21 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 0 件");
}

// The certificate question, answered by the test; counts how often it is asked.
class AnsweringTrust : public ICertificateTrust {
 public:
  explicit AnsweringTrust(TTrustAnswer answer) : answer_(answer) {}
  TTrustAnswer AskTrust(const std::string& /*host*/, const TCertificateInfo& /*certificate*/) override {
    ++asked;
    return answer_;
  }
  std::atomic<int> asked{0};

 private:
  TTrustAnswer answer_;
};

// explicit-if-available against a server that speaks TLS: the run's site
// (not whichever the front end shows) is told to stay encrypted, a pin to
// remember goes there too, and a refused certificate ends the run after one
// question, as the error it is.
TEST_F(TransferEngineVsftpd, ATlsSiteStaysEncryptedAndARefusalEndsTheRun) {
  struct Case {
    TTrustAnswer answer;
    std::set<std::string> remembered;  // "site: key"
  } cases[] = {
      {TTrustAnswer::Reject, {}},
      {TTrustAnswer::TrustOnce, {"web site: Encryption"}},
      {TTrustAnswer::TrustAndRemember, {"web site: CertificateSha256", "web site: Encryption"}},
  };
  test::VsftpdServer server(remote, "", true);
  ASSERT_NE(server.Port(), 0) << server.StartLog();
  TStringList list;
  for (int i = 0; i < 6; ++i) list.Add(dir.Write("site/s/f" + std::to_string(i) + ".txt", "tls " + std::to_string(i)));
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.answer));
    AnsweringTrust trust(c.answer);
    std::mutex mutex;
    std::set<std::string> remembered;
    TRunHooks hooks;
    hooks.certificateTrust = &trust;
    hooks.remember = [&](const std::string& site, const std::string& key, const std::string& value) {
      std::lock_guard<std::mutex> lock(mutex);
      remembered.insert(site + ": " + key);
      if (key == "Encryption") {
        EXPECT_EQ(value, "explicit");
      }
    };
    TExtendedSettings extended = Parallel(4);
    extended.Set("Encryption", "explicit-if-available");
    test::RecordingUploadView view;
    if (c.answer == TTrustAnswer::Reject) {
      EXPECT_THROW(Run(list, server, 4, view, hooks, extended), ECertificateRejected);
      auto shown = view.StatusLines();
      EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                              [](const std::string& l) { return l.find("転送失敗") != std::string::npos; }),
                1);
    } else {
      EXPECT_EQ(Run(list, server, 4, view, hooks, extended), TRunOutcome::Completed) << view.Error();
      auto shown = view.StatusLines();
      EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                              [](const std::string& l) { return l.find("Encryption=explicit") != std::string::npos; }),
                1);
    }
    EXPECT_EQ(trust.asked.load(), 1);
    EXPECT_EQ(remembered, c.remembered);
  }
}

}  // namespace
}  // namespace tovra
