// Publishing a site against real servers: vsftpd plain and with FTPS
// required, and a loopback sshd. The first publish makes the server's tree
// equal to the local one, the second sends nothing and connects nowhere,
// changes and deletions send and delete exactly what the plan says, a file
// someone else put on the server stays, and pages are stored after the files
// they use. Each server skips with its reason where it cannot run.
#include "upload/publish_run.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>

#include "platform/files.h"
#include "support/sshd_server.h"
#include "support/temp_dir.h"
#include "support/vsftpd_server.h"
#include "upload/apply_site_profile.h"
#include "upload/publish_exclude.h"
#include "upload/recording_upload_view.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;

enum class TServer { Ftp, Ftps, Sftp };

class PublishRunTest : public ::testing::TestWithParam<TServer> {
 protected:
  void SetUp() override {
    const bool sftp = GetParam() == TServer::Sftp;
    std::string why = sftp ? test::SshdServer::Unavailable() : test::VsftpdServer::Unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    remote = dir.Sub(sftp ? "login" : "remote");
    ::chmod(dir.Path().c_str(), 0755);  // the server's user walks through it
    site.extended = TExtendedSettings::NewSiteDefaults();
    site.extended.Set("Connections", "2");
    if (sftp) {
      sshd = std::make_unique<test::SshdServer>(remote);
      site.host = THostInfo{"127.0.0.1", test::SshdServer::User(), test::SshdServer::Password(), sshd->Port()};
      site.extended.Set("Protocol", "sftp");
      site.extended.Set("HostKeySha256", sshd->Fingerprint());
    } else {
      vsftpd = std::make_unique<test::VsftpdServer>(remote, "", GetParam() == TServer::Ftps);
      ASSERT_NE(vsftpd->Port(), 0) << vsftpd->StartLog();
      site.host = THostInfo{"127.0.0.1", "web", "pass", vsftpd->Port()};
      if (GetParam() == TServer::Ftps) {
        site.extended.Set("Encryption", "explicit");
        site.extended.Set("CertificateSha256", vsftpd->Fingerprint());
      }
    }
    site.root = dir.Sub("site");
    hooks.cancel = &cancel;
  }
  // Plans and runs a publish as the command does; returns the plan.
  TPublishPlan Publish(bool deleteRemoved) {
    TPublishRecord record(dir.Sub("site.publish"));
    record.Load();
    TPublishPlan plan = BuildPublishPlan(site.root, record, TPublishExclusions(), false);
    TPublishRun run(site, hooks, view, record);
    EXPECT_EQ(run.Run(plan, deleteRemoved), TRunOutcome::Completed);
    return plan;
  }
  int Connections() const { return vsftpd ? vsftpd->Connections() : static_cast<int>(Count(sshd->Log(), "Accepted")); }
  static std::size_t Count(const std::string& text, const std::string& word) {
    std::size_t n = 0;
    for (std::size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
    return n;
  }
  std::string WebRoot() const { return remote; }

  test::TempDir dir;
  std::string remote;
  std::unique_ptr<test::VsftpdServer> vsftpd;
  std::unique_ptr<test::SshdServer> sshd;
  TUploadSite site;
  std::atomic<std::uint8_t> cancel{0};
  TRunHooks hooks;
  test::RecordingUploadView view;
};

TEST_P(PublishRunTest, FirstPublishCopiesTheTreeAndASecondConnectsNowhere) {
  for (const char* name : {"index.html", "css/site.css", "img/a.png", "img/b.png", "docs/guide.html", "feed.xml"}) {
    dir.Write("site/" + std::string(name), std::string("bytes of ") + name);
  }
  dir.Write("site/.git/HEAD", "ref");
  TPublishPlan first = Publish(false);
  EXPECT_EQ(first.Count(TPublishChange::New), 6);
  auto local = test::FileTree(site.root);
  local.erase(".git/HEAD");
  EXPECT_EQ(test::FileTree(WebRoot()), local);

  const int connections = Connections();
  TPublishPlan second = Publish(false);
  EXPECT_TRUE(second.uploads.empty());
  EXPECT_EQ(second.unchanged, 6);
  EXPECT_EQ(Connections(), connections);
  if (vsftpd) {
    // Pages go last: no page was stored before the last file that is not one.
    std::vector<std::string> stores;
    for (const auto& command : vsftpd->Commands()) {
      if (command.rfind("RNTO ", 0) == 0) stores.push_back(command.substr(5));
    }
    ASSERT_EQ(stores.size(), 6u);
    for (std::size_t i = 0; i < stores.size(); ++i) EXPECT_EQ(IsPublishedPage(stores[i]), i >= 4) << stores[i];
  }
}

TEST_P(PublishRunTest, ChangesAndDeletionsAreExactlyThePlan) {
  for (const char* name : {"a.html", "b.css", "c.js", "d.png", "e.txt", "f/g.txt", "h.txt"}) {
    dir.Write("site/" + std::string(name), name);
  }
  Publish(false);
  const std::string foreign = WebRoot() + "/someone-else.txt";
  WriteFileAtomic(foreign, "theirs");
  dir.Write("site/a.html", "<p>new a</p>");
  dir.Write("site/b.css", "new b");
  dir.Write("site/c.js", "new c");
  dir.Write("site/new.txt", "added");
  // Edited later than the publish: a change within the same second keeps
  // size and time (then only a rehash finds it).
  for (const char* name : {"a.html", "b.css", "c.js"}) {
    struct utimbuf later {
      std::time(nullptr) + 5, std::time(nullptr) + 5
    };
    ::utime(dir.Sub(std::string("site/") + name).c_str(), &later);
  }
  DeleteFile(dir.Sub("site/e.txt"));
  fs::remove_all(dir.Sub("site/f"));

  TPublishRecord record(dir.Sub("site.publish"));
  record.Load();
  TPublishPlan dry = BuildPublishPlan(site.root, record, TPublishExclusions(), false);
  EXPECT_EQ(dry.Count(TPublishChange::Changed), 3);
  EXPECT_EQ(dry.Count(TPublishChange::New), 1);
  EXPECT_EQ(dry.deletions.size(), 2u);

  Publish(false);  // without deletion the server keeps them
  EXPECT_TRUE(fs::exists(WebRoot() + "/e.txt"));
  Publish(true);
  auto local = test::FileTree(site.root);
  local["someone-else.txt"] = "theirs";
  EXPECT_EQ(test::FileTree(WebRoot()), local);
  EXPECT_FALSE(fs::exists(WebRoot() + "/f")) << "the emptied folder goes too";
  for (const auto& [path, bytes] : test::FileTree(WebRoot()))
    EXPECT_EQ(path.find(kTemporaryStorePrefix), std::string::npos);
}

// Names as the disk has them: "〜" (U+301C) and "～" (U+FF5E) are two
// files, "café.html" and a folder "naïve" hold characters CP932 has not.
// A server that keeps UTF-8 names gets each under its own name; one that
// keeps CP932 names gets none of them, and each is reported.
TEST_P(PublishRunTest, NamesCp932CannotHoldGoAsTheDiskHasThemOrAreReported) {
  const auto write = [&](const std::string& utf8, const std::string& bytes) {
    fs::create_directories(fs::path(site.root + "/" + utf8).parent_path());
    WriteFileAtomic(dir.Sub("x"), bytes);
    fs::rename(dir.Sub("x"), site.root + "/" + utf8);
  };
  write("index.html", "<p>index</p>");
  write("caf\xC3\xA9.html", "<p>cafe</p>");
  write("\xE3\x80\x9C.png", "wave dash");
  write("\xEF\xBD\x9E.png", "fullwidth tilde");
  write("na\xC3\xAFve/x.css", "css");
  TPublishPlan first = Publish(false);
  EXPECT_EQ(first.Count(TPublishChange::New), 5);
  EXPECT_EQ(test::FileTree(WebRoot()), test::FileTree(site.root));
  const int connections = Connections();
  EXPECT_TRUE(Publish(false).uploads.empty()) << "the record knows them by the same names";
  EXPECT_EQ(Connections(), connections);
  write("na\xC3\xAFve/y.css", "into the folder made before");
  EXPECT_EQ(Publish(false).uploads.size(), 1u);
  EXPECT_EQ(test::FileTree(WebRoot()), test::FileTree(site.root));

  site.extended.Set("RemoteNameEncoding", "cp932");
  write("\xC3\xBC.txt", "u umlaut");
  write("plain.txt", "plain");
  TPublishPlan plan = Publish(false);
  EXPECT_EQ(plan.uploads.size(), 2u);
  EXPECT_FALSE(fs::exists(WebRoot() + "/\xC3\xBC.txt"));
  EXPECT_TRUE(fs::exists(WebRoot() + "/plain.txt"));
  const auto lines = view.StatusLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(),
                      "\xFF[U+00FC].txt 送信しません: サーバーのファイル名の文字コード (CP932) で表せない名前です"),
            lines.end());
  EXPECT_EQ(PublishPlanLines(plan, TServerNames::Cp932).back(),
            "新規 1 件、変更 0 件、削除 0 件、変更なし 6 件、送信不可 1 件");
  TPublishRecord record(dir.Sub("site.publish"));
  record.Load();
  EXPECT_EQ(record.Files().count("\xFF[U+00FC].txt"), 0u) << "not sent, so not recorded";
  EXPECT_EQ(record.Files().count("plain.txt"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, PublishRunTest, ::testing::Values(TServer::Ftp, TServer::Ftps, TServer::Sftp), [](const auto& info) {
      return std::string(info.param == TServer::Ftp ? "Ftp" : info.param == TServer::Ftps ? "Ftps" : "Sftp");
    });

}  // namespace
}  // namespace tovra
