#include "upload/upload_job.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "ftp/dmFtp.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "support/fake_ftp_server.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"
#include "upload/recording_upload_view.h"

namespace tovra {
namespace {

using test::RecordingUploadView;

// A small site: a page with a picture, a style sheet, a picture in a
// Japanese-named folder and one missing picture.
struct Site {
  test::TempDir dir;
  std::string root = dir.Sub("site");
  std::string app = dir.Sub("app");
  std::string remote = dir.Sub("remote");
  std::string index, gif, css, kanjiGif;

  Site() {
    index = dir.Write("site/index.html",
                      "<html><head><link rel=\"stylesheet\" href=\"css/style.css\"></head>\r\n"
                      "<body><img src=\"img/a.gif\"><img src=\"\x89\xe6\x91\x9c/b.gif\">\r\n"
                      "<img src=\"img/none.gif\"><a href=\"other.html\">x</a></body></html>\r\n");
    gif = dir.Write("site/img/a.gif", std::string("GIF89a\0\x01\x02", 9));
    css = dir.Write("site/css/style.css", "body { color: red }\r\n");
    kanjiGif = dir.Write("site/\x89\xe6\x91\x9c/b.gif", "GIF89a-kanji");
    CreateDirectory(app);
    CreateDirectory(remote);
  }
  test::ScopedEnv appFolder{"TOVRA_APP_FOLDER", app};
};

struct Session {
  TRunHooks hooks;
  THostInfo host;
  explicit Session(int port, const std::string& user = "tovra", const std::string& password = "secret")
      : host{"127.0.0.1", user, password, port} {}
  TUploadSite Site(const std::string& root) const { return TUploadSite{root, host, {}, {}}; }
  TUploadPlan Plan(const TStringList& list, const std::string& root) const {
    return *BuildUploadPlan(list, Site(root), {}, 0);
  }
};

// The server keeps names as the raw bytes the client sent: CP932 on disk.

TEST(UploadJob, WholeSiteArrivesMirroredAndByteIdentical) {
  Site site;
  test::PyFtpdServer server(site.remote);
  Session session(server.Port());
  RecordingUploadView view;
  view.continueMissing = true;
  int finished = 0;
  TUploadJob job(session.hooks, view, [&] { ++finished; });

  ASSERT_TRUE(job.Start(TStringList{site.index}, {}, session.Site(site.root)));
  ASSERT_TRUE(view.WaitForEnd());
  EXPECT_EQ(view.Outcome(), TRunOutcome::Completed) << view.Error();

  EXPECT_EQ(test::BytesBelow(site.remote, "index.html"), ReadFileBytes(site.index));
  EXPECT_EQ(test::BytesBelow(site.remote, "img/a.gif"), ReadFileBytes(site.gif));
  EXPECT_EQ(test::BytesBelow(site.remote, "css/style.css"), ReadFileBytes(site.css));
  EXPECT_EQ(test::BytesBelow(site.remote, "\x89\xe6\x91\x9c/b.gif"), "GIF89a-kanji");
  EXPECT_EQ(finished, 1);

  const std::string missing = site.root + "/img/none.gif";
  std::vector<std::string> expected = {"[upload off]",
                                       "依存ファイル確認中",
                                       "[missing dialog]",
                                       "Uploas cancel files",
                                       missing,
                                       "Uploadファイル確定",
                                       site.index,
                                       site.css,
                                       site.gif,
                                       site.root + "/\x89\xe6\x91\x9c/b.gif",
                                       "*********************",
                                       "[abort on]",
                                       "index.html 転送中",
                                       "style.css 転送中",
                                       "a.gif 転送中",
                                       "b.gif 転送中",
                                       "[abort off]",
                                       "転送完了",
                                       "[upload on]",
                                       "[ended]"};
  EXPECT_EQ(view.Events(), expected);
  EXPECT_EQ(view.missingShown, std::vector<std::string>{missing});
  EXPECT_EQ(ReadFileBytes(UploadLogPath()),
            site.index + "\r\n" + site.css + "\r\n" + site.gif + "\r\n" + site.root + "/\x89\xe6\x91\x9c/b.gif\r\n");
}

TEST(UploadJob, StoppingAtTheMissingFilesWritesNothing) {
  Site site;
  Session session(1);  // never contacted
  RecordingUploadView view;
  view.continueMissing = false;
  TUploadJob job(session.hooks, view, {});
  EXPECT_FALSE(job.Start(TStringList{site.index}, {}, session.Site(site.root)));
  EXPECT_EQ(view.Events(),
            (std::vector<std::string>{"[upload off]", "依存ファイル確認中", "[missing dialog]", "[upload on]"}));
  EXPECT_EQ(job.UploadList().Count(), 0);
  EXPECT_FALSE(FileExists(UploadLogPath()));
}

TEST(UploadJob, EmptySelectionWritesAnEmptyLogAndEndsAtOnce) {
  Site site;
  Session session(1);
  RecordingUploadView view;
  int finished = 0;
  TUploadJob job(session.hooks, view, [&] { ++finished; });
  EXPECT_FALSE(job.Start(TStringList{}, {}, session.Site(site.root)));
  EXPECT_EQ(view.Events(), (std::vector<std::string>{"[upload off]", "依存ファイル確認中", "Uploadファイル確定",
                                                     "*********************", "[upload on]"}));
  EXPECT_EQ(ReadFileBytes(UploadLogPath()), "");
  EXPECT_EQ(finished, 1);
}

TEST(UploadJob, OnlyTheSelectionAfterConfirmation) {
  Site site;
  Session session(1);
  RecordingUploadView view;
  view.answer = false;  // Abort: nothing at all happens
  TUploadJob job(session.hooks, view, {});
  TUploadOptions only;
  only.cxOnly = true;
  EXPECT_FALSE(job.Start(TStringList{site.index}, only, session.Site(site.root)));
  EXPECT_EQ(view.Events(), std::vector<std::string>{"[ok/abort] 選択されたファイルだけをUPします。"});

  // Upper-case extension: uploaded but neither analysed nor rewritten.
  std::string upper = site.dir.Write("site/PAGE.HTM", "<img src=\"img/a.gif\">");
  RecordingUploadView plain;
  TUploadJob second(session.hooks, plain, {});
  ASSERT_TRUE(second.PrepareUpload(TStringList{upper}, {}, session.Site(site.root)));
  second.Timer().SetEnabled(false);
  EXPECT_EQ(second.UploadList().Items(), std::vector<std::string>{upper});
}

TEST(UploadJob, ReferencesLeadingOutOfTheSiteAreShownMarkedAndNeverListed) {
  Site site;
  const std::string secret = site.dir.Write("secret.txt", "not for the server");
  const std::string page = site.dir.Write("site/deep/page.html",
                                          "<img src=\"../../secret.txt\"><img src=\"/../secret.txt\">"
                                          "<img src=\"sub/../../img/a.gif\"><img src=\"x/../../../secret.txt\">");
  Session session(1);  // the run is stopped at the question
  RecordingUploadView view;
  view.continueMissing = false;
  TUploadJob job(session.hooks, view, {});
  EXPECT_FALSE(job.Start(TStringList{page}, {}, session.Site(site.root)));
  // The three references resolve to one file outside the site; "sub/../.."
  // folds to the site's own picture, which is no question at all.
  EXPECT_EQ(view.missingShown, std::vector<std::string>{secret + kOutsideSiteMark});

  RecordingUploadView going;
  TUploadJob second(session.hooks, going, {});
  ASSERT_TRUE(second.PrepareUpload(TStringList{page}, {}, session.Site(site.root)));
  second.Timer().SetEnabled(false);
  EXPECT_EQ(second.UploadList().Items(), (std::vector<std::string>{page, site.gif}));
  const auto lines = going.StatusLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), secret + kOutsideSiteMark), lines.end());
  EXPECT_EQ(ReadFileBytes(UploadLogPath()), page + "\r\n" + site.gif + "\r\n");
}

