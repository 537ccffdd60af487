#include "platform/encoding.h"

#include <gtest/gtest.h>

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

TEST(Encoding, TerminalTextNeverFails) {
  EXPECT_EQ(ToTerminal("abc"), "abc");
  EXPECT_FALSE(ToTerminal("\x85\x40").empty());
}

}  // namespace
}  // namespace tovra
