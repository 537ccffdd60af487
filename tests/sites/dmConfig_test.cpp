#include "sites/dmConfig.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace tovra {
namespace {

class ConfigTest : public ::testing::Test {
 protected:
  test::TempAppFolder app;
};

TEST_F(ConfigTest, ProfileFileNames) {
  struct Case {
    std::string site, file;
  } cases[] = {
      {"Shop\\Test", "Shop$~Test.txt"},
      {"a\\\\b\\", "a$~$~b$~.txt"},
      {"\x95\x5C\x8e\xa6", "\x95\x5C\x8e\xa6.txt"},      // 表示: its 0x5C is a trail byte
      {"\x95\x5C\\\x95\x5C", "\x95\x5C$~\x95\x5C.txt"},  // only the real backslash
      {" spaced \x81\x40", " spaced \x81\x40.txt"},      // blanks kept
      {"a/b", "a/b.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(ProfileFileName(c.site), app.Path() + "/" + c.file) << c.site;
  EXPECT_TRUE(IsProfileFileNameSafe("Shop\\Test"));
  EXPECT_TRUE(IsProfileFileNameSafe("\x95\x5C\x8e\xa6"));
  EXPECT_FALSE(IsProfileFileNameSafe("a/b"));
  EXPECT_FALSE(IsProfileFileNameSafe("../up"));
  // A line break or NUL would split or cut the name's line in the site list.
  for (const std::string& name :
       std::vector<std::string>{"a\nb", "a\rb", std::string("a\0b", 3), "\n", std::string("\0/", 2)}) {
    EXPECT_FALSE(IsProfileFileNameSafe(name)) << name;
  }
}

TEST_F(ConfigTest, ModuleComponentSettings) {
  TConfigFile config;
  EXPECT_EQ(config.IniGT.DefaultDir(), ddApplication);
  EXPECT_EQ(config.IniGT.Fence(), fnNone);
  EXPECT_FALSE(config.IniGT.FileName().empty());  // the executable's default file until re-targeted
  EXPECT_EQ(std::string(kNewSiteName), "新規登録");
}

}  // namespace
}  // namespace tovra
