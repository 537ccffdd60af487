#include "update/strings_list.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

TEST(StringsList, FindRowLooksInEveryFieldIgnoringCaseFirstRowWins) {
  TStringsList list;
  list.AddPair("site", "0");
  list.AddPair("/web/Index.html", "100");
  list.AddRow(TStringList{"x", "/WEB/index.HTML", "y"});
  list.AddRow(TStringList{});
  EXPECT_EQ(list.FindRow("/web/index.html"), 1);
  EXPECT_EQ(list.FindRow("100"), 1);
  EXPECT_EQ(list.FindRow("Y"), 2);
  EXPECT_EQ(list.FindRow("SITE"), 0);
  EXPECT_EQ(list.FindRow("/web/index.htm"), -1);
  EXPECT_EQ(list.FindRow(""), -1);
  // Only letters are folded, never the trail byte of a double-byte character.
  list.AddPair("\x83\x61", "1");
  EXPECT_EQ(list.FindRow("\x83\x61"), 4);
  EXPECT_EQ(list.FindRow("\x83\x41"), -1);
  list.Clear();
  EXPECT_EQ(list.FindRow("site"), -1);
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringsList, RowAtOutOfRangeIsAListError) {
  TStringsList list;
  list.AddPair("a", "1");
  EXPECT_EQ(list.RowAt(0)[1], "1");
  EXPECT_THROW(list.RowAt(1), EListError);
  EXPECT_THROW(list.RowAt(-1), EListError);
}

TEST(StringsList, SavedFileBytes) {
  test::TempDir dir;
  TStringsList list;
  list.AddPair("\x83\x54\x83\x43\x83\x67", "0");  // サイト
  list.AddPair("/web/index.html", "829582501");
  list.AddRow(TStringList{"one"});
  list.AddRow(TStringList{});
  const std::string path = dir.Sub("list.txt");
  list.SaveRows(path);
  EXPECT_EQ(ReadFileBytes(path), "\x83\x54\x83\x43\x83\x67?$B?0\r\n/web/index.html?$B?829582501\r\none\r\n\r\n");
}

TEST(StringsList, LoadSplitsLinesAndFields) {
  test::TempDir dir;
  const std::string path = dir.Write("list.txt", "a?$B?1\r\n\r\nb?$B?\rc?$B?d?$B?e\n?$B?x\r\nlast?$B?2");
  TStringsList list;
  list.AddPair("stale", "9");
  list.LoadRows(path);
  ASSERT_EQ(list.Count(), 6);
  EXPECT_EQ(list.RowAt(0), (TStringList{"a", "1"}));
  EXPECT_EQ(list.RowAt(1).Count(), 0);           // empty line: a row without fields
  EXPECT_EQ(list.RowAt(2), (TStringList{"b"}));  // a separator at the end adds no field
  EXPECT_EQ(list.RowAt(3), (TStringList{"c", "d", "e"}));
  EXPECT_EQ(list.RowAt(4), (TStringList{"", "x"}));
  EXPECT_EQ(list.RowAt(5), (TStringList{"last", "2"}));
  EXPECT_EQ(list.FindRow("stale"), -1);  // the index follows the new rows
  EXPECT_EQ(list.FindRow("E"), 3);
}

TEST(StringsList, RoundTripAndRowsThatCannotBeWritten) {
  test::TempDir dir;
  TStringsList list;
  list.AddPair("/web/a.htm", "1");
  list.AddPair("/web/line\nbreak.htm", "2");
  list.AddPair("/web/odd?$B?name.htm", "3");
  list.AddPair("/web/b.htm", "4");
  const std::string path = dir.Sub("list.txt");
  list.SaveRows(path);
  TStringsList back;
  back.LoadRows(path);
  // A row that would read back as something else is left out, not mangled.
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back.RowAt(0), (TStringList{"/web/a.htm", "1"}));
  EXPECT_EQ(back.RowAt(1), (TStringList{"/web/b.htm", "4"}));
}

TEST(StringsList, FailedSaveKeepsTheOldFileAndMissingFileFailsLoad) {
  test::TempDir dir;
  const std::string path = dir.Write("list.txt", "old\r\n");
  TStringsList list;
  list.AddPair("new", "1");
  EXPECT_THROW(list.SaveRows(dir.Sub("no/such/folder/list.txt")), EFileError);
  EXPECT_EQ(ReadFileBytes(path), "old\r\n");
  EXPECT_THROW(list.LoadRows(dir.Sub("missing.txt")), EFileError);
}

}  // namespace
}  // namespace tovra
