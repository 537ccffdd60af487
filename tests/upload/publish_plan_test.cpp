// The publish plan, its record and its exclusions, on real folders: what is
// new, changed, touched, deleted; the sending order; a record that survives
// a cut-off write; the patterns a publish leaves out.
#include "upload/publish_plan.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include "platform/file_digest.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "upload/publish_run.h"

namespace tovra {
namespace {

void SetTime(const std::string& path, std::time_t t) {
  struct utimbuf times {
    t, t
  };
  ASSERT_EQ(::utime(path.c_str(), &times), 0) << path;
}

std::vector<std::string> Paths(const TPublishPlan& plan) {
  std::vector<std::string> paths;
  for (const auto& u : plan.uploads) paths.push_back(u.file.path);
  return paths;
}

class PublishPlanTest : public ::testing::Test {
 protected:
  // Records every file of the site as published, as a completed publish does.
  void PublishAll() {
    TPublishPlan plan = BuildPublishPlan(site.Path(), record, TPublishExclusions(), false);
    for (auto u : plan.uploads) {
      u.file.sha256 = FileSha256(LocalPathOf(plan, u.file.path));
      record.Confirm(u.file);
    }
  }
  TPublishPlan Plan(bool rehash = false) { return BuildPublishPlan(site.Path(), record, TPublishExclusions(), rehash); }

