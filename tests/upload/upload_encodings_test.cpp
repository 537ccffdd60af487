// Whole uploads of the same small site written in Shift-JIS and in UTF-8, to
// a real server that keeps UTF-8 names (pyftpdlib announces UTF8): the same
// upload lists, the same remote tree, readable names, byte-identical files,
// and a second upload that finds the folders the first one made.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "html/dependencies.h"
#include "platform/encoding.h"
#include "platform/files.h"
#include "platform/line_file.h"
#include "support/pyftpd_server.h"
#include "support/temp_dir.h"
#include "upload/recording_upload_view.h"
#include "upload/upload_job.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;

using test::U8;

// The site in UTF-8 terms; `utf8Pages` says how its pages are written.
// Folder and file names hold 表, ソ and 能, whose CP932 second byte is 0x5C.
struct EncodedSite {
  test::TempDir dir;
  std::string root = dir.Sub("site");
  std::string remote = dir.Sub("remote");
  std::string app = dir.Sub("app");
  std::vector<std::string> pages;

  explicit EncodedSite(bool utf8Pages, const std::string& extraUtf8 = "") {
    const auto page = [&](const char8_t* name, const std::string& utf8Text) {
      const std::string bytes = utf8Pages ? U8(u8"<meta charset=\"utf-8\">\r\n") + utf8Text
                                          : Utf8ToCp932(U8(u8"<meta charset=\"Shift_JIS\">\r\n") + utf8Text);
      pages.push_back(dir.Write("site/" + Utf8ToCp932(U8(name)), bytes));
    };
    page(u8"index.html", U8(u8"<p>表紙</p><img src=\"写真/表紙.png\"><img src='ソ能/図.gif'>\r\n"
                            u8"<a href=\"旅/旅行.html\">旅</a>\r\n") +
                             extraUtf8);
    page(u8"旅/旅行.html", U8(u8"<body style=\"background-image:url(../写真/表紙.png)\">\r\n"
                              u8"<img src=\"海/朝.gif\"></body>\r\n"));
    for (const char8_t* file : {u8"写真/表紙.png", u8"ソ能/図.gif", u8"旅/海/朝.gif"}) {
      dir.Write("site/" + Utf8ToCp932(U8(file)), "bytes of " + U8(file));
    }
    CreateDirectory(remote);
    CreateDirectory(app);
  }
  test::ScopedEnv appFolder{"TOVRA_APP_FOLDER", app};

  // Uploads the pages (with what they use) with auto page encoding and
  // auto remote names; returns the upload log with the site root taken out.
  std::vector<std::string> Upload(test::RecordingUploadView& view) {
    test::PyFtpdServer server(remote);
    TRunHooks hooks;
    TUploadJob job(hooks, view, nullptr);
    TUploadOptions options;
    options.rewrite.pageEncoding = TPageEncoding::Auto;
    TStringList selection;
    for (const auto& page : pages) selection.Add(page);
    TExtendedSettings extended;
    extended.Set("RemoteNameEncoding", "auto");
    THostInfo host{"127.0.0.1", server.User(), server.Password(), server.Port()};
    EXPECT_TRUE(job.Start(selection, options, TUploadSite{root, host, {}, extended}));
    EXPECT_TRUE(view.WaitForEnd());
    EXPECT_EQ(view.Outcome(), TRunOutcome::Completed) << view.Error();
    std::vector<std::string> log;
    for (const auto& line : LoadLines(UploadLogPath())) log.push_back(line.substr(root.size()));
    return log;
  }

  // Every file on the server: its raw relative path and its bytes.
  std::map<std::string, std::string> RemoteTree() const {
    std::map<std::string, std::string> tree;
    const fs::path base(ToOsPath(remote));
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      tree[fs::relative(entry.path(), base).string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return tree;
  }
};

TEST(UploadEncodings, SameSiteInBothEncodingsGivesTheSameListsAndRemoteTree) {
  EncodedSite sjis(false), utf8(true);
  test::RecordingUploadView sjisView, utf8View;
  const auto sjisLog = sjis.Upload(sjisView);
  const auto utf8Log = utf8.Upload(utf8View);
  EXPECT_EQ(utf8Log, sjisLog);
  EXPECT_EQ(sjisLog.size(), 5u);

  const auto tree = utf8.RemoteTree();
  std::set<std::string> names;
  for (const auto& [name, bytes] : tree) names.insert(name);
  // The server keeps every name in UTF-8, the Shift-JIS pages' names too.
  EXPECT_EQ(names, (std::set<std::string>{U8(u8"index.html"), U8(u8"旅/旅行.html"), U8(u8"写真/表紙.png"),
                                          U8(u8"ソ能/図.gif"), U8(u8"旅/海/朝.gif")}));
  EXPECT_EQ(tree.at(U8(u8"写真/表紙.png")), U8(u8"bytes of 写真/表紙.png"));
  EXPECT_EQ(tree.at(U8(u8"index.html")), ReadFileBytes(utf8.pages[0]));
  auto sjisTree = sjis.RemoteTree();
  for (const auto& [name, bytes] : tree) {
    ASSERT_TRUE(sjisTree.count(name)) << name;
    if (!name.ends_with(".html")) {
      EXPECT_EQ(sjisTree[name], bytes) << name;
    }
  }

  // A second upload finds the folders the first one made (a MKD of an
  // existing folder would be refused and end the run).
  test::RecordingUploadView again;
  EXPECT_EQ(utf8.Upload(again), utf8Log);
  EXPECT_EQ(utf8.RemoteTree(), tree);
}

TEST(UploadEncodings, AReferenceCp932CannotHoldIsReportedNotSent) {
  EncodedSite site(true, U8(u8"<img src=\"写真/顔😀.png\">\r\n"));
  // The file is there on the disk: it is its name that cannot travel.
  std::ofstream(ToOsPath(site.root) + U8(u8"/写真/顔😀.png")) << "face";
  test::RecordingUploadView view;
  site.Upload(view);
  const std::string shown = site.root + Utf8ToCp932(U8(u8"/写真/顔")) + "[U+1F600].png" + kUnrepresentableMark;
  EXPECT_EQ(view.missingShown, std::vector<std::string>{shown});
  for (const auto& [name, bytes] : site.RemoteTree()) EXPECT_EQ(name.find(U8(u8"顔")), std::string::npos) << name;
}

}  // namespace
}  // namespace tovra