TEST(SetAsideOutsideSite, OnlyEntriesAfterTheSelectionThatLeaveTheRoot) {
  struct Case {
    std::vector<std::string> list;
    int from;
    std::vector<std::string> kept, outside;
  } cases[] = {
      {{"/s/a.htm", "/s/img/a.gif", "/etc/hostname", "/s2/b.gif"},
       1,
       {"/s/a.htm", "/s/img/a.gif"},
       {"/etc/hostname", "/s2/b.gif"}},
      {{"/elsewhere/p.htm", "/s/x.gif"}, 1, {"/elsewhere/p.htm", "/s/x.gif"}, {}},  // the selection stays
      {{"/s/p.htm", "/s/../etc/passwd", "/s/b/../c.gif"}, 1, {"/s/p.htm", "/s/b/../c.gif"}, {"/s/../etc/passwd"}},
      {{}, 0, {}, {}},
  };
  for (const auto& c : cases) {
    TStringList list;
    for (const auto& entry : c.list) list.Add(entry);
    TMissingFiles outside;
    SetAsideOutsideSite(list, c.from, "/s", outside);
    EXPECT_EQ(list.Items(), c.kept);
    std::vector<std::string> marked;
    for (const auto& path : c.outside) marked.push_back(path + kOutsideSiteMark);
    EXPECT_EQ(outside.Lines().Items(), marked);
  }
}

