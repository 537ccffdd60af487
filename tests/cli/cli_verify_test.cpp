// tovra-cli verify after a real upload: pyftpdlib takes the files, a web
// server on loopback (nginx, or Python's http.server) serves the FTP root
// under the path of the site's WebURL. Faults made on the server afterwards
// are named file by file; --requisites finds a file a style sheet needs that
// was never sent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/encoding.h"
#include "platform/files.h"
#include "support/cli_runner.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"
#include "support/test_site.h"
#include "support/web_server.h"

namespace tovra {
namespace {

using test::CliResult;
using test::RunCli;

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  for (const std::string& line : test::Lines(text)) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

std::string Summary(int total, int same, int notFound, int different) {
  return "確認 " + std::to_string(total) + " 件: 一致 " + std::to_string(same) + " 件、見つからない " +
         std::to_string(notFound) + " 件、内容が違う " + std::to_string(different) +
         " 件、移動 0 件、サーバーエラー 0 件、応答なし 0 件、証明書エラー 0 件、接続エラー 0 件、"
         "ローカル読み込みエラー 0 件、中止 0 件";
}

class RealServerCliVerifyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    work.Write("site/index.html",
               "<link rel=\"stylesheet\" href=\"css/site.css\"><img src=\"img/a.gif\"><img src=\"img/Photo.gif\">"
               "<img src=\"写真/表紙.gif\">\r\n");
    work.Write("site/img/a.gif", "GIF89a-a");
    work.Write("site/img/Photo.gif", "GIF89a-photo");
    work.Write("site/写真/表紙.gif", "GIF89a-kanji");
    // Named only by the style sheet: the upload's dependency rules never send it.
    work.Write("site/img/bg.png", "PNG");
    work.Write("site/css/site.css", "body { background: url(\"../img/bg.png\") }\n");
    work.Write("remote/.keep", "");
  }

  CliResult Cli(const std::string& line) { return RunCli(test::Words(line), app.Path(), work.Path()); }

  test::TempAppFolder app;
  test::TempDir work;
  std::string root = work.Sub("site");
  std::string remote = work.Sub("remote");
};

TEST_F(RealServerCliVerifyTest, ServerFaultsAreNamedFileByFile) {
  test::PyFtpdServer ftp(remote);
  test::WebServer web(remote, "/~tovra/");
  TExtendedSettings extended;
  extended.Set("RemoteNameEncoding", "utf-8");
  test::SaveTestSite({"サイト", root, ftp.Port(), "secret", web.Url()}, extended);
  CliResult r = Cli("upload --site サイト --missing skip site/index.html");
  ASSERT_EQ(r.status, 0) << r.err;

  r = Cli("verify --site サイト");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, Summary(5, 5, 0, 0) + "\n");

  r = Cli("verify --site サイト --requisites");
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.out, "img/bg.png (" + web.Url() +
                       "img/bg.png): 見つかりません (状態 404) [css/site.css が必要とするファイル]\n" +
                       Summary(6, 5, 1, 0) + "\n");

  // Changed bytes, a file gone, a file whose name differs in letter case.
  WriteFileAtomic(JoinPath(remote, "img/a.gif"), "GIF89a-changed");
  std::filesystem::remove(ToOsPath(remote) + reinterpret_cast<const char*>(u8"/写真/表紙.gif"));
  std::filesystem::rename(ToOsPath(JoinPath(remote, "img/Photo.gif")), ToOsPath(JoinPath(remote, "img/photo.gif")));
  r = Cli("verify --site サイト");
  EXPECT_EQ(r.status, 1) << r.err;
  const std::string url = web.Url();
  EXPECT_EQ(
      SortedLines(r.out),
      SortedLines("img/Photo.gif (" + url + "img/Photo.gif): 見つかりません (状態 404)\n" + "img/a.gif (" + url +
                  "img/a.gif): 内容が違います (ローカル 8 バイト、サーバー 14 バイト)\n" + "写真/表紙.gif (" + url +
                  "%E5%86%99%E7%9C%9F/%E8%A1%A8%E7%B4%99.gif): 見つかりません (状態 404)\n" + Summary(5, 2, 2, 1)));
}

// With VerifyAfterUpload the run's files are checked once it completes; a
// WebURL that maps to another folder than the one uploaded to is named.
TEST_F(RealServerCliVerifyTest, VerifyAfterUploadChecksTheRunsFiles) {
  test::PyFtpdServer ftp(remote);
  work.Write("elsewhere/img/a.gif", "GIF89a-a");
  struct Row {
    std::string served;
    std::string lines;  // after the check's first line
    std::string warning;
  };
  const Row rows[] = {
      {remote, Summary(1, 1, 0, 0) + "\n", ""},
      {work.Sub("elsewhere/img"), "img/a.gif (URL/img/a.gif): 見つかりません (状態 404)\n" + Summary(1, 0, 1, 0) + "\n",
       "公開アドレスで正しく公開されていないファイルがあります (1 件)。\n状態欄で確認してください。\n"},
  };
  for (const Row& row : rows) {
    test::WebServer web(row.served, "/~tovra/");
    TExtendedSettings extended;
    extended.Set("VerifyAfterUpload", "1");
    test::SaveTestSite({"サイト", root, ftp.Port(), "secret", web.Url()}, extended);
    CliResult r = Cli("upload --site サイト --only site/img/a.gif");
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string url = web.Url().substr(0, web.Url().size() - 1);
    std::string lines = row.lines;
    if (lines.find("URL") != std::string::npos) lines.replace(lines.find("URL"), 3, url);
    const std::string check = "公開アドレスを確認中: " + web.Url() + "\n";
    ASSERT_NE(r.out.find(check), std::string::npos) << r.out;
    EXPECT_EQ(r.out.substr(r.out.find(check) + check.size()), lines);
    EXPECT_NE(r.err.find(row.warning), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("公開アドレスで"), row.warning.empty() ? std::string::npos : r.err.find(row.warning)) << r.err;
  }
}

TEST_F(RealServerCliVerifyTest, NamedFilesAndTheWholeSiteAndAWebUrlThatCannotBeChecked) {
  struct Row {
    std::string url;
    std::string args;
    int status;
    std::string out;
    std::string err;
  };
  test::WebServer web(root, "/site/");
  const Row rows[] = {
      {web.Url(), "site/img/a.gif site/css/site.css", 0, Summary(2, 2, 0, 0) + "\n", ""},
      {web.Url(), "--all", 0, Summary(6, 6, 0, 0) + "\n", ""},
      {web.Url(), "", 1, "", "最後のアップロードにこのサイトのファイルがありません\n"},
      {"", "--all", 1, "", "WebURL が設定されていません\n"},
      {"ftp://127.0.0.1/", "--all", 1, "", "WebURL が http または https のアドレスではありません: ftp://127.0.0.1/\n"},
  };
  work.Write("site/.git/config", "not part of the site");
  for (const Row& row : rows) {
    test::SaveTestSite({"サイト", root, 21, "secret", row.url});
    CliResult r = Cli("verify --site サイト " + row.args);
    EXPECT_EQ(r.status, row.status) << row.args << r.err;
    EXPECT_EQ(r.out, row.out) << row.args;
    EXPECT_EQ(r.err, row.err) << row.args;
  }
}

}  // namespace
}  // namespace tovra
