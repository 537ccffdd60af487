#include "html/insert_at_tag.h"

#include <gtest/gtest.h>

#include "platform/files.h"
#include "support/recording_messenger.h"
#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

using test::Age;
using test::Lines;
using test::WrittenSinceAged;

TEST(InsertAtTag, FindsTheTagInItsSpellings) {
  const std::string ins = "<X>";
  struct Case {
    const char* name;
    std::string page, tag, position;
    std::string expected;  // empty: unchanged
  } cases[] = {
      {"capital end tag", "<p>x</p></BODY>\n", "</body>", "直前", "<p>x</p><X></BODY>\n"},
      {"attributes on the line", "<body bgcolor=\"white\">\n<p>\n", "<body>", "直後",
       "<body bgcolor=\"white\"><X>\n<p>\n"},
      {"attributes on the next indented line", "<body\n  bgcolor=white\n\ttext=black>\n<p>\n", "<body>", "直後",
       "<body\n  bgcolor=white\n\ttext=black><X>\n<p>\n"},
      {"tab-indented continuation, before", "<BODY\n\tonload=x>\n", "<body>", "直前", "<X><BODY\n\tonload=x>\n"},
      {"continuation not indented", "<body\nbgcolor=white>\n", "<body>", "直後", ""},
      {"continuation line empty", "<body\n\n bgcolor=white>\n", "<body>", "直後", ""},
      {"open tag on the last line", "<p>\n<body", "<body>", "直後", ""},
      {"no closing > up to the end", "<body\n  bgcolor=white\n", "<body>", "直後", ""},
      {"first matching line only", "</body>\n</body>\n", "</body>", "直前", "<X></body>\n</body>\n"},
      {"unknown position word", "</body>\n", "</body>", "before", ""},
      {"no tag", "<p>body</p>\n", "</body>", "直前", ""},
      {"text already in the page", "<X>\n</body>\n", "</body>", "直前", ""},
      // ア is 83 41: its trail byte is an 'A' that must not be lowered or
      // split, and positions stay character-aligned.
      {"Shift-JIS before the tag", "\x83\x41\x95\x5C</HEAD>\n", "</head>", "直前", "\x83\x41\x95\x5C<X></HEAD>\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TStringList lines = Lines(c.page);
    bool changed = InsertAtTagInLines(lines, c.tag, ins, c.position);
    std::string expected = c.expected.empty() ? c.page : c.expected;
    EXPECT_EQ(changed, !c.expected.empty());
    EXPECT_EQ(lines, Lines(expected));
  }
}

TEST(InsertAtTag, WritesTheFileOnlyWhenItChanged) {
  test::TempDir dir;
  const std::string page = dir.Write("p.html", "<html>\n<body>\n</body>\n</html>");
  Age(page);
  EXPECT_FALSE(InsertAtTag(page, "</head>", "<X>", "直前"));
  EXPECT_FALSE(WrittenSinceAged(page));
  EXPECT_EQ(ReadFileBytes(page), "<html>\n<body>\n</body>\n</html>");

  EXPECT_TRUE(InsertAtTag(page, "</body>", "<X>", "直前"));
  EXPECT_EQ(ReadFileBytes(page), "<html>\r\n<body>\r\n<X></body>\r\n</html>\r\n");
  Age(page);
  EXPECT_FALSE(InsertAtTag(page, "</body>", "<X>", "直前"));
  EXPECT_FALSE(WrittenSinceAged(page));
}

TEST(InsertAtTag, UnreadablePageNamesThePath) {
  test::TempDir dir;
  const std::string page = dir.Sub("missing.html");
  try {
    InsertAtTag(page, "</body>", "<X>", "直前");
    FAIL();
  } catch (const EFileError& e) {
    EXPECT_EQ(e.Path(), page);
  }
}

}  // namespace
}  // namespace tovra