  test::TempDir site;
  test::TempDir app;
  TPublishRecord record{app.Sub("site.publish")};
};

TEST_F(PublishPlanTest, WithNoRecordEveryFileIsNewAndPagesComeLast) {
  site.Write("index.html", "<p>");
  site.Write("img/logo.png", "png");
  site.Write("docs/INTRO.HTM", "<p>");
  site.Write("search.js", "js");
  TPublishPlan plan = Plan();
  EXPECT_EQ(Paths(plan), (std::vector<std::string>{"img/logo.png", "search.js", "docs/INTRO.HTM", "index.html"}));
  EXPECT_EQ(plan.Count(TPublishChange::New), 4);
  EXPECT_EQ(plan.uploads[0].file.remoteName, "logo.png");
  EXPECT_EQ(plan.uploads[0].file.size, 3);
}

TEST_F(PublishPlanTest, ChangedAddedDeletedTouchedAndRehash) {
  for (const char* name : {"a.html", "b.css", "c.js", "d.png", "e.txt", "f.txt", "g.txt"}) site.Write(name, name);
  for (const char* name : {"a.html", "b.css", "c.js", "d.png", "e.txt", "f.txt", "g.txt"})
    SetTime(site.Sub(name), 1000);
  PublishAll();
  site.Write("a.html", "A longer page");
  site.Write("b.css", "B.CSS");  // same size, new time
  SetTime(site.Sub("b.css"), 2000);
  site.Write("c.js", "c.js");  // touched: same content
  SetTime(site.Sub("c.js"), 3000);
  site.Write("d.png", "D.PNG");  // same size and time: only a rehash sees it
  SetTime(site.Sub("d.png"), 1000);
  site.Write("new/h.txt", "h");
  DeleteFile(site.Sub("e.txt"));
  DeleteFile(site.Sub("f.txt"));

  TPublishPlan plan = Plan();
  EXPECT_EQ(Paths(plan), (std::vector<std::string>{"b.css", "new/h.txt", "a.html"}));
  EXPECT_EQ(plan.Count(TPublishChange::Changed), 2);
  EXPECT_EQ(plan.Count(TPublishChange::New), 1);
  ASSERT_EQ(plan.deletions.size(), 2u);
  EXPECT_EQ(plan.deletions[0].path, "e.txt");
  EXPECT_EQ(plan.deletions[1].path, "f.txt");
  ASSERT_EQ(plan.touched.size(), 1u);
  EXPECT_EQ(plan.touched[0].path, "c.js");
  EXPECT_EQ(plan.touched[0].mtime, 3000);
  EXPECT_EQ(plan.unchanged, 3);  // c.js, d.png, g.txt

  EXPECT_EQ(Paths(Plan(true)), (std::vector<std::string>{"b.css", "d.png", "new/h.txt", "a.html"}));
}

// A name CP932 cannot hold is in the plan, never passed over: what the plan
// shows depends on how the site's server takes such names.
TEST_F(PublishPlanTest, NamesCp932CannotHoldAreShownByWhatTheServerTakes) {
  site.Write("a.txt", "a");
  ASSERT_EQ(::close(::creat((site.Path() + "/caf\xC3\xA9.html").c_str(), 0644)), 0);
  const TPublishPlan plan = Plan();
  ASSERT_EQ(Paths(plan), (std::vector<std::string>{"a.txt", "caf\xFF[U+00E9].html"}));
  EXPECT_EQ(plan.uploads[1].file.remoteName, "caf\xFF[U+00E9].html");
  EXPECT_EQ(FileSha256(LocalPathOf(plan, plan.uploads[1].file.path)).size(), 64u);
  struct Case {
    TServerNames names;
    std::string line, counts;
  } cases[] = {
      {TServerNames::Utf8, "新規 caf\xFF[U+00E9].html", "新規 2 件、変更 0 件、削除 0 件、変更なし 0 件"},
      {TServerNames::AtLogin,
       "新規 caf\xFF[U+00E9].html (CP932 で表せない名前: サーバーがファイル名を UTF-8 で扱うときだけ送ります)",
       "新規 2 件、変更 0 件、削除 0 件、変更なし 0 件"},
      {TServerNames::Cp932,
       "送信不可 caf\xFF[U+00E9].html (サーバーのファイル名の文字コード (CP932) で表せない名前です)",
       "新規 1 件、変更 0 件、削除 0 件、変更なし 0 件、送信不可 1 件"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PublishPlanLines(plan, c.names), (std::vector<std::string>{"新規 a.txt", c.line, c.counts}));
  }
}

TEST_F(PublishPlanTest, ExcludedFilesAndFoldersAreNeitherSentNorDeleted) {
  for (const char* name :
       {".git/config", ".svn/entries", ".hg/store", "sub/.DS_Store", "Thumbs.db", "desktop.ini", "page.html~",
        ".page.html.swp", ".tovra-part.index.html", "app.js.map", "drafts/x.html", "keep/drafts.html", "index.html"}) {
    site.Write(name, "x");
  }
  EXPECT_EQ(Paths(BuildPublishPlan(site.Path(), record, TPublishExclusions(" *.map ; drafts/ "), false)),
            (std::vector<std::string>{"index.html", "keep/drafts.html"}));
}

TEST(PublishExclusions, PatternsMatchNamesPathsAndFolders) {
  struct Case {
    std::string patterns, path;
    bool folder, excluded;
  } cases[] = {
      {"*.map", "js/app.js.map", false, true},
      {"*.map", "js/map", false, false},
      {"drafts/", "drafts", true, true},
      {"drafts/", "drafts", false, false},  // a file of that name stays
      {"drafts/", "a/drafts", true, true},
      {"/drafts/", "a/drafts", true, false},  // anchored at the root
      {"img/*.psd", "img/a.psd", false, true},
      {"img/*.psd", "img/sub/a.psd", false, false},  // "*" stops at "/"
      {"?.txt", "a.txt", false, true},
      {"?.txt", "ab.txt", false, false},
      {"\x93\xfa*", "\x93\xfa\x96\x7b.html", false, true},  // 日本.html under 日*
      {"\x93?.html", "\x93\xfa.html", false, false},        // "?" is one character, not one byte
      {"?.html", "\x93\xfa.html", false, true},
      {"*.TXT", "a.txt", false, false},  // letter case counts
      {"", ".git", true, true},
      {"", "page~", false, true},
  };
  for (const auto& c : cases) {
    TPublishExclusions exclusions(c.patterns);
    bool excluded = c.folder ? exclusions.ExcludesFolder(c.path) : exclusions.ExcludesFile(c.path);
    EXPECT_EQ(excluded, c.excluded) << c.patterns << " / " << c.path;
  }
}

TEST(PublishRecord, LinesReplayInOrderAndACutOffLineIsPassedOver) {
  test::TempDir dir;
  const std::string file = dir.Sub("r.publish");
  {
    TPublishRecord record(file);
    record.Confirm({"a\tb\\c.html", 10, 100, std::string(64, 'a'), "a\tb\\c.html"});
    record.Confirm({"x/y.png", 5, 50, std::string(64, 'b'), "y.png"});
    record.StoreBegun("/x/.tovra-part.y.png");
    record.StoreBegun("/.tovra-part.z.css");
    record.StoreEnded("/x/.tovra-part.y.png");
    record.Confirm({"x/y.png", 6, 60, std::string(64, 'c'), "y.png"});
    record.Forget("gone.txt");
  }
  AppendFileBytes(file, "F\tcut.html\t1\t1\t");  // a write cut off by a kill
  TPublishRecord loaded(file);
  loaded.Load();
  ASSERT_EQ(loaded.Files().size(), 2u);
  EXPECT_EQ(loaded.Files().at("a\tb\\c.html").remoteName, "a\tb\\c.html");
  EXPECT_EQ(loaded.Files().at("x/y.png"), (TPublishedFile{"x/y.png", 6, 60, std::string(64, 'c'), "y.png"}));
  EXPECT_EQ(loaded.Leftovers(), (std::set<std::string>{"/.tovra-part.z.css"}));

  loaded.Forget("x/y.png");
  loaded.Save();
  EXPECT_EQ(ReadFileBytes(file).find("y.png"), std::string::npos);
  TPublishRecord saved(file);
  saved.Load();
  EXPECT_EQ(saved.Files().size(), 1u);
  EXPECT_EQ(saved.Leftovers().size(), 1u);
}

}  // namespace
}  // namespace tovra