TEST(UploadJob, EntryOutsideTheRootGetsItsLineButIsNotStored) {
  Site site;
  std::string outside = site.dir.Write("elsewhere/x.gif", "x");
  std::string prefixTwin = site.dir.Write("siteX/y.gif", "y");
  test::PyFtpdServer server(site.remote);
  Session session(server.Port());
  RecordingUploadView view;
  TUploadJob job(session.hooks, view, {});
  EXPECT_EQ(job.RunTransfer(session.Plan(TStringList{outside, prefixTwin, site.gif}, site.root)),
            TRunOutcome::Completed);
  EXPECT_EQ(view.StatusLines(), (std::vector<std::string>{"x.gif 転送中", "y.gif 転送中", "a.gif 転送中", "転送完了"}));
  EXPECT_FALSE(FileExists(JoinPath(site.remote, "x.gif")));
  EXPECT_FALSE(FileExists(JoinPath(site.remote, "y.gif")));
  EXPECT_TRUE(FileExists(JoinPath(site.remote, "img/a.gif")));
}

TEST(UploadJob, LinksOutOfTheSiteAreNeverSentAndATwiceSelectedPageGoesOnce) {
  Site site;
  const std::string secret = site.dir.Write("private/id_rsa", "key");
  ASSERT_EQ(::symlink(secret.c_str(), (site.root + "/logo.gif").c_str()), 0);
  ASSERT_EQ(::symlink(site.dir.Sub("private").c_str(), (site.root + "/assets").c_str()), 0);
  const std::string page = site.dir.Write(
      "site/p.html", "<img src=\"logo.gif\"><img src=\"assets/id_rsa\"><img src=\"img/a.gif\"><img src=\"no.gif\">");
  test::PyFtpdServer server(site.remote);
  Session session(server.Port());
  RecordingUploadView view;
  TUploadJob job(session.hooks, view, {});
  const TStringList selection{page, site.root + "/./p.html", site.root + "/img/../p.html",
                              site.root + "/assets/id_rsa"};
  ASSERT_TRUE(job.Start(selection, {}, session.Site(site.root)));
  ASSERT_TRUE(view.WaitForEnd());
  EXPECT_EQ(view.Outcome(), TRunOutcome::Completed) << view.Error();
  EXPECT_EQ(view.missingShown,
            (std::vector<std::string>{site.root + "/no.gif", site.root + "/assets/id_rsa" + kOutsideSiteMark,
                                      site.root + "/logo.gif" + kOutsideSiteMark}));
  EXPECT_EQ(view.Summary(), "送信 2 件、スキップ 3 件 (ローカルに無い 1 件、サイト外 2 件)、失敗 0 件");
  EXPECT_TRUE(FileExists(JoinPath(site.remote, "p.html")));
  EXPECT_TRUE(FileExists(JoinPath(site.remote, "img/a.gif")));
  EXPECT_FALSE(PathExists(JoinPath(site.remote, "logo.gif")));
  EXPECT_FALSE(PathExists(JoinPath(site.remote, "assets")));
}

