// The transfer run over SFTP against a real sshd: every file arrives once
// over one-per-file, reused and parallel sessions with progress to the
// totals; an abort during a large file ends the run within two seconds; and
// an unknown host key is asked about once per run, a refusal ending it
// before any login.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/encoding.h"
#include "platform/files.h"
#include "sftp/host_key.h"
#include "support/sshd_server.h"
#include "support/temp_dir.h"
#include "upload/recording_upload_view.h"
#include "upload/upload_job.h"
#include "upload/upload_plan.h"

namespace tovra {
namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct CountingPrompt : IHostKeyPrompt {
  explicit CountingPrompt(TTrustAnswer a) : answer(a) {}
  TTrustAnswer TrustUnknownHostKey(const std::string&, int, const THostKey&) override {
    ++asked;
    return answer;
  }
  TTrustAnswer answer;
  std::atomic<int> asked{0};
};

class RealServerSftpEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::SshdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    server = std::make_unique<test::SshdServer>(root.Sub("login"));
  }
  TUploadSite Site(const std::string& settings, bool pinned = true) const {
    TExtendedSettings extended;
    extended.Set("Protocol", "sftp");
    if (pinned) extended.Set("HostKeySha256", server->Fingerprint());
    for (std::size_t start = 0; start < settings.size();) {
      std::size_t end = settings.find(' ', start);
      std::string pair = settings.substr(start, end - start);
      extended.Set(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
      start = end == std::string::npos ? settings.size() : end + 1;
    }
    return TUploadSite{local.Sub("site"),
                       THostInfo{"127.0.0.1", test::SshdServer::User(), test::SshdServer::Password(), server->Port()},
                       THostInfo{}, extended};
  }
  std::string OnServer(const std::string& rawRelative) const {
    std::ifstream in(ToOsPath(root.Sub("login")) + "/" + rawRelative, std::ios::binary);
    return in ? std::string(std::istreambuf_iterator<char>(in), {}) : "<missing>";
  }
  void EmptyLogin() const {
    for (const auto& entry : fs::directory_iterator(ToOsPath(root.Sub("login")))) fs::remove_all(entry.path());
  }

  test::TempDir root;
  test::TempDir local;
  std::unique_ptr<test::SshdServer> server;
};

TEST_F(RealServerSftpEngine, EveryFileArrivesOnceOverEachKindOfSession) {
  const std::vector<std::string> folders = {"", "img/", "img/deep/", "\x89\xe6\x91\x9c/"};  // 画像/
  TStringList list;
  std::vector<std::string> relative;
  for (int i = 0; i < 24; ++i) {
    std::string rel = folders[i % folders.size()] + "f" + std::to_string(i) + ".dat";
    list.Add(local.Write("site/" + rel, "file " + std::to_string(i) + std::string(i * 4099 % 70000, 'x')));
    relative.push_back(rel);
  }
  for (const char* settings : {"ReuseConnection=0 Connections=1 RemoteNameEncoding=cp932",
                               "ReuseConnection=1 Connections=1 RemoteNameEncoding=utf-8",
                               "ReuseConnection=1 Connections=8 RemoteNameEncoding=auto"}) {
    SCOPED_TRACE(settings);
    EmptyLogin();
    TRunHooks hooks;
    test::RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(list, Site(settings), {}, 0);
    EXPECT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
    bool utf8 = std::string(settings).find("cp932") == std::string::npos;
    for (std::size_t i = 0; i < relative.size(); ++i) {
      EXPECT_TRUE(OnServer(utf8 ? Cp932ToUtf8(relative[i]) : relative[i]) == ReadFileBytes(list[static_cast<int>(i)]))
          << "f" << i;
    }
    auto lines = view.StatusLines();
    EXPECT_EQ(lines.back(), "転送完了");
    EXPECT_EQ(lines.size(), 25u);
    auto progress = view.Progress();
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(progress.back().finished);
    EXPECT_EQ(progress.back().bytesDone, progress.back().bytesTotal);
    EXPECT_EQ(view.Summary(), "送信 24 件、スキップ 0 件 (ローカルに無い 0 件、サイト外 0 件)、失敗 0 件");
  }
}

TEST_F(RealServerSftpEngine, AnAbortDuringALargeFileEndsTheRunWithinTwoSeconds) {
  std::string big = local.Sub("site/big.bin");
  fs::create_directories(ToOsPath(local.Sub("site")));
  {
    std::ofstream out(ToOsPath(big), std::ios::binary);
    std::string block(1 << 20, 'b');
    for (int i = 0; i < 512; ++i) out << block;
  }
  TStringList list;
  list.Add(big);
  list.Add(local.Write("site/after.html", "never sent"));
  TRunHooks hooks;
  test::RecordingUploadView view;
  TUploadJob job(hooks, view, {});
  std::atomic<std::int64_t> cancelledAt{0};
  std::thread canceller;
  view.onStatus = [&](const std::string& line) {
    if (line != "big.bin 転送中") return;
    canceller = std::thread([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      cancelledAt = Clock::now().time_since_epoch().count();
      job.Abort();
    });
  };
  auto plan = BuildUploadPlan(list, Site("ReuseConnection=1 Connections=1"), {}, 0);
  EXPECT_EQ(job.RunTransfer(*plan), TRunOutcome::Aborted);
  auto ended = Clock::now().time_since_epoch().count();
  ASSERT_TRUE(canceller.joinable());
  canceller.join();
  EXPECT_LT(std::chrono::nanoseconds(ended - cancelledAt.load()), std::chrono::seconds(2));
  auto lines = view.StatusLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "転送中断"), lines.end());
  EXPECT_NE(std::find(lines.begin(), lines.end(), "big.bin 転送中断: サーバー上のファイルは途中までです"), lines.end());
  EXPECT_EQ(OnServer("after.html"), "<missing>");
}

TEST_F(RealServerSftpEngine, AnUnknownKeyIsAskedAboutOncePerRun) {
  TStringList list;
  for (int i = 0; i < 8; ++i) list.Add(local.Write("site/p" + std::to_string(i) + ".html", std::to_string(i)));
  for (TTrustAnswer answer : {TTrustAnswer::TrustOnce, TTrustAnswer::Reject}) {
    EmptyLogin();
    TRunHooks hooks;
    CountingPrompt prompt(answer);
    hooks.hostKeyPrompt = &prompt;
    test::RecordingUploadView view;
    TUploadJob job(hooks, view, {});
    auto plan = BuildUploadPlan(list, Site("ReuseConnection=1 Connections=4", false), {}, 0);
    if (answer == TTrustAnswer::TrustOnce) {
      EXPECT_EQ(job.RunTransfer(*plan), TRunOutcome::Completed);
      for (int i = 0; i < 8; ++i) EXPECT_EQ(OnServer("p" + std::to_string(i) + ".html"), std::to_string(i));
    } else {
      try {
        job.RunTransfer(*plan);
        ADD_FAILURE() << "the run went on";
      } catch (const std::exception& e) {
        EXPECT_NE(std::string(e.what()).find(server->Fingerprint()), std::string::npos) << e.what();
      }
      EXPECT_EQ(OnServer("p0.html"), "<missing>");
    }
    EXPECT_EQ(prompt.asked.load(), 1);
  }
}

}  // namespace
}  // namespace tovra
