#include "util/char_string.h"

#include <gtest/gtest.h>

#include "util/string_list.h"

namespace tovra {
namespace {

// 0x83 0x41 = ア, 0x83 0x43 = イ, 0x83 0x45 = ウ, 0x95 0x5C = 表 (trail byte is '\').
const std::string kA = "\x83\x41";
const std::string kI = "\x83\x43";
const std::string kU = "\x83\x45";
const std::string kHyo = "\x95\x5C";

TEST(CharLength, CountsCharacters) {
  struct Case {
    std::string text;
    int expected;
  } cases[] = {
      {"", 0},
      {"abc", 3},
      {kA, 1},
      {"\x83", 1},  // lone lead byte at the end
      {"\x83"
       "a",
       1},
      {"\x83 ", 1},  // any non-NUL trail byte pairs
      {kA + kI + "x", 3},
      {std::string("ab\0cd", 5), 2},  // NUL ends the text
      {std::string("\x83\0a", 3), 1},
  };
  for (const auto& c : cases) EXPECT_EQ(CharLength(c.text), c.expected) << c.text;
}

TEST(CharCopy, PositionsAndCounts) {
  const std::string three = kA + kI + kU;
  struct Case {
    std::string s;
    int pos, count;
    std::string expected;
  } cases[] = {
      {"abcdef", 0, 3, "abc"},                        // pos 0 is pos 1
      {"abcdef", 1, 3, "abc"}, {"abcdef", 7, 1, ""},  // CharLength + 1
      {"abcdef", 5, 10, "ef"}, {"abcdef", -1, 3, ""},  {"abcdef", 2, 0, ""},
      {"", 1, 1, ""},          {three, 2, 5, kI + kU}, {"a" + kHyo + "b", 2, 1, kHyo},
  };
  for (const auto& c : cases) EXPECT_EQ(CharCopy(c.s, c.pos, c.count), c.expected) << c.s << " " << c.pos;
}

TEST(CharDelete, PositionsAndCounts) {
  struct Case {
    std::string s;
    int pos, count;
    std::string expected;
  } cases[] = {
      {"abcdef", 0, 2, "abcdef"},  // pos 0 changes nothing here
      {"abcdef", 6, 10, "abcde"},  {"abcdef", 7, 1, "abcdef"},    {"abcdef", 2, 2, "adef"},
      {"abcdef", 1, -1, "abcdef"}, {kA + kI + kU, 2, 1, kA + kU},
  };
  for (auto c : cases) {
    CharDelete(c.s, c.pos, c.count);
    EXPECT_EQ(c.s, c.expected);
  }
}

TEST(CharInsert, FrontMiddleEnd) {
  struct Case {
    std::string s;
    int pos;
    std::string expected;
  } cases[] = {
      {"abc", 0, "Xabc"},          {"abc", 1, "Xabc"},
      {"abc", 2, "aXbc"},          {"abc", 8, "abcX"},  // five past the end appends
      {kA + kI, 2, kA + "X" + kI},
  };
  for (auto c : cases) {
    CharInsert("X", c.s, c.pos);
    EXPECT_EQ(c.s, c.expected);
  }
}

TEST(CharPos, FindsOnlyAtCharacterStarts) {
  struct Case {
    std::string sub, s;
    int expected;
  } cases[] = {
      {"<", "a<b<", 2},       {"", "abc", 0},   {"a", "", 0},
      {"src", "SRC", 0},      {"\\", kHyo, 0},                                        // 0x5C only as a trail byte
      {"\\", kHyo + "\\", 2}, {"A", kA, 0},                                           // 0x41 only as a trail byte
      {"A", kA + "A", 2},     {kI, kA + kI, 2}, {"bc", std::string("ab\0bc", 5), 0},  // behind the NUL is not seen
  };
  for (const auto& c : cases) EXPECT_EQ(CharPos(c.sub, c.s), c.expected) << c.sub << " in " << c.s;
}

TEST(ReplaceAll, NonOverlappingLeftToRight) {
  struct Case {
    std::string s, find, replace, expected;
  } cases[] = {
      {"aaa", "aa", "b", "ba"},
      {"a/b/c", "/", "\\", "a\\b\\c"},
      {"abc", "", "x", "abc"},
      {"", "a", "x", ""},
      {"abcabc", "b", "", "acac"},
      {"ab", "b", "bb", "abb"},  // replacement is not searched again
      {kHyo + "\\", "\\", "/", kHyo + "/"},
  };
  for (const auto& c : cases) EXPECT_EQ(ReplaceAll(c.s, c.find, c.replace), c.expected) << c.s;
}

TEST(CharLowerCase, LeavesDoubleByteCharactersAlone) {
  EXPECT_EQ(CharLowerCase("ABC" + kA + kI), "abc" + kA + kI);
  EXPECT_EQ(CharLowerCase("MiXeD 123"), "mixed 123");
  EXPECT_EQ(CharLowerCase("\x83"), "\x83");
}

TEST(CharUpperCase, LeavesDoubleByteCharactersAlone) {
  const std::string kTrailLetter = "\x83\x61";  // a lead byte with a trail byte that reads as 'a'
  struct Case {
    std::string s, expected;
  } cases[] = {
      {"abc" + kA + kI, "ABC" + kA + kI},       {"MiXeD 123 @[`{", "MIXED 123 @[`{"},
      {kTrailLetter + "a", kTrailLetter + "A"}, {"\x83", "\x83"},
      {std::string("ab\0cd", 5), "AB"},
  };
  for (const auto& c : cases) EXPECT_EQ(CharUpperCase(c.s), c.expected) << c.s;
}

TEST(CharTrim, BlanksAtBothEnds) {
  const std::string fullWidthSpace = "\x81\x40";
  struct Case {
    std::string s, expected;
  } cases[] = {
      {fullWidthSpace + "text\t", "text"},
      {"  two words  ", "two words"},
      {" \t\r\n" + fullWidthSpace, ""},
      {"\x7F"
       "a"
       "\x01",
       "a"},
      {kA + " ", kA},
      {"\x83\x20", "\x83\x20"},  // a lead byte pairs with its 0x20 trail byte
  };
  for (const auto& c : cases) EXPECT_EQ(CharTrim(c.s), c.expected) << c.s;
}

TEST(SplitString, PiecesAndCounts) {
  struct Case {
    std::string s, delim;
    std::vector<std::string> expected;
  } cases[] = {
      {"a,,b,", ",", {"a", "", "b"}},     {",a", ",", {"", "a"}}, {"", ",", {}}, {"abc", "", {"abc"}},
      {"a?$B?b?$B?", "?$B?", {"a", "b"}},
  };
  for (const auto& c : cases) {
    TStringList list{"stale"};
    EXPECT_EQ(SplitString(list, c.s, c.delim), static_cast<int>(c.expected.size()));
    EXPECT_EQ(list.Items(), c.expected) << c.s;
  }
}

TEST(CharFind, LinearOnLongText) {
  std::string text(5'000'000, 'x');
  text += "<a>";
  EXPECT_EQ(CharFind(text, "<a>"), 5'000'000u);
  EXPECT_EQ(CharFind(kA + "A", "A"), 2u);
}

}  // namespace
}  // namespace tovra
