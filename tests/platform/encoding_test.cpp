#include "platform/encoding.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "util/errors.h"

namespace tovra {
namespace {

TEST(Encoding, Cp932RoundTripKeepsBackslash) {
  // 表 = 0x95 0x5C; a plain backslash stays a backslash (not the yen sign).
  const std::string cp932 = "\x95\x5C\\";
  const std::string utf8 = Cp932ToUtf8(cp932);
  EXPECT_EQ(utf8, "\xE8\xA1\xA8\\");
  EXPECT_EQ(Utf8ToCp932(utf8), cp932);
}

TEST(Encoding, UnconvertibleNameIsAnErrorNamingIt) {
  try {
    Cp932ToUtf8("bad\x85\x40name");  // 0x85 0x40 has no mapping
    FAIL();
  } catch (const EEncodingError& e) {
    EXPECT_NE(std::string(e.what()).find("name"), std::string::npos);
  }
  std::string out;
  EXPECT_FALSE(TryFromOsPath("\xFF\xFE", out));
}

using test::U8;

// Names a UTF-8 disk holds and CP932 cannot: the walk that marks them gives
// a name that no CP932 name equals and that every edge undoes exactly.
TEST(Encoding, MarkedNamesComeBackAsTheDiskHasThem) {
  struct Case {
    std::u8string disk;
    const char* marked;
  } cases[] = {
      {u8"café.html", "caf\xFF[U+00E9].html"},
      // CP932's wave dash is U+FF5E: U+301C would come back as another file's name.
      {u8"〜.png", "\xFF[U+301C].png"},
      {u8"表紙é", "\x95\x5C\x8E\x86\xFF[U+00E9]"},  // beside a 0x5C trail byte
      {u8"a\U0001F600b", "a\xFF[U+1F600]b"},
  };
  for (const auto& c : cases) {
    const std::string disk = U8(c.disk.c_str());
    std::string cp932;
    EXPECT_FALSE(TryFromOsPath(disk, cp932)) << c.marked;
    std::string marked;
    ASSERT_TRUE(TryFromOsPathMarked(disk, marked)) << c.marked;
    EXPECT_EQ(marked, c.marked);
    EXPECT_TRUE(HasNameMarks(marked));
    std::string utf8;
    EXPECT_TRUE(TryMarkedToUtf8(marked, utf8));
    EXPECT_EQ(utf8, disk);
    EXPECT_EQ(ToOsPath("/tmp/" + marked), "/tmp/" + disk);
    EXPECT_EQ(ToTerminal(marked + " 転送中"), disk + U8(u8" 転送中"));
    EXPECT_THROW(Cp932ToUtf8(marked), EEncodingError) << "only the edges that know marks take them";
  }
  std::string same;
  EXPECT_TRUE(TryFromOsPathMarked(U8(u8"表紙.html"), same));
  EXPECT_EQ(same, "\x95\x5C\x8E\x86.html");
  EXPECT_FALSE(TryFromOsPathMarked("bad\xC3", same));
  for (const char* bad : {"\xFF", "\xFF[U+00E9", "\xFF[U+41]", "\xFF[U+0041]", "\xFF[U+D800]", "\xFF[U+110000]",
                          "\xFF[u+00e9]", "\xFF[U+00E9]\x85\x40"}) {
    std::string utf8;
    EXPECT_FALSE(TryMarkedToUtf8(bad, utf8)) << MarkedForDisplay(bad);
    EXPECT_THROW(ToOsPath(bad), EEncodingError) << MarkedForDisplay(bad);
  }
}

TEST(Encoding, TerminalTextNeverFails) {
  EXPECT_EQ(ToTerminal("abc"), "abc");
  EXPECT_FALSE(ToTerminal("\x85\x40").empty());
}

}  // namespace
}  // namespace tovra
