// The site check: public addresses, the references a page and its style
// sheets need, and runs against a real web server on loopback (nginx, or
// Python's http.server): what each kind of fault is reported as, redirects,
// HTTPS with a certificate no store trusts, and a server that never answers.
#include "upload/site_verify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <thread>

#include "platform/files.h"
#include "sites/dmConfig.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"
#include "support/web_server.h"
#include "upload/publish_job.h"
#include "upload/publish_record.h"
#include "upload/recording_upload_view.h"
#include "upload/verify_files.h"

namespace tovra {
namespace {

using namespace std::chrono_literals;

TEST(PublicUrlTest, EachPieceIsPercentEncodedAsUtf8) {
  struct Row {
    const char* webUrl;
    std::string path;
    const char* url;
  };
  const Row rows[] = {
      {"http://example.jp/~u", "index.html", "http://example.jp/~u/index.html"},
      {"http://example.jp/~u/", "img/a b.gif", "http://example.jp/~u/img/a%20b.gif"},
      {" https://example.jp ", "x#1?.html", "https://example.jp/x%231%3F.html"},
      // 写真/表 in Shift-JIS; 表 (95 5C) carries the path separator's byte.
      {"http://h/", "\x8e\xca\x90\x5e/\x95\x5c.gif", "http://h/%E5%86%99%E7%9C%9F/%E8%A1%A8.gif"},
      // A published name CP932 cannot hold (café/〜.png), marked.
      {"http://h/", "caf\xFF[U+00E9]/\xFF[U+301C].png", "http://h/caf%C3%A9/%E3%80%9C.png"},
  };
  for (const Row& row : rows) EXPECT_EQ(PublicUrl(row.webUrl, row.path), row.url) << row.path;
}

TEST(WebUrlProblemTest, OnlyHttpAndHttpsAddressesAreChecked) {
  EXPECT_EQ(WebUrlProblem("").value_or(""), "WebURL が設定されていません");
  for (const char* bad : {"ftp://example.jp/", "example.jp/~u/", "http://", "https:///x"}) {
    EXPECT_EQ(WebUrlProblem(bad).value_or(""),
              std::string("WebURL が http または https のアドレスではありません: ") + bad);
  }
  for (const char* good : {"http://example.jp", "HTTPS://example.jp/~u/"}) EXPECT_FALSE(WebUrlProblem(good)) << good;
}

// A verify of the whole site takes what was last published there, not what
// lies in the folder now; a site never published is checked whole.
TEST(VerifyFilesTest, TheWholeSiteIsWhatWasPublishedElseTheFolder) {
  test::TempAppFolder app;
  test::TempDir site;
  site.Write("index.html", "x");
  site.Write("img/\x8e\xca.gif", "y");  // 写 in Shift-JIS
  EXPECT_EQ(PublishedSiteFiles("s", site.Path()),
            (std::vector<std::string>{site.Sub("img/\x8e\xca.gif"), site.Sub("index.html")}));
  TPublishRecord record(PublishRecordFileName("s"));
  record.Confirm({"img/\x8e\xca.gif", 1, 0, std::string(64, '0'), "\x8e\xca.gif"});
  record.Save();
  site.Write("draft.html", "not published");
  EXPECT_EQ(PublishedSiteFiles("s", site.Path()), (std::vector<std::string>{site.Sub("img/\x8e\xca.gif")}));
}

TEST(PageRequisitesTest, StyleSheetsAreFollowedToWhatTheyName) {
  const std::string page =
      "<link rel=\"stylesheet\" href=\"css/site.css\"><img src=\"img/a.gif\"><a href=\"other.html\">o</a>"
      "<img src=\"img/a.gif\"><img src=\"http://elsewhere.example/x.gif\"><img src=\"../up.gif\">"
      "<img src=\"http://example.jp/~u/img/own%20b.gif\">";
  std::vector<std::string> fetched;
  auto fetch = [&](const std::string& path) -> std::optional<std::string> {
    fetched.push_back(path);
    if (path == "css/site.css") return std::string("@import 'more.css'; body{background:url(../img/bg.png)}");
    if (path == "css/more.css") return std::string("p{background:url(/img/a.gif)} q{background:url(dot.png)}");
    return std::nullopt;
  };
  std::vector<std::string> paths;
  for (const TRequisite& r : FindPageRequisites(page, "index.html", "http://example.jp/~u/", fetch)) {
    paths.push_back(r.path + "<" + r.neededBy);
  }
  // A style sheet's references follow it, so img/a.gif is first named by more.css.
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{"css/dot.png<css/more.css", "css/more.css<css/site.css",
                                             "css/site.css<index.html", "img/a.gif<css/more.css",
                                             "img/bg.png<css/site.css", "img/own b.gif<index.html"}));
  std::sort(fetched.begin(), fetched.end());
  EXPECT_EQ(fetched, (std::vector<std::string>{"css/more.css", "css/site.css"}));
}

