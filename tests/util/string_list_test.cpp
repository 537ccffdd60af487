#include "util/string_list.h"

#include <gtest/gtest.h>

#include "util/errors.h"

namespace tovra {
namespace {

TEST(StringList, ReadsLinesSplitAtAnyLineEnd) {
  struct Case {
    std::string text;
    std::vector<std::string> expected;
  } cases[] = {
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\r\n", {"a"}},
      {"\r\n\r\n", {"", ""}},
      {"", {}},
      {"a\n\rb", {"a", "", "b"}},
      {std::string("ab\0cd\r\nef", 9), {"ab", "ef"}},  // NUL ends its line
  };
  for (const auto& c : cases) {
    TStringList list;
    list.SetText(c.text);
    EXPECT_EQ(list.Items(), c.expected);
  }
}

TEST(StringList, WritesCrLfAfterEveryLine) {
  TStringList list{"a", "", "b"};
  EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");
  EXPECT_EQ(TStringList{}.Text(), "");
}

TEST(StringList, LookupIgnoresAsciiCaseOnly) {
  TStringList list{"Index.HTML", "\x83\x41", "abc"};
  EXPECT_EQ(list.IndexOf("index.html"), 0);
  EXPECT_EQ(list.IndexOf("ABC"), 2);
  EXPECT_EQ(list.IndexOf("\x83\x61"), -1);  // trail bytes are not case-folded
  EXPECT_TRUE(list.Contains("\x83\x41"));
  EXPECT_FALSE(list.Contains("ab"));
}

TEST(StringList, IndexOutOfRangeRaisesListError) {
  TStringList list{"a"};
  EXPECT_THROW(list[1], EListError);
  EXPECT_THROW(list.Delete(-1), EListError);
  try {
    (void)list[5];
  } catch (const EListError& e) {
    EXPECT_EQ(std::string(e.what()), "リストのインデックスが範囲を超えています (5)");
  }
  list.Insert(1, "b");
  list.Insert(0, "z");
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"z", "a", "b"}));
}

}  // namespace
}  // namespace tovra
