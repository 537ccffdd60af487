#include "app/launch_programs.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

TEST(LaunchList, QuotedFieldsOnly) {
  struct Case {
    std::string line;
    std::vector<std::string> fields;
  } cases[] = {
      {"\"Editor\" \"/usr/bin/edit\" \"-f\"", {"Editor", "/usr/bin/edit", "-f"}},
      {"Editor \"Ed\" x \"/e\"", {"Ed", "/e"}},
      {"\"\"\"a\"", {"", "a"}},
      {"\"Title\" \"unclosed", {"Title"}},
      {"\"\x95\x5C\" \"p\"", {"\x95\x5C", "p"}},  // a kanji with a 0x5C trail byte
      {"no fields at all", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseLaunchFields(c.line), c.fields) << c.line;
}

TEST(LaunchList, LinesWithFewerThanTwoFieldsAreSkipped) {
  test::TempDir dir;
  std::string path =
      dir.Write("list.txt", "\"OnlyTitle\"\r\n\"Viewer\" \"/bin/view\"\r\n\"Ed\" \"/bin/ed\" \"-F\" \"-d:\"\r\n");
  TSubPGMs list;
  list.LoadLaunchList(path, {});
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list[0].Title, "Viewer");
  EXPECT_TRUE(list[0].Arguments.empty());
  TStringList items{"起動プログラム選択"};
  list.FillSelector(items);
  EXPECT_EQ(items.Items(), (std::vector<std::string>{"起動プログラム選択", "Viewer", "Ed"}));
  EXPECT_EQ(list.FindEntry("ed"), -1);  // exact, letter case included
  EXPECT_EQ(list.FindEntry("Ed"), 1);
}

TEST(LaunchList, PlaceholdersFilledAndRestored) {
  std::vector<std::string> started;
  TProcessStarter starter = [&](const std::string& line) {
    started.push_back(line);
    return 1;
  };
  TSubPGMs list;
  list.AddLine("\"Ed\" \"/bin/ed\" \"-f\" \"-F\" \"-d\"", starter);
  TLaunchSelection selection;
  selection.treeFolder = "/web/site";
  selection.fileNames = {"a.htm", "b.htm"};
  EXPECT_EQ(list.Launch("Ed", selection), "\"/bin/ed\" \"/web/site/b.htm\" \"/web/site/a.htm\" \"-F\" \"/web/site\" ");
  selection.fileNames = {"c.htm"};
  EXPECT_EQ(list.Launch("Ed", selection), "\"/bin/ed\" \"/web/site/c.htm\" \"-F\" \"/web/site\" ");
  selection.fileNames.clear();
  EXPECT_EQ(list.Launch("Ed", selection), "\"/bin/ed\" \"-f\" \"-F\" \"/web/site\" ");
  EXPECT_EQ(started.size(), 3u);
  EXPECT_EQ(list[0].Arguments, (std::vector<std::string>{"-f", "-F", "-d"}));
  EXPECT_EQ(list.Launch("起動プログラム選択", selection), "");
  EXPECT_EQ(started.size(), 3u);
}

TEST(LaunchList, UpdatePanelRowsAndMissingRow) {
  std::vector<std::string> started;
  TSubPGMs list;
  list.AddLine("\"Ed\" \"/bin/ed\" \"-d\" \"-f\"", [&](const std::string& line) {
    started.push_back(line);
    return 1;
  });
  TLaunchSelection selection;
  selection.updatePanelVisible = true;
  selection.updateRows = TStringList{"/web/site/img/a.gif", "/web/b.htm"};
  selection.currentRow = 1;
  EXPECT_EQ(list.Launch("Ed", selection), "\"/bin/ed\" \"/web\" \"/web/b.htm\" ");
  selection.currentRow = -1;
  EXPECT_THROW(list.Launch("Ed", selection), EListError);
  EXPECT_EQ(started.size(), 1u);
}

TEST(RunProcess, StartsRealProgramsAndReportsFailure) {
  test::TempDir dir;
  std::string marker = dir.Sub("ran");
  EXPECT_GT(RunProcess("\"/bin/sh\" \"-c\" \"echo x > " + marker + "\" ", "", true), 0);
  EXPECT_TRUE(FileExists(marker));
  EXPECT_EQ(RunProcess("\"/no/such/program\" ", "", false), 0);
  EXPECT_EQ(SplitCommandLine("\"a b\" c \"\" "), (std::vector<std::string>{"a b", "c", ""}));
}

}  // namespace
}  // namespace tovra
