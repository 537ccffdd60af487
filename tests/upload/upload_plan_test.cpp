#include "upload/upload_plan.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tovra {
namespace {

TEST(UploadPlan, RemoteFolderOfEachFile) {
  test::TempDir dir;
  const std::string root = dir.Sub("site");
  struct Case {
    std::string local;
    std::string home;
    std::string remote;
  } cases[] = {
      {root + "/index.html", "/", "/"},
      {root + "/img/a.gif", "/", "/img/"},
      {root + "/img/a.gif", "/home/u", "/home/u/img/"},
      {root + "/a/b/c.gif", "/home/u/", "/home/u//a/b/"},  // as the single-session walk has it
      {root + "/\x89\xe6\x91\x9c/b.gif", "/", "/\x89\xe6\x91\x9c/"},
      {dir.Sub("other/a.gif"), "/", ""},
      {root + "X/a.gif", "/", ""},  // a twin of the root's name is outside it
  };
  for (const auto& c : cases) {
    TUploadSite site;
    site.root = root;
    auto plan = BuildUploadPlan(TStringList{c.local}, site, {}, 0);
    ASSERT_EQ(plan->files.size(), 1u);
    EXPECT_EQ(RemoteFolderOf(plan->files[0], c.home), c.remote) << c.local << " " << c.home;
    EXPECT_EQ(plan->files[0].folderBelowHome.has_value(), !c.remote.empty());
  }
}

TEST(UploadPlan, CarriesTheSiteAndSizesAndKeepsTheOrder) {
  test::TempDir dir;
  TUploadSite site;
  site.root = dir.Sub("site");
  site.host = THostInfo{"h", "u", "p", 2121};
  site.extended.Set("Connections", "3");
  TStringList list{dir.Write("site/b.txt", "12345"), dir.Write("site/a.txt", "1"), dir.Sub("site/gone.txt")};
  auto plan = BuildUploadPlan(list, site, {}, 4);
  ASSERT_EQ(plan->files.size(), 3u);
  EXPECT_EQ(plan->files[0].remoteName, "b.txt");
  EXPECT_EQ(plan->files[0].size, 5);
  EXPECT_EQ(plan->files[1].size, 1);
  EXPECT_EQ(plan->files[2].size, 0);  // vanished since: sent as it is then, counted as empty
  EXPECT_EQ(plan->TotalBytes(), 6);
  EXPECT_EQ(plan->missingFiles, 4);
  EXPECT_EQ(plan->host.Port, 2121);
  EXPECT_EQ(plan->extended.Connections(), 3);
  EXPECT_FALSE(plan->OneConnectionPerFile());
  EXPECT_TRUE(BuildUploadPlan(list, TUploadSite{}, {}, 0)->OneConnectionPerFile());
}

}  // namespace
}  // namespace tovra