TEST(UploadJob, RefusedStoreEndsTheRunWithAnErrorLine) {
  Site site;
  test::FakeFtpServer server;
  server.Reply("STOR", "150 go\r\n");
  server.Reply("STOR", "550 Permission denied.\r\n");
  Session session(server.Port());
  RecordingUploadView view;
  int finished = 0;
  TUploadJob job(session.hooks, view, [&] { ++finished; });
  std::string page2 = site.dir.Write("site/b.html", "<p>b</p>");
  ASSERT_TRUE(job.Start(TStringList{site.gif, site.css, page2}, {}, session.Site(site.root)));
  ASSERT_TRUE(view.WaitForEnd());
  EXPECT_EQ(view.Outcome(), TRunOutcome::Failed);
  auto lines = view.StatusLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 2], "style.css 転送中");
  EXPECT_EQ(lines.back().rfind("転送エラー: ", 0), 0u) << lines.back();
  EXPECT_NE(view.Error().find("Permission denied"), std::string::npos);
  auto events = view.Events();
  EXPECT_EQ(std::vector<std::string>(events.end() - 3, events.end()),
            (std::vector<std::string>{"[abort off]", "[upload on]", "[ended]"}));
  EXPECT_TRUE(server.WasStored("a.gif"));
  EXPECT_FALSE(server.WasStored("b.html"));
  EXPECT_EQ(finished, 1);
  // The log records what was to be sent.
  EXPECT_EQ(ReadFileBytes(UploadLogPath()), site.gif + "\r\n" + site.css + "\r\n" + page2 + "\r\n");
}

TEST(UploadJob, AbortBetweenFilesStopsBeforeTheNextOne) {
  Site site;
  test::PyFtpdServer server(site.remote);
  Session session(server.Port());
  RecordingUploadView view;
  TUploadJob job(session.hooks, view, {});
  view.onStatus = [&](const std::string& line) {
    if (line == "a.gif 転送中") job.Abort();
  };
  EXPECT_EQ(job.RunTransfer(session.Plan(TStringList{site.gif, site.css, site.index}, site.root)),
            TRunOutcome::Aborted);
  EXPECT_EQ(view.StatusLines(), (std::vector<std::string>{"a.gif 転送中", "中止しています…", "転送中断"}));
  EXPECT_FALSE(FileExists(JoinPath(site.remote, "css/style.css")));
  EXPECT_FALSE(FileExists(JoinPath(site.remote, "index.html")));
}

TEST(UploadJob, AbortDuringALargeStoreSendsNothingMore) {
  Site site;
  std::string big = site.dir.Sub("site/big.bin");
  std::filesystem::resize_file(std::filesystem::path(site.dir.Write("site/big.bin", "")), 200 * 1024 * 1024);
  test::PyFtpdServer server(site.remote);
  Session session(server.Port());
  RecordingUploadView view;
  TUploadJob job(session.hooks, view, {});
  // The press comes once part of the big file is on its way.
  view.onProgress = [&](const TTransferProgress& progress) {
    if (progress.filesDone == 0 && progress.bytesDone > 0) job.Abort();
  };
  TUploadOptions only;
  only.cxOnly = true;  // the selection alone; its confirmation is answered OK
  ASSERT_TRUE(job.Start(TStringList{big, site.gif}, only, session.Site(site.root)));
  ASSERT_TRUE(view.WaitForEnd());
  EXPECT_NE(view.Outcome(), TRunOutcome::Completed);
  EXPECT_FALSE(FileExists(JoinPath(site.remote, "img/a.gif")));
  FileTimes times;
  if (GetFileTimes(JoinPath(site.remote, "big.bin"), times)) {
    EXPECT_LT(times.size, 200 * 1024 * 1024);
  }
}

}  // namespace
}  // namespace tovra