class RealServerVerifyTest : public ::testing::Test {
 protected:
  TVerifySettings Settings(const std::string& url) {
    TVerifySettings settings;
    settings.webUrl = url;
    settings.siteRoot = site;
    settings.connections = 2;
    settings.timeoutMs = 5000;
    settings.cancel = &cancel;
    return settings;
  }
  std::vector<TVerifyResult> Verify(const TVerifySettings& settings, const std::vector<std::string>& files) {
    std::vector<TVerifyResult> results;
    summary = VerifySite(settings, files, [&](const TVerifyResult& r) { results.push_back(r); });
    return results;
  }

  test::TempDir work;
  std::string site = work.Sub("site");
  std::string served = work.Sub("served");
  std::atomic<std::uint8_t> cancel{0};
  TVerifySummary summary;
};

TEST_F(RealServerVerifyTest, EachFaultIsNamedWithItsKind) {
  const std::string same = work.Write("site/same.txt", "same bytes");
  const std::string changed = work.Write("site/sub/changed.txt", "local bytes");
  const std::string missing = work.Write("site/missing.txt", "x");
  work.Write("served/same.txt", "same bytes");
  work.Write("served/sub/changed.txt", "server's bytes!");
  test::WebServer server(served, "/~tovra/");
  const auto results = Verify(Settings(server.Url()), {same, changed, missing, work.Write("outside.txt", "")});
  ASSERT_EQ(results.size(), 3u);
  std::map<std::string, TVerifyResult> byFile;
  for (const auto& r : results) byFile[r.file] = r;
  EXPECT_EQ(byFile["same.txt"].kind, TVerifyKind::Same);
  EXPECT_EQ(
      VerifyResultLine(byFile["sub/changed.txt"]),
      "sub/changed.txt (" + server.Url() + "sub/changed.txt): 内容が違います (ローカル 11 バイト、サーバー 15 バイト)");
  EXPECT_EQ(VerifyResultLine(byFile["missing.txt"]),
            "missing.txt (" + server.Url() + "missing.txt): 見つかりません (状態 404)");
  EXPECT_EQ(VerifySummaryLine(summary),
            "確認 3 件: 一致 1 件、見つからない 1 件、内容が違う 1 件、移動 0 件、サーバーエラー 0 件、応答なし 0 件、"
            "証明書エラー 0 件、接続エラー 0 件、ローカル読み込みエラー 0 件、中止 0 件");
}

// Redirects within the site are followed (a folder asked without its "/",
// a file the server sends on); one out of the site is a move.
TEST_F(RealServerVerifyTest, RedirectsAreFollowedOnlyWithinTheSite) {
  if (!test::WebServer::NginxInstalled()) GTEST_SKIP() << "the redirects are nginx's";
  const std::string folderAsFile = work.Write("site/docs", "");
  const std::string sentOn = work.Write("site/old.txt", "new");
  const std::string moved = work.Write("site/gone.txt", "x");
  work.Write("served/docs/index.html", "");
  work.Write("served/new.txt", "new");
  test::WebServer server(served, "/~tovra/", false,
                         "location = /~tovra/old.txt { return 301 /~tovra/new.txt; }\n"
                         "location = /~tovra/gone.txt { return 302 http://192.0.2.1/gone.txt; }");
  const auto results = Verify(Settings(server.Url()), {folderAsFile, sentOn, moved});
  ASSERT_EQ(results.size(), 3u);
  std::map<std::string, TVerifyResult> byFile;
  for (const auto& r : results) byFile[r.file] = r;
  EXPECT_EQ(byFile["docs"].kind, TVerifyKind::Same) << VerifyResultLine(byFile["docs"]);
  EXPECT_EQ(byFile["old.txt"].kind, TVerifyKind::Same) << VerifyResultLine(byFile["old.txt"]);
  EXPECT_EQ(VerifyResultLine(byFile["gone.txt"]),
            "gone.txt (" + server.Url() + "gone.txt): 別のアドレスに移動しています: http://192.0.2.1/gone.txt");
}

