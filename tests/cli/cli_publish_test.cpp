// tovra-cli publish against vsftpd, run as a user runs it: the dry run sends
// nothing and connects nowhere; a publish killed with SIGKILL at several
// points and run again ends with the server's tree equal to the local one,
// no temporary name left, and no file that was confirmed before a kill
// stored again afterwards.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

#include "platform/files.h"
#include "sites/dmConfig.h"
#include "support/cli_runner.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"
#include "upload/publish_record.h"

extern char** environ;

namespace tovra {
namespace {

namespace fs = std::filesystem;
using test::Words;

class CliPublishTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why = test::VsftpdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    ::chmod(dir.Path().c_str(), 0755);
    server = std::make_unique<test::VsftpdServer>(dir.Sub("remote"));
    for (int i = 0; i < 60; ++i) {
      std::string name = "f" + std::to_string(100 + i) + (i % 10 == 0 ? ".html" : ".bin");
      dir.Write("site/" + std::string(i % 2 ? "sub/" : "") + name,
                std::string(20000 + i, static_cast<char>('a' + i % 26)));
    }
    test::CliResult made = Run(
        "site set web LocalRootDir=" + dir.Sub("site") +
        " WebHostName=127.0.0.1 WebUserName=web WebPasswd=pass WebPort=" + std::to_string(server->Port()) + " --yes");
    ASSERT_EQ(made.status, 0) << made.err;
  }
  test::CliResult Run(const std::string& arguments) { return test::RunCli(Words(arguments), app.Path(), ""); }
  // Starts a publish and kills it once the record holds `confirmed` files
  // (or the publish ended first); false when it ended on its own.
  bool PublishKilledAfter(std::size_t confirmed) {
    std::string appVariable = "TOVRA_APP_FOLDER=" + app.Path();
    std::vector<std::string> args{test::CliPath(), "publish", "--site", "web", "--yes"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> env{appVariable.data()};
    for (char** e = environ; *e != nullptr; ++e) env.push_back(*e);
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), env.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (::waitpid(pid, &status, WNOHANG) == pid) return false;
      if (Confirmed().size() >= confirmed) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return true;
  }
  std::set<std::string> Confirmed() {
    ScopedApp scoped(app.Path());
    std::set<std::string> names;
    for (const auto& file : LoadPublishedFiles("web")) names.insert(file.remoteName);
    return names;
  }
  struct ScopedApp {
    explicit ScopedApp(const std::string& folder) : env("TOVRA_APP_FOLDER", folder) {}
    test::ScopedEnv env;
  };

  test::TempDir dir;
  test::TempDir app;
  std::unique_ptr<test::VsftpdServer> server;
};

TEST_F(CliPublishTest, DryRunPrintsThePlanAndConnectsNowhere) {
  const int connections = server->Connections();  // the start script's own probe
  test::CliResult r = Run("publish --site web --dry-run");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("新規 sub/f101.bin\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("新規 60 件、変更 0 件、削除 0 件、変更なし 0 件"), std::string::npos) << r.out;
  EXPECT_EQ(server->Connections(), connections);
  EXPECT_TRUE(test::FileTree(dir.Sub("remote")).empty());
}

TEST_F(CliPublishTest, KilledAtSeveralPointsThenResumedSendsNoConfirmedFileTwice) {
  int kills = 0;
  for (std::size_t point : {1u, 15u, 40u}) {
    const std::size_t before = server->Commands().size();
    std::set<std::string> confirmed = Confirmed();
    if (!PublishKilledAfter(point)) break;
    ++kills;
    // What was confirmed before this run is not stored again in it.
    auto commands = server->Commands();
    for (std::size_t i = before; i < commands.size(); ++i) {
      if (commands[i].rfind("STOR ", 0) != 0) continue;
      std::string name = commands[i].substr(5);
      if (name.rfind(".tovra-part.", 0) == 0) name = name.substr(12);
      EXPECT_EQ(confirmed.count(name), 0u) << name << " sent again after kill at " << point;
    }
  }
  EXPECT_GE(kills, 2) << "the publish ended before it could be killed";
  const std::set<std::string> confirmed = Confirmed();
  const std::size_t before = server->Commands().size();
  test::CliResult last = Run("publish --site web --yes");
  ASSERT_EQ(last.status, 0) << last.err;
  auto commands = server->Commands();
  for (std::size_t i = before; i < commands.size(); ++i) {
    if (commands[i].rfind("STOR .tovra-part.", 0) == 0) {
      EXPECT_EQ(confirmed.count(commands[i].substr(17)), 0u) << commands[i];
    }
  }
  EXPECT_EQ(test::FileTree(dir.Sub("remote")), test::FileTree(dir.Sub("site")));  // no temporary name either
  EXPECT_NE(Run("publish --site web --yes").out.find("公開するものはありません"), std::string::npos);
}

}  // namespace
}  // namespace tovra
