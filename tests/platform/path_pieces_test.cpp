#include "platform/path_pieces.h"

#include <gtest/gtest.h>

#include <string>

namespace tovra {
namespace {

TEST(IsUnderRoot, FolderBoundaries) {
  struct Case {
    const char *root, *path;
    bool expected;
  } cases[] = {
      {"/site", "/site/a.htm", true},
      {"/site", "/other/site/a.htm", false},
      {"/site", "/site", true},
      {"/site", "/site2/a.htm", false},  // a root that is a prefix of another site's root
      {"/site", "/Site/a.htm", false},
      {"/site/", "/site/a.htm", true},
      {"/", "/a.htm", true},
      {"", "anything", true},
      {"/site", "/site/../etc/passwd", false},
      {"/site", "/site/a/../../site/b.gif", true},
      {"/site", "/site/./a.gif", true},
      {"/site", "/../site/a.gif", false},
      {"/", "a.htm", false},
      {"/web", "/web2/a.htm", false},
      {"/Web", "/web/a.htm", false},
      {"/site", "/site\x5c/a.htm", false},  // "site\\" is another folder: a backslash is a name byte
  };
  for (const auto& c : cases) EXPECT_EQ(IsUnderRoot(c.root, c.path), c.expected) << c.root << " " << c.path;
}

TEST(FoldDotPieces, FoldsAndRefusesClimbsAboveTheTop) {
  struct Case {
    const char* path;
    std::string expected;
  } cases[] = {
      {"/a/b/c", "/a/b/c"},     {"/a//b", "/a//b"}, {"/a/./b/", "/a/b/"}, {"/a/b/../c", "/a/c"},
      {"/a/..", "/"},           {"/a/../", "/"},    {"/..", ""},          {"/a/../../b", ""},
      {"a/../b", "b"},          {"../b", ""},       {"a/..", ""},         {"/a//../b", "/b"},
      {"/..a/b.", "/..a/b."},    // names that only begin or end with dots are names
      {"/\x83\x2f/../x", "/x"},  // 0x83 0x2F is one character, not a separator
  };
  for (const auto& c : cases) EXPECT_EQ(FoldDotPieces(c.path), c.expected) << c.path;
}

TEST(SplitPieces, StepsByCharacters) {
  const std::vector<std::string_view> expected{"", "a", "\x95\x2f", "b"};
  EXPECT_EQ(SplitPieces("/a/\x95\x2f/b/"), expected);  // 0x95 0x2F is one character
  EXPECT_TRUE(EndsWithSep("/a/"));
  EXPECT_FALSE(EndsWithSep("/\x95\x2f"));
}

}  // namespace
}  // namespace tovra