TEST_F(RealServerVerifyTest, SelfSignedCertificateIsACertificateFailure) {
  if (!test::WebServer::NginxInstalled()) GTEST_SKIP() << "HTTPS needs nginx";
  const std::string file = work.Write("site/a.txt", "a");
  work.Write("served/a.txt", "a");
  test::WebServer server(served, "/~tovra/", true);
  const auto results = Verify(Settings(server.Url()), {file});
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].kind, TVerifyKind::Certificate) << results[0].detail;
  EXPECT_TRUE(summary.AnyDifference());
}

TEST_F(RealServerVerifyTest, ServerThatNeverAnswersIsBoundedAndAbortable) {
  test::SilentServer silent;
  const std::string url = "http://127.0.0.1:" + std::to_string(silent.Port()) + "/";
  const std::string file = work.Write("site/a.txt", "a");
  TVerifySettings settings = Settings(url);
  settings.timeoutMs = 1000;
  auto start = std::chrono::steady_clock::now();
  auto results = Verify(settings, {file});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].kind, TVerifyKind::NoAnswer);

  settings.timeoutMs = 60000;
  std::thread aborter([&] {
    std::this_thread::sleep_for(200ms);
    cancel.store(1);
  });
  start = std::chrono::steady_clock::now();
  results = Verify(settings, {file, work.Write("site/b.txt", "b"), work.Write("site/c.txt", "c")});
  aborter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(summary.Count(TVerifyKind::Aborted), 3);
}

// With VerifyAfterUpload a completed publish checks the files it sent, and
// only those: a file the server lost after an earlier publish is not named.
TEST_F(RealServerVerifyTest, CompletedPublishChecksTheFilesItSent) {
  work.Write("site/index.html", "<p>one</p>");
  work.Write("site/img/a.gif", "GIF89a");
  work.Write("served/.keep", "");
  test::PyFtpdServer ftp(served, "tovra", "secret", true);
  test::WebServer web(served, "/~tovra/");
  TUploadSite target;
  target.root = site;
  target.host = THostInfo{"127.0.0.1", ftp.User(), ftp.Password(), ftp.Port()};
  target.extended.Set("VerifyAfterUpload", "1");
  target.webUrl = web.Url();
  target.readTimeoutMs = 5000;
  TRunHooks hooks;
  hooks.cancel = &cancel;
  auto publish = [&] {
    test::RecordingUploadView view;
    {
      auto record = std::make_unique<TPublishRecord>(work.Sub("site.publish"));
      record->Load();
      TPublishPlan plan = BuildPublishPlan(site, *record, TPublishExclusions(), false);
      TPublishJob job(hooks, view);
      EXPECT_TRUE(job.Start(target, std::move(plan), std::move(record), false));
      EXPECT_TRUE(view.WaitForEnd());
    }
    EXPECT_EQ(view.Outcome(), TRunOutcome::Completed) << view.Error();
    std::vector<std::string> check;
    const auto lines = view.StatusLines();
    const auto from = std::find(lines.begin(), lines.end(), "公開アドレスを確認中: " + web.Url());
    if (from != lines.end()) check.assign(from + 1, lines.end());
    return check;
  };
  auto summaryOf = [](int total) {
    return "確認 " + std::to_string(total) + " 件: 一致 " + std::to_string(total) +
           " 件、見つからない 0 件、内容が違う 0 件、移動 0 件、サーバーエラー 0 件、応答なし 0 件、証明書エラー 0 "
           "件、接続エラー 0 件、ローカル読み込みエラー 0 件、中止 0 件";
  };
  EXPECT_EQ(publish(), std::vector<std::string>{summaryOf(2)});
  DeleteFile(work.Sub("served/img/a.gif"));
  work.Write("site/index.html", "<p>two, longer</p>");
  EXPECT_EQ(publish(), std::vector<std::string>{summaryOf(1)});
}

}  // namespace
}  // namespace tovra
